#!/usr/bin/env python3
"""The Windows camera component under Wine, in a prefix of its own, as an owner meets it:

  registration  regsvr32 per machine and per user (/n /i:user), each in the registry view of
                the component's width (reg query /reg:32 and /reg:64); refused over another
                server's entry, which stays, also where another installer rewrote the entry the
                component wrote (or an older release's) to name its own DLL; /u leaves another's
                entry alone; and after each,
                what the real program shows: 133 (no camera of its model: the component
                loaded and its real discovery ran, finding no USB disk, as Wine lists none)
                or 137 (no component)
  recorded      the real program against the test build of the component playing a recorded
                device tree, the card a folder mapped as the drive letter the tree gives:
                success, two cameras, no medium (139), also with the component in a folder
                whose name the ANSI code page cannot hold

  run_wine.py --kind win64|wow64|win32 --wine-run cmake/wine-run.sh --prefix DIR
              --program fwupgrade.exe --harness boxharness.exe --component usbcamera.dll
              --recorded DIR/usbcamera.dll --trees DIR --data-dir <build>/resources/data
              --catalogue resources/Messages.rc --work-dir DIR [--only NAME-PART]

The kinds of prefix: win64 for the x64 programs; for the x86 ones win32, a 32-bit prefix,
and wow64, a 64-bit prefix whose 32-bit side runs them.  Where the host cannot execute
32-bit programs, both run under user-mode emulation (tools/emulation/i386emu): in a 32-bit
prefix every process, in a 64-bit one only the 32-bit ones; where it can, wow64 is forced to the
emulated path with FWUPGRADE_I386=emulate, so that a native host sees both.  The recorded
rows play in one x86 kind only, the one the x86 programs' other tests use on the host.
Where the kind cannot be had this prints "skipped: REASON" and ends with 77.  Prints one PASS/FAIL line per row and
"N passed, M failed"."""

import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
from card import Card  # noqa: E402
from catalogue import Catalogue  # noqa: E402
from player import ENGLISH, NEUTRAL_LOCALE, box_problems  # noqa: E402
from product import Product  # noqa: E402
from rows import (CONFIRM, DONE, NO_CARD, NONE_FOUND, REACH, SELECT, SELECTED, SEVERAL,  # noqa: E402
                  SOFTWARE_MISSING, Row, walk)
from simcamera import ComponentLog  # noqa: E402
from tally import Tally  # noqa: E402
from wine import SKIPPED, WinePrefix, WineUnavailable, windows_path  # noqa: E402

CLASS = "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}"
# The value the component marks its entries with, and what releases before it wrote there
# (no path).
MARK = "fwupgradeComponent"
OLDER_MARK = "usbcamera"
ROOTS = {"machine": "HKLM", "user": "HKCU"}
SCOPE_FLAGS = {"machine": [], "user": ["/n", "/i:user"]}
# The camera maker's component, as its software registers it (the file need not exist: the
# program then cannot load it and says its camera software is missing).
FOREIGN = r"C:\Program Files\Camera Maker\CameraAccess.dll"
# wine-run.sh's architecture for each kind of prefix (its win32 is the WoW64 prefix where the
# host cannot execute 32-bit programs).
WINE_ARCH = {"win64": "win64", "wow64": "win32", "win32": "win32-prefix"}


def class_key(scope, subkey="InprocServer32"):
    return f"{ROOTS[scope]}\\Software\\Classes\\CLSID\\{CLASS}" + (f"\\{subkey}" if subkey else "")


def copy_of(dll, folder):
    """A copy of the component and its id table in `folder`, as an owner unzips it there."""
    os.makedirs(folder, exist_ok=True)
    for name in (os.path.basename(dll), "usb-models.txt"):
        shutil.copyfile(os.path.join(os.path.dirname(dll), name), os.path.join(folder, name))
    return os.path.join(folder, os.path.basename(dll))


