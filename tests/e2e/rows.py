"""The scenarios the whole program is run through: the cameras connected, the faults of the
camera software, the card, the answers given, and everything expected back."""

import locale
import random
from dataclasses import dataclass, field, replace

from catalogue import IDS

# Boxes expected, as (message id, names of the values inserted); player.py resolves the names.
CONFIRM = (IDS["IDS_CONFIRM"], ("model", "version", "kb"))
DONE = (IDS["IDS_UPGRADE_DONE"], ())
FAILED = (IDS["IDS_UPGRADE_FAILED"], ())
SEVERAL = (IDS["IDS_SEVERAL_CAMERAS"], ("model",))
NONE_FOUND = (IDS["IDS_NO_CAMERA"], ("model",))
GONE_FROM_DRIVE = (IDS["IDS_DISCONNECTED"], ("model", "drive"))
GONE_NO_DRIVE = (IDS["IDS_DISCONNECTED"], ("model", "empty"))
# Named from a drive path the program refused (Row.refused).
GONE_FROM_REFUSED = (IDS["IDS_DISCONNECTED"], ("model", "refused"))
SOFTWARE_MISSING = (IDS["IDS_SOFTWARE_MISSING"], ("model",))
CARD_FULL = (IDS["IDS_CARD_FULL"], ())
NO_CARD = (IDS["IDS_NO_CARD"], ())

# What the camera reports as its model, from the model name the program carries.
SAME = lambda model: model  # noqa: E731
OTHER = lambda model: "EX-200 Pocket Camera"  # noqa: E731

# Component calls, as the component logs them ("Kind Operation").
ACTIVATE = ["Factory CreateInstance", "Manager Run"]
REACH = ACTIVATE + ["Manager GetCameraCollection", "Collection GetCameraEnumerator"]
WALK_START = ["Enumerator Reset", "Collection GetCameraCount"]
PASS = ["Enumerator Next", "Camera GetModelName", "Collection GetCameraCount"]
SELECT = ["Collection GetCameraAt", "Camera GetModelName", "Camera GetDrivePath"]
PRESENCE = ["Camera GetModelName"]


def walk(cameras):
    return WALK_START + PASS * cameras


def failing(call):
    """A failed call, after which the program asks the object whether it gives error
    information."""
    return [call, call.split()[0] + " InterfaceSupportsErrorInfo"]


# Objects destroyed, in order. The factory goes once it has made the manager; the camera
# reference goes before the enumerator and the collection; the item variant's camera at
# the teardown, before the manager.
SELECTED = ["Factory", "Camera", "Enumerator", "Collection", "Camera", "Manager"]


@dataclass
class Camera:
    model: object = SAME  # model name -> the name this camera reports
    card: str = "E"  # the card (drive) it presents
    item: str = "camera"  # what the enumerator hands out: camera, nocamera, empty, bstr, i4, byref
    selected: str = None  # what GetCameraAt hands out, if not the same: those, or untouched
    # the drive path as written in the scenario, in place of the card's; or a function that makes
    # it from the card's drive path as the platform spells it
    drive: object = None


@dataclass
class Row:
    name: str
    boxes: list
    cameras: list = field(default_factory=lambda: [Camera()])
    answers: tuple = ()  # "ok" or "cancel" for each box (default "ok"); a desktop run may also lose it, "lost"
    faults: dict = field(default_factory=dict)
    component: dict = field(default_factory=dict)  # further [component] settings of the scenario
    # Cards by drive letter, each with its layout (card.py): folders, none, existing, blocked, stale,
    # link, fifo, and the file systems of their own of card.VOLUMES (small, leftover, ...).
    cards: dict = field(default_factory=lambda: {"E": "folders"})
    written: bool = False  # the package on card E, byte for byte
    calls: list = None  # the component calls, all of them in order
    selected_position: int = None  # the index given to GetCameraAt
    destroyed: list = None  # None: the component is never loaded (absent)
    unplug_before_answer: int = None  # the camera goes away while this box is open
    registered: bool = True
    registry_entry: str = None  # POSIX: the component's registry entry, if not the plugin's path
    folders: dict = field(default_factory=dict)  # card folder names by drive letter, if not card-<letter>
    environment: dict = field(default_factory=dict)  # variables set over the locale's, None to remove one
    language: int = None  # the catalogue language expected, if not the run's
    # The text of a drive path the program refuses, or a function that makes it from the card's
    # drive path: message 135 names its drive all the same.
    refused: object = None
    # POSIX: the file-size limit of the run (RLIMIT_FSIZE, ulimit -f) in bytes, a function of the
    # payload's size; None for none.
    file_size_limit: object = None
    # POSIX: the registration reached through a link (PosixPlatform.registry_through_link), if
    # not directly.
    through_link: str = None