class Session:
    """One prefix of the kind asked for, and the calls the rows make in it."""

    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.wine = WinePrefix(args.wine_run, args.prefix, WINE_ARCH[args.kind])
        # The registry view the component's width writes to, and the other one; a 32-bit
        # prefix has one view only.
        self.view = {"win64": "/reg:64", "wow64": "/reg:32", "win32": None}[args.kind]
        self.other_view = {"win64": "/reg:32", "wow64": "/reg:64", "win32": None}[args.kind]
        self.product = Product(args.data_dir)
        self.catalogue = Catalogue(args.catalogue)
        self.runs = 0

    def forget_class(self):
        """Removes the class's entries an interrupted earlier run may have left in the prefix."""
        for scope in ROOTS:
            self.reg(["delete", class_key(scope, None), "/f"] + ([self.view] if self.view else []))

    def regsvr32(self, flags, dll):
        return self.wine.run(["regsvr32", "/s"] + flags + [windows_path(dll)]).returncode

    def reg(self, arguments):
        result = self.wine.run(["reg"] + arguments)
        return result.returncode, result.stdout.decode("utf-8", errors="replace")

    def server(self, scope, view):
        """The InprocServer32 the class has in `scope` and `view` (None: the default one), or None."""
        return self.text(class_key(scope), ["/ve"], view)

    def text(self, key, value, view):
        """The text value (["/ve"] or ["/v", NAME]) of `key` in `view`, or None."""
        code, output = self.reg(["query", key] + value + ([view] if view else []))
        if code != 0:
            return None
        for line in output.splitlines():
            fields = line.split(None, 2)  # (Default)  REG_SZ  value
            if len(fields) == 3 and fields[1] in ("REG_SZ", "REG_EXPAND_SZ"):
                return fields[2].strip()
        return None

    def stand_in(self, scope, server, mark=None):
        """Another installer's writing of the class's entry in `scope`, in the component's view:
        InprocServer32 naming `server`, and with `mark` the component's mark so valued; the
        problems if reg failed."""
        view = [self.view] if self.view else []
        writes = [[class_key(scope), "/ve", "/d", server]]
        if mark is not None:
            writes.append([class_key(scope, None), "/v", MARK, "/d", mark])
        problems = []
        for write in writes:
            code, output = self.reg(["add"] + write + ["/f"] + view)
            if code != 0:
                problems.append(f"reg add {' '.join(write)} failed: {output.strip()}")
        return problems

    def entry_problems(self, scope, dll):
        """The entry of `scope` names `dll` in the component's own view, for the apartment the
        program calls from, and is not in the other view."""
        problems = []
        expected = windows_path(dll)
        own = self.server(scope, self.view)
        if own is None or own.lower() != expected.lower():
            problems.append(f"{class_key(scope)} {self.view or ''}: {own!r}, expected {expected!r}")
        code, output = self.reg(["query", class_key(scope), "/v", "ThreadingModel"] + ([self.view] if self.view else []))
        if code != 0 or "Apartment" not in output:
            problems.append(f"{class_key(scope)} has no ThreadingModel Apartment: {output.strip()!r}")
        # Wine keeps one HKCU\Software\Classes\CLSID for both views, which Windows need not;
        # the machine's classes it keeps apart, as Windows does.
        if self.other_view and scope == "machine" and self.server(scope, self.other_view) is not None:
            problems.append(f"{class_key(scope)} is in the other view ({self.other_view}) too")
        return problems

    def absent_problems(self, scope):
        found = self.server(scope, self.view)
        return [] if found is None else [f"{class_key(scope)} still names {found!r}"]

    def program(self, expected_boxes, env=None, cards=None):
        """Runs the program once, answering OK, with `cards` (letter -> Card) mapped as drives;
        the problems with what it showed and the component's log of the run."""
        cards = cards or {}
        self.runs += 1
        folder = os.path.join(self.work, f"run{self.runs}")
        os.makedirs(folder)
        log = os.path.join(folder, "usbcamera.log")
        environment = dict(env or {}, LC_ALL=NEUTRAL_LOCALE, USBCAMERA_LOG=windows_path(log))
        for letter, card in cards.items():
            self.wine.map_drive(letter, card.path)
        try:
            outcome = self.wine.run_with_harness(self.args.harness, self.args.program, env=environment)
        finally:
            for letter in cards:
                self.wine.unmap_drive(letter)
        problems = [outcome.problem] if outcome.problem else []
        if outcome.exit_code != 0:
            problems.append(f"exit code {outcome.exit_code}, expected 0")
        values = dict(self.product.inserts("E"), empty="")
        problems += box_problems(Row("", expected_boxes), outcome.boxes, self, self.catalogue, ENGLISH, values)
        if problems and outcome.output:
            problems.append("output:\n" + outcome.output.rstrip())
        return problems, ComponentLog(log)

    def regsvr32_problems(self, flags, dll, refused=False):
        """regsvr32 succeeds, or fails when `refused`."""
        code = self.regsvr32(flags, dll)
        return [] if (code != 0) == refused else [f"regsvr32 {' '.join(flags)} exited with {code}"]

    # box_problems asks the platform how a text is shown: Windows shows it as it is.
    @staticmethod
    def as_shown(text):
        return text


def no_component(session):
    problems, log = session.program([SOFTWARE_MISSING])
    if log.lines:
        problems.append(f"a component was loaded: {log.lines[:3]}")
    return problems


def real_discovery(session):
    """The component ran its real discovery, found no camera, and released everything."""
    problems, log = session.program([NONE_FOUND])
    if not log.contains(" cameras=0"):
        problems.append(f"the component's log has no discovery that found no camera: {log.lines[:5]}")
    if log.calls() != REACH + walk(0):
        problems.append(f"component calls {log.calls()}")
    return problems + account_problems(log)


def account_problems(log):
    return [] if log.leftovers() == "exit live=0" else [
        f"component's account at unload: {log.leftovers()}, expected exit live=0"]


def registration_rows(session):
    """(name, step) in order, each step giving its problems.  They share the prefix's
    registry, each leaving it as the next expects: no entry of the class."""
    dll = session.args.component
    moved = os.path.join(session.work, "moved", "usbcamera.dll")

    def register_machine():
        problems = session.regsvr32_problems([], dll) + session.entry_problems("machine", dll)
        return problems + real_discovery(session)

    def moved_copy():
        # The owner unzips a newer copy elsewhere: the entry the component wrote is its own.
        copy_of(dll, os.path.dirname(moved))
        problems = session.regsvr32_problems([], moved) + session.entry_problems("machine", moved)
        return problems + session.regsvr32_problems(["/u"], moved) + session.absent_problems("machine")

    def register_user():
        problems = session.regsvr32_problems(["/n", "/i:user"], dll) + session.entry_problems("user", dll)
        problems += session.absent_problems("machine")
        # Wine's COM looks the class up among the machine's classes only (its HKCR is
        # HKLM\Software\Classes), where Windows puts the user's in front of them.
        return problems + no_component(session)

    def unregister_user():
        return session.regsvr32_problems(["/u", "/n", "/i:user"], dll) + session.absent_problems("user")

    def foreign(scope, over=None):
        """The maker's entry in `scope`: registration in either place is refused, and /u in
        either place leaves it.  `over` the component's entry, "own" as the component wrote
        it or "older" as a release before it did, which the maker's installer then pointed at
        its own DLL, leaving the component's mark."""
        view = [session.view] if session.view else []
        problems = []
        if over == "own":
            problems += session.regsvr32_problems(SCOPE_FLAGS[scope], dll)
        problems += session.stand_in(scope, FOREIGN, OLDER_MARK if over == "older" else None)
        if over and session.text(class_key(scope, None), ["/v", MARK], session.view) is None:
            problems.append("the component's mark is not in the rewritten entry")
        if problems:
            return problems
        problems = session.regsvr32_problems([], dll, refused=True)
        problems += session.regsvr32_problems(["/n", "/i:user"], dll, refused=True)
        session.regsvr32(["/u"], dll)
        session.regsvr32(["/u", "/n", "/i:user"], dll)
        found = session.server(scope, session.view)
        if found != FOREIGN:
            problems.append(f"the maker's entry is now {found!r}")
        problems += session.absent_problems("user" if scope == "machine" else "machine")
        if scope == "machine":
            # The maker's component (missing here) is the one the program tries.
            problems += no_component(session)
        code, output = session.reg(["delete", class_key(scope, None), "/f"] + view)
        return problems + ([] if code == 0 else [f"reg delete failed: {output}"])

    def older_entry():
        """An entry of a release before the mark recorded the path: the component's while it
        names this very file (registration replaces it, /u removes it) or a component's copy
        since deleted (/u from the new copy removes it), the maker's once its installer
        pointed it at its own DLL."""
        problems = session.stand_in("user", windows_path(dll), OLDER_MARK)
        problems += session.regsvr32_problems(SCOPE_FLAGS["user"], dll) + session.entry_problems("user", dll)
        problems += session.regsvr32_problems(["/u"] + SCOPE_FLAGS["user"], dll) + session.absent_problems("user")
        gone = os.path.join(session.work, "deleted-download", os.path.basename(dll))
        problems += session.stand_in("user", windows_path(gone), OLDER_MARK)
        problems += session.regsvr32_problems(["/u"] + SCOPE_FLAGS["user"], dll) + session.absent_problems("user")
        return problems + foreign("user", over="older")

    def unregister_machine():
        problems = session.regsvr32_problems([], dll) + session.regsvr32_problems(["/u"], dll)
        return problems + session.absent_problems("machine") + no_component(session)

    return [
        ("no component: 137", lambda: no_component(session)),
        ("per machine: in its own registry view; the program finds no camera (133)", register_machine),
        ("a copy in another folder replaces the entry the component wrote, and removes it", moved_copy),
        ("per user, no administrator: in its own registry view", register_user),
        ("per user removed", unregister_user),
        ("the maker's entry per machine: both registrations refused, /u leaves it", lambda: foreign("machine")),
        ("the maker's entry per user: both registrations refused, /u leaves it", lambda: foreign("user")),
        ("the component's entry per machine rewritten by the maker's installer: refused, /u leaves it",
         lambda: foreign("machine", over="own")),
        ("the component's entry per user rewritten by the maker's installer: refused, /u leaves it",
         lambda: foreign("user", over="own")),
        ("an older release's entry: the component's while it names this file or a deleted copy, not once rewritten",
         older_entry),
        ("per machine removed: 137 again", unregister_machine),
    ]