SUCCESS = Row("success", [CONFIRM, DONE], written=True,
              calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
NO_CAMERA = Row("no camera", [NONE_FOUND], cameras=[], calls=REACH + walk(0),
                destroyed=["Factory", "Enumerator", "Collection", "Manager"])
UNPLUGGED = Row("unplugged while the confirmation is open", [CONFIRM, GONE_FROM_DRIVE],
                faults={"GetModelName": "0x8007048F unplugged"}, unplug_before_answer=1,
                calls=REACH + walk(1) + SELECT + failing("Camera GetModelName"), selected_position=0,
                destroyed=SELECTED)
CANCEL = Row("cancel at the confirmation", [CONFIRM], answers=("cancel",),
             calls=REACH + walk(1) + SELECT, selected_position=0, destroyed=SELECTED)
ABSENT = Row("component absent", [SOFTWARE_MISSING], registered=False)

# An unmatched single camera stays in the item variant until the teardown.
ONE_UNMATCHED = ["Factory", "Enumerator", "Collection", "Camera", "Manager"]


def _unmatched(name, model):
    return Row(name, [NONE_FOUND], cameras=[Camera(model)], calls=REACH + walk(1), destroyed=ONE_UNMATCHED)


EXISTING = Row("existing package replaced", [CONFIRM, DONE], cards={"E": "existing"}, written=True,
               calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
STALE = Row("staging file of an interrupted run replaced", [CONFIRM, DONE], cards={"E": "stale"}, written=True,
            calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
BLOCKED = Row("package file not creatable", [CONFIRM, FAILED], cards={"E": "blocked"},
              calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)

WINDOWS = [
    SUCCESS,
    EXISTING,
    STALE,
    NO_CAMERA,
    _unmatched("other model only", OTHER),
    _unmatched("name in other letter case", lambda model: model.swapcase()),
    _unmatched("name with a trailing space", lambda model: model + " "),
    _unmatched("name only its beginning equal", lambda model: model.split()[0]),
    _unmatched("name of equal length, last character differs", lambda model: model[:-1] + chr(ord(model[-1]) + 1)),
    Row("two cameras of the model", [SEVERAL], cameras=[Camera(card="E"), Camera(card="F")],
        cards={"E": "folders", "F": "folders"}, calls=REACH + walk(2), destroyed=SELECTED),
    Row("the model at position 1 behind another model", [CONFIRM, DONE],
        cameras=[Camera(OTHER, card="F"), Camera(card="E")], cards={"E": "folders", "F": "folders"},
        written=True, calls=REACH + walk(2) + SELECT + PRESENCE, selected_position=1,
        destroyed=["Factory", "Camera", "Camera", "Enumerator", "Collection", "Camera", "Manager"]),
    Row("camera list changed before the selection", [GONE_NO_DRIVE],
        cameras=[Camera(OTHER, card="F"), Camera(card="E")], cards={"E": "folders", "F": "folders"},
        component={"at_offset": -1}, calls=REACH + walk(2) + SELECT[:-1], selected_position=1,
        destroyed=["Factory", "Camera", "Camera", "Enumerator", "Collection", "Camera", "Manager"]),
    CANCEL,
    ABSENT,
    Row("component failing to run", [SOFTWARE_MISSING], faults={"Run": "0x80004005"}, calls=ACTIVATE,
        destroyed=["Factory", "Manager"]),
    Row("GetCameraCollection failing", [SOFTWARE_MISSING], faults={"GetCameraCollection": "0x80004005"},
        calls=ACTIVATE + failing("Manager GetCameraCollection"), destroyed=["Factory", "Manager"]),
    Row("GetCameraEnumerator failing", [SOFTWARE_MISSING], faults={"GetCameraEnumerator": "0x80004005"},
        calls=REACH[:-1] + failing("Collection GetCameraEnumerator"), destroyed=["Factory", "Collection", "Manager"]),
    Row("enumerator refusing IEnumVARIANT with a failure", [SOFTWARE_MISSING],
        faults={"QueryInterface.IEnumVARIANT": "0x80004005"}, calls=REACH,
        destroyed=["Factory", "Enumerator", "Collection", "Manager"]),
    Row("enumerator object without IEnumVARIANT", [GONE_NO_DRIVE],
        faults={"QueryInterface.IEnumVARIANT": "0x80004002"}, calls=REACH,
        destroyed=["Factory", "Enumerator", "Collection", "Manager"]),
    Row("no enumerator handed out", [GONE_NO_DRIVE], faults={"GetCameraEnumerator": "null"}, calls=REACH,
        destroyed=["Factory", "Collection", "Manager"]),
    Row("GetCameraCount failing", [GONE_NO_DRIVE], faults={"GetCameraCount": "0x80004005"},
        calls=REACH + ["Enumerator Reset"] + failing("Collection GetCameraCount"),
        destroyed=["Factory", "Enumerator", "Collection", "Manager"]),
    Row("an item that is no camera", [GONE_NO_DRIVE], cameras=[Camera(item="nocamera")],
        calls=REACH + WALK_START + ["Enumerator Next"],
        destroyed=["Factory", "Enumerator", "Collection", "Item", "Manager"]),
    Row("GetCameraAt failing", [GONE_NO_DRIVE], faults={"GetCameraAt": "0x8002000B"},
        calls=REACH + walk(1) + failing("Collection GetCameraAt"), selected_position=0, destroyed=ONE_UNMATCHED),
    Row("GetDrivePath failing", [GONE_NO_DRIVE], faults={"GetDrivePath": "0x80004005"},
        calls=REACH + walk(1) + SELECT[:-1] + failing("Camera GetDrivePath"), selected_position=0,
        destroyed=SELECTED),
    UNPLUGGED,
    Row("package folders missing", [CONFIRM, NO_CARD], cards={"E": "none"},
        calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED),
    BLOCKED,
]


# A component that hands out what is no camera, or a drive path that cannot name the card:
# message 135 before the confirmation, without a drive or with the drive of the path refused,
# and nothing written.
def _no_camera_item(kind):
    return Row(f"an item of type {kind}", [GONE_NO_DRIVE], cameras=[Camera(item=kind)],
               calls=REACH + WALK_START + ["Enumerator Next"], destroyed=["Factory", "Enumerator", "Collection", "Manager"])


def _no_camera_selected(kind):
    return Row(f"a selection of type {kind}", [GONE_NO_DRIVE], cameras=[Camera(selected=kind)],
               calls=REACH + walk(1) + SELECT[:1], selected_position=0,
               destroyed=["Factory", "Camera", "Enumerator", "Collection", "Manager"])


def _unusable_drive(name, drive, text=None):
    """`drive` as the scenario writes it, `text` the path it is; a function of the card's
    drive path stands for both."""
    return Row(f"drive path {name}", [GONE_FROM_REFUSED], cameras=[Camera(drive=drive)],
               calls=REACH + walk(1) + SELECT, selected_position=0, destroyed=SELECTED,
               refused=drive if callable(drive) else text)


HOSTILE = [
    _no_camera_item("bstr"),
    _no_camera_item("i4"),
    _no_camera_item("byref"),
    _no_camera_selected("bstr"),
    _no_camera_selected("i4"),
    _no_camera_selected("byref"),
    _no_camera_selected("untouched"),
    _unusable_drive("empty", '""', ""),
    _unusable_drive("null", "null", ""),
    _unusable_drive("relative", r'"Current\\"', "Current\\"),
    _unusable_drive("without its separator", '"E:"', "E:"),
    _unusable_drive("root-relative", r'"\\"', "\\"),
    _unusable_drive("with a zero inside", r'"E:\\\0x\\"', "E:\\\0x\\"),
    _unusable_drive("of a local device", r'"\\\\.\\E:\\"', "\\\\.\\E:\\"),
    # Characters the ANSI code page lacks, which a best-fit conversion would turn into
    # look-alikes naming another folder: a full-width backslash, full-width dots.
    _unusable_drive("ending in a full-width backslash", r'"E:\uFF3C"', "E:\uFF3C"),
    _unusable_drive("with full-width dots", r'"E:\\\uFF0E\uFF0E\\"', "E:\\\uFF0E\uFF0E\\"),
    # A ".." component that would lead back to the card itself, or off it: refused like the
    # other malformed drive paths, never resolved.
    _unusable_drive("holding ..", lambda card: card + "Current" + card[-1] + ".." + card[-1]),
]
WINDOWS += HOSTILE


# The signed program, as users get it: the signature changes nothing the other rows show,
# so it plays a success and a Cancel, its code signed and run whole.
SIGNED = [SUCCESS, CANCEL]

# Locales of no catalogue language of their own -> the catalogue language expected: a
# region the catalogue lacks falls back to its primary language, a language it lacks to
# English.
NEIGHBOURS = [
    ("de_AT.UTF-8", 0x0407),
    ("pt_PT.UTF-8", 0x0416),
    ("en_GB.UTF-8", 0x0409),
    ("ko_KR.UTF-8", 0x0409),
]
LANGUAGE_ROWS = [SUCCESS, NO_CAMERA]


def own_locale(language):
    return locale.windows_locale[language] + ".UTF-8"


def languages(catalogue):
    """Locale -> the catalogue language expected; each runs the language rows: every
    language of the catalogue in its own locale, then the neighbours."""
    return [(own_locale(language), language) for language in catalogue.languages()] + NEIGHBOURS


def posix_languages(catalogue):
    """POSIX: every language in locales that a fresh system lacks (only C.UTF-8 and POSIX
    are there), and a neighbour. The texts still come in the locale's language and show in
    the terminal's UTF-8, never as '?' or Latin-1."""
    return [(own_locale(language), language) for language in catalogue.languages()] + NEIGHBOURS[1:2]


# Japanese names the drive before the camera in 135: the inserts' numbers, not their order.
EXTRA_LANGUAGE_ROWS = {"ja_JP.UTF-8": [UNPLUGGED]}

# A link or a FIFO in the package's place is never followed or written through: the
# verified package is moved over the name itself, as over an older package, and the file
# the link points to is left as it was.
TAKEN_NAME = [
    Row(f"package name taken by a {layout}", [CONFIRM, DONE], cards={"E": layout}, written=True,
        calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
    for layout in ("link", "fifo")
]

# The POSIX runtime takes a plugin's success without an object for the failure it is.
NULL_ACTIVATION = [
    Row("class object handed out as null", [SOFTWARE_MISSING], faults={"DllGetClassObject": "null"}, calls=[],
        destroyed=[]),
    Row("instance handed out as null", [SOFTWARE_MISSING], faults={"CreateInstance": "null"},
        calls=["Factory CreateInstance"], destroyed=["Factory"]),
]

# POSIX: a registry entry that is no regular file holding a path is unreadable, at once:
# the component is missing (a FIFO would hold the open for ever). A link to /dev/zero is
# a unit test's row, in a child with a bounded address space.
UNREADABLE_ENTRY = [
    Row(f"registry entry {entry}", [SOFTWARE_MISSING], registry_entry=entry)
    for entry in ("a FIFO", "a line longer than any path")
]

# POSIX: file names are UTF-8 whatever the locale, and a "C" character type is taken as
# UTF-8 for the terminal, as language runtimes do; no locale variable at all is "C".
NO_LOCALE = {name: None for name in ("LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG", "LANGUAGE")}
ANY_LOCALE = [
    Row(f"card folder {folder} under {name}", [CONFIRM, DONE], folders={"E": folder}, environment=environment,
        written=True, calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
    for folder in ("c\u00e4rd", "\u30ab\u30fc\u30c9")
    for name, environment in (("LC_ALL=C", {"LC_ALL": "C"}), ("no locale variable", NO_LOCALE))
] + [
    Row("German with LANG=C LC_MESSAGES=de_DE.UTF-8, in UTF-8", [CONFIRM, DONE], written=True,
        environment=dict(NO_LOCALE, LANG="C", LC_MESSAGES="de_DE.UTF-8"), language=0x0407,
        calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED),
]

# Another run is writing the card: this one fails (131) and leaves that run's staging file and
# the older package as they were.
HELD = Row("staging file held by another run", [CONFIRM, FAILED], cards={"E": "held"},
           calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)

# The folders below the drive folder are never reached through a link: Current or
# Current/Firmware a link to a folder beside the card is no package folder (139), and
# nothing is written where it points. The Windows program under Wine meets the host's link,
# which Wine tells as a reparse point by its name only (a handle opened on it reaches the
# folder it points to).
LINKED_FOLDERS = [
    Row(f"{folder} a link off the card", [CONFIRM, NO_CARD], cards={"E": layout},
        calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
    for folder, layout in (("Current", "current-link"), ("Current/Firmware", "firmware-link"))
]
# The package's name taken by the host's link: moved over under Wine as on POSIX (a FIFO
# there is POSIX's alone).
WINDOWS += LINKED_FOLDERS + [row for row in TAKEN_NAME if row.cards["E"] == "link"]

# POSIX under a file-size limit below the package's size (ulimit -f): the write fails (131),
# the staging file goes and an older package stays, and the run ends as every run does;
# SIGXFSZ would end it in the middle of the write.
FILE_SIZE_LIMITED = [
    Row(f"file-size limit of {limit_name}, {card_name}", [CONFIRM, FAILED], cards={"E": layout},
        file_size_limit=limit, calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
    for limit_name, limit in (("half the package", lambda size: size // 2),
                              ("one byte less than the package", lambda size: size - 1))
    for card_name, layout in (("no older package", "folders"), ("an older package", "existing"))
]

# On POSIX a backslash is part of a name ("My\\Card"), never a separator of the drive path.
POSIX = [SUCCESS, EXISTING, STALE, BLOCKED, CANCEL, NO_CAMERA, UNPLUGGED, ABSENT] + HOSTILE + [
    _unusable_drive("with a backslash inside", lambda card: card + "My\\Card/"),
] + TAKEN_NAME + LINKED_FOLDERS + NULL_ACTIVATION + [HELD] + UNREADABLE_ENTRY + ANY_LOCALE + FILE_SIZE_LIMITED

# POSIX run as root, in a suite of its own that is skipped otherwise: root loads only a
# component that no one else could change, nor its way there. A registry or a plugin folder
# reached through another user's link is the camera software missing (137), the component
# never loaded; through root's own link in root's folder (as Debian's merged /usr makes
# /lib) it is loaded as any other.
POSIX_ROOT = [
    Row("registry named through another user's link", [SOFTWARE_MISSING], through_link="registry, another user's"),
    Row("plugin folder reached through another user's link", [SOFTWARE_MISSING],
        through_link="plugin folder, another user's"),
    replace(SUCCESS, name="plugin folder reached through root's own link", through_link="plugin folder, root's"),
]

# Cards that are file systems of their own (card.VOLUMES), mounted for the row: as root
# only, in suites of their own that are skipped otherwise.
def _volume(name, layout, boxes, written=False):
    return Row(name, boxes, cards={"E": layout}, written=written, calls=REACH + walk(1) + SELECT + PRESENCE,
               selected_position=0, destroyed=SELECTED)


CARD_FULL_ROW = _volume("card too full", "small", [CONFIRM, CARD_FULL])
# A staging file left by an interrupted run is removed before the probe, so its space counts.
LEFTOVER = _volume("staging file of an interrupted run takes the room of the package", "leftover", [CONFIRM, DONE],
                   written=True)
# Room for the package's bytes is not room for the file: it takes whole allocation units,
# and one more is kept for the staging file's folder entry (138, nothing written, rather
# than a write that runs out of room, 131).
TIGHT = _volume("room for the bytes of the package, not for its allocation units", "tight", [CONFIRM, CARD_FULL])
TIGHT_EXT2 = _volume("room for the bytes of the package, not for its 1 KiB blocks", "tight-ext2",
                     [CONFIRM, CARD_FULL])
# Room for the package's blocks and the margin, but ext2 also needs blocks that point to
# them: the write runs out of room, which is the card too full all the same (138), with
# nothing left on it.
OVERHEAD_EXT2 = _volume("room for the package's blocks, not for the file system's own", "overhead-ext2",
                        [CONFIRM, CARD_FULL])
WINDOWS_VOLUMES = [CARD_FULL_ROW, LEFTOVER, TIGHT]
POSIX_VOLUMES = [CARD_FULL_ROW, LEFTOVER, TIGHT, TIGHT_EXT2, OVERHEAD_EXT2]

# The desktop dialogs (run_desktop.py). A display lost while a box is up ends the run as
# every ending does: at the confirmation nothing is written, at the last box the package
# stays written.
LOST_AT_CONFIRMATION = Row("display lost at the confirmation", [CONFIRM], answers=("lost",),
                           calls=REACH + walk(1) + SELECT, selected_position=0, destroyed=SELECTED)
LOST_AT_LAST_BOX = Row("display lost at the last box", [CONFIRM, DONE], answers=("ok", "lost"), written=True,
                       calls=REACH + walk(1) + SELECT + PRESENCE, selected_position=0, destroyed=SELECTED)
# A card mounted 3.6 KB deep, in folders whose names (240 characters, no space, hyphen or
# other place to break a line) are each one word to a line breaker: message 135 names it.
# The names run words in no repeating order, so that a reading of a part of the path
# matches only that part.
_NAME_WORDS = "Photos Summer Holiday Seaside Mountains Family Garden Birthday Winter Harbour Village Forest".split()
_pick = random.Random(135).choice
LONG_MOUNT_POINT = "/".join(
    (f"Card{number:02d}" + "".join(_pick(_NAME_WORDS) for _ in range(40)))[:240] for number in range(15))
UNPLUGGED_FROM_LONG_MOUNT_POINT = replace(UNPLUGGED, name="unplugged, the card mounted 3.6 KB deep",
                                          folders={"E": LONG_MOUNT_POINT})