def recorded_rows(session):
    """The program against the recorded trees, with the test build registered per machine."""
    dll = session.args.recorded

    def play(tree, expected_boxes, letters, written, calls, loaded=dll):
        cards = {}
        try:
            for letter in letters:
                cards[letter] = Card(os.path.join(session.work, f"{tree}-{letter}"), session.product, "folders")
            env = {"USBCAMERA_DEVICE_TREE": windows_path(os.path.join(session.args.trees, tree + ".tree"))}
            problems, log = session.program(expected_boxes, env, cards)
            for letter, card in cards.items():
                problems += [f"card {letter}: {p}" for p in card.changes(written and letter == "E")]
        finally:
            for card in cards.values():
                card.release()
        # The component the program loaded names the table beside it.
        if not log.contains("models=" + windows_path(os.path.dirname(loaded)) + "/usb-models.txt"):
            problems.append(f"the component loaded was not {loaded}: {log.lines[:2]}")
        if log.calls() != calls:
            problems.append(f"component calls {log.calls()}, expected {calls}")
        if log.destroyed() != SELECTED:
            problems.append(f"objects destroyed {log.destroyed()}, expected {SELECTED}")
        return problems + account_problems(log)

    def unheld_folder():
        """The owner's folder named in a script no ANSI code page holds (Devanagari): an
        empty slot is still no card (139), not a camera that seems disconnected (135)."""
        copy = copy_of(dll, os.path.join(session.work, "Users", "अनीता", "Downloads"))
        problems = session.regsvr32_problems([], copy)
        problems += play("no-medium", [CONFIRM, NO_CARD], "", False, selected, loaded=copy)
        return problems + session.regsvr32_problems([], dll)

    selected = REACH + walk(1) + SELECT + ["Camera GetModelName"]
    return [
        ("test build registered per machine",
         lambda: session.regsvr32_problems([], dll) + session.entry_problems("machine", dll)),
        ("recorded camera with a partitioned card: upgraded",
         lambda: play("partitioned", [CONFIRM, DONE], "E", True, selected)),
        ("recorded two cameras: 132", lambda: play("two-cameras", [SEVERAL], "EF", False, REACH + walk(2))),
        ("recorded empty card slot: 139", lambda: play("no-medium", [CONFIRM, NO_CARD], "", False, selected)),
        ("recorded empty card slot, the component in a folder outside the code page: 139", unheld_folder),
        ("test build removed", lambda: session.regsvr32_problems(["/u"], dll) + session.absent_problems("machine")),
    ]


def host_kind():
    """How this host runs 32-bit programs: "native", "emulated" or "unavailable REASON"."""
    script = os.path.join(SOURCE, "tools", "emulation", "i386emu", "i386-host.sh")
    line = subprocess.run(["sh", script, "ensure"], stdout=subprocess.PIPE, text=True, check=True).stdout.strip()
    return "emulated" if line.startswith("emulated") else line


def prepare_kind(args):
    """(None, whether the recorded rows play here) when the kind can run here, the environment
    set for it; else (the reason it cannot, False).  The recorded rows play once per width: for
    the x86 programs in the kind of prefix the rest of their tests use on this host, as a
    prefix's layout changes nothing they show."""
    if args.kind == "win64":
        return None, True
    host = host_kind()
    if host.startswith("unavailable"):
        return host[len("unavailable "):], False
    if args.kind == "wow64" and host == "native":
        # The emulated 64-bit prefix on a host that would run a 32-bit one, decided apart.
        os.environ["FWUPGRADE_I386"] = "emulate"
        os.environ["FWUPGRADE_I386_STATE"] = os.path.join(os.path.dirname(os.path.abspath(args.prefix)),
                                                          "i386emu-wow64")
    return None, args.kind == ("win32" if host == "native" else "wow64")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kind", required=True, choices=["win64", "wow64", "win32"])
    for option in ("--wine-run", "--prefix", "--program", "--harness", "--component", "--recorded", "--trees",
                   "--data-dir", "--catalogue", "--work-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("--only", help="run only the rows whose name contains this")
    args = parser.parse_args()

    reason, recorded_here = prepare_kind(args)
    if reason is not None:
        print(f"skipped: {reason}")
        return SKIPPED
    if os.path.exists(args.work_dir):
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)
    session = Session(args, args.work_dir)
    tally = Tally()
    try:
        session.forget_class()
        rows = registration_rows(session)
        if recorded_here:
            rows += recorded_rows(session)
        else:
            print(f"recorded trees: played in this host's other x86 prefix, not again in a {args.kind} one")
        for name, step in rows:
            if args.only and args.only not in name:
                continue
            tally.record(name, step())
    except WineUnavailable as unavailable:
        print(unavailable)
        return SKIPPED
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
