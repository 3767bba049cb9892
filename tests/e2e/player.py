"""Plays one row of rows.py against the real program on one platform and lists every way
in which what happened differs from what the row expects."""

import glob
import os
import shutil
import subprocess

import terminal
from card import Card
from catalogue import buttons
from rows import SAME
from simcamera import ComponentLog, scenario_text, scenario_value
from wine import WinePrefix

ENGLISH = 0x0409
# The other user of the rows run as root: nobody.
ANOTHER_USER = 65534
# The locale of runs that do not test a language: English, whatever the machine's setting.
NEUTRAL_LOCALE = "C.UTF-8"


class WindowsPlatform:
    """fwupgrade.exe under Wine, in its own prefix with the simulated component registered,
    the cards mapped as drive letters and every box read and answered by the harness."""

    def __init__(self, wine_run, prefix, arch, program, harness, component):
        self.wine = WinePrefix(wine_run, prefix, arch)
        self.program = program
        self.harness = harness
        self.component = component

    def prepare(self):
        self.wine.register(self.component)

    def seen(self, path):
        return "Z:" + os.path.abspath(path)

    def drive_path(self, letter, card):
        return letter + ":\\"

    def drive_letter(self, letter, card):
        return letter

    @staticmethod
    def drive_name(path):
        """The drive of a drive path as messages name it: its first character."""
        return path[:1]

    def as_shown(self, text):
        return text

    def insert_cards(self, cards):
        for letter, card in cards.items():
            self.wine.map_drive(letter, card.path)

    def remove_cards(self, cards):
        for letter in cards:
            self.wine.unmap_drive(letter)

    def run(self, row, env, marker):
        if not row.registered:
            self.wine.unregister(self.component)
        try:
            touches = [(row.unplug_before_answer, marker)] if row.unplug_before_answer else []
            return self.wine.run_with_harness(self.harness, self.program, row.answers, touches, env)
        finally:
            if not row.registered:
                self.wine.register(self.component)


class PosixPlatform:
    """The POSIX fwupgrade on a pseudo-terminal, the simulated component's plugin registered
    in a private registry, and each card a folder whose path the camera reports. Its boxes
    are terminal dialogs: it runs without a display unless `display` names one (where the
    desktop dialog cannot be had); `launcher` goes before the program's own name. A run
    that has not ended after `timeout_seconds` fails."""

    def __init__(self, program, component, register_script, work_dir, display=None, launcher=(), timeout_seconds=60):
        self.program = program
        self.display = display
        self.launcher = list(launcher)
        self.timeout_seconds = timeout_seconds
        self.component = component
        self.register_script = register_script
        self.work_dir = work_dir
        self.registry = os.path.join(work_dir, "registry")
        self.empty_registry = os.path.join(work_dir, "no-registry")

    def prepare(self):
        os.makedirs(self.empty_registry, exist_ok=True)
        subprocess.run(["sh", self.register_script, self.component, self.registry], check=True)

    def seen(self, path):
        return os.path.abspath(path)

    def drive_path(self, letter, card):
        return os.path.abspath(card.path) + "/"

    def drive_letter(self, letter, card):
        """The drive as messages name it: the mount point, without its trailing separator."""
        return self.drive_path(letter, card)[:-1]

    @staticmethod
    def drive_name(path):
        """The drive of a drive path as messages name it: the path up to a zero inside,
        without its trailing separators (the root keeps its one)."""
        path = path.split("\0")[0]
        return path.rstrip("/") or path[:1]

    def as_shown(self, text):
        return terminal.as_printed(text)

    def insert_cards(self, cards):
        pass

    def remove_cards(self, cards):
        pass

    def environment(self, env, registered):
        env = {name: value for name, value in env.items() if name not in ("DISPLAY", "WAYLAND_DISPLAY")}
        if self.display is not None:
            env["DISPLAY"] = self.display
        return dict(env, POSIXCOM_REGISTRY=self.registry if registered else self.empty_registry)

    def _registry_copy(self, name):
        """A copy of the registry, and the path of its entry for the component and the plugin
        path the entry holds."""
        registry = self.registry + "-" + "".join(c if c.isalnum() else "-" for c in name)
        if os.path.exists(registry):
            shutil.rmtree(registry)
        shutil.copytree(self.registry, registry, symlinks=True)
        (path,) = glob.glob(os.path.join(registry, "CLSID", "*", "InprocServer32"))
        with open(path, "rb") as f:
            plugin = f.read().rstrip(b"\n")
        return registry, path, plugin

    def registry_with_entry(self, entry):
        """A registry whose entry for the component is `entry`: "a FIFO", or "a line longer
        than any path" (the plugin's path followed by 64 MiB without a line end, held as a
        hole)."""
        registry, path, plugin = self._registry_copy(entry)
        os.remove(path)
        if entry == "a FIFO":
            os.mkfifo(path)
        elif entry == "a line longer than any path":
            with open(path, "wb") as f:
                f.write(plugin)
                f.truncate(64 << 20)
        else:
            raise ValueError("unknown registry entry " + entry)
        return registry

    def registry_through_link(self, through):
        """The registry to name for a registration reached through a link (as root):
        "registry, another user's" (the registry itself, named through another user's link
        in that user's folder), "plugin folder, another user's" (the entry names the plugin
        through such a link to its folder), "plugin folder, root's" (the same through root's
        link in root's folder)."""
        reached, owner = through.split(", ")
        folder = os.path.join(self.work_dir, "home-" + ("other" if owner == "another user's" else "root"))
        os.makedirs(folder, exist_ok=True)
        link = os.path.join(folder, "registry" if reached == "registry" else "plugins")
        if os.path.lexists(link):
            os.remove(link)
        if reached == "registry":
            os.symlink(self.registry, link)
            named = link
        elif reached == "plugin folder":
            named, path, plugin = self._registry_copy(through)
            os.symlink(os.path.dirname(plugin.decode()), link)
            with open(path, "w") as f:
                f.write(os.path.join(link, os.path.basename(plugin.decode())) + "\n")
        else:
            raise ValueError("unknown registration " + through)
        if owner == "another user's":
            os.chown(folder, ANOTHER_USER, ANOTHER_USER)
            os.chown(link, ANOTHER_USER, ANOTHER_USER, follow_symlinks=False)
        elif owner != "root's":
            raise ValueError("unknown owner of the link " + through)
        return named

    def run(self, row, env, marker, file_size_limit=None):
        """file_size_limit: RLIMIT_FSIZE of the run in bytes, None for the caller's."""
        env = self.environment(env, row.registered)
        if row.registry_entry:
            env["POSIXCOM_REGISTRY"] = self.registry_with_entry(row.registry_entry)
        if row.through_link:
            env["POSIXCOM_REGISTRY"] = self.registry_through_link(row.through_link)

        def before_answer(box):
            if box == row.unplug_before_answer:
                open(marker, "w").close()

        return terminal.run_in_terminal(self.launcher + [self.program], env, row.answers, before_answer,
                                        self.timeout_seconds, file_size_limit)


class Stage:
    """One row set up in a fresh work folder: its cards inserted, the scenario written, and
    the environment that points the component at the scenario and its log. A locale of
    None keeps the caller's own."""

    def __init__(self, row, platform, product, work_dir, locale=NEUTRAL_LOCALE):
        if os.path.exists(work_dir):
            shutil.rmtree(work_dir)
        os.makedirs(work_dir)
        self.platform = platform
        self.cards = {}
        self.log = os.path.join(work_dir, "component.log")
        self.marker = os.path.join(work_dir, "unplugged")
        try:
            for letter, layout in row.cards.items():
                folder = row.folders.get(letter, "card-" + letter)
                self.cards[letter] = Card(os.path.join(work_dir, folder), product, layout)
            self._write_scenario(row, product, os.path.join(work_dir, "scenario.ini"))
            platform.insert_cards(self.cards)
        except BaseException:
            self.close()
            raise
        self.env = dict(os.environ, SIMCAMERA_SCENARIO=platform.seen(os.path.join(work_dir, "scenario.ini")),
                        SIMCAMERA_LOG=platform.seen(self.log))
        if locale is not None:
            self.env["LC_ALL"] = locale
        for name, value in row.environment.items():
            if value is None:
                self.env.pop(name, None)
            else:
                self.env[name] = value

    def _write_scenario(self, row, product, path):
        cameras = []
        for camera in row.cameras:
            reported = camera.model(product.model)
            if camera.model is not SAME and reported == product.model:
                raise ValueError(f"the row's camera reports {reported!r}, the model name itself")
            drive = camera.drive
            if drive is None or callable(drive):
                card_drive = self.platform.drive_path(camera.card, self.cards[camera.card])
                drive = scenario_value(card_drive if drive is None else drive(card_drive))
            cameras.append((reported, drive, camera.item, camera.selected))
        marker = self.platform.seen(self.marker) if row.unplug_before_answer else None
        with open(path, "w", encoding="utf-8") as f:
            f.write(scenario_text(cameras, row.faults, marker, row.component))

    def close(self):
        self.platform.remove_cards(self.cards)
        for card in self.cards.values():
            card.release()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


def play(row, platform, product, catalogue, work_dir, locale=NEUTRAL_LOCALE, language=ENGLISH):
    """Runs the row; returns the problems found (none: it passed)."""
    if row.language is not None:
        language = row.language
    with Stage(row, platform, product, work_dir, locale) as stage:
        # Only the POSIX platform sets limits: the other platforms play no row that has one.
        limits = {}
        if row.file_size_limit is not None:
            limits["file_size_limit"] = row.file_size_limit(len(product.payload))
        outcome = platform.run(row, stage.env, stage.marker, **limits)
        problems = []
        if outcome.problem:
            problems.append(outcome.problem)
        if outcome.exit_code != 0:
            problems.append(f"exit code {outcome.exit_code}, expected 0")
        values = dict(product.inserts(platform.drive_letter("E", stage.cards["E"])), empty="")
        if row.refused is not None:
            refused = row.refused
            if callable(refused):
                refused = refused(platform.drive_path("E", stage.cards["E"]))
            values["refused"] = platform.drive_name(refused)
        problems += box_problems(row, outcome.boxes, platform, catalogue, language, values)
        for letter, card in stage.cards.items():
            problems += [f"card {letter}: {p}" for p in card.changes(row.written and letter == "E")]
        problems += _component_problems(row, ComponentLog(stage.log))
    if problems and outcome.output:
        problems.append("output:\n" + outcome.output.rstrip())
    return problems


def box_problems(row, boxes, platform, catalogue, language, values):
    problems = []
    caption = platform.as_shown(catalogue.caption(language))
    # A text read back from the screen's picture is held to its words (desktop.py); one the
    # platform reads as it was shown, to every character.
    same_text = getattr(platform, "same_text", str.__eq__)
    expected = [(message, platform.as_shown(catalogue.shown(language, message, [values[n] for n in names])))
                for message, names in row.boxes]
    for number, box in enumerate(boxes, 1):
        if number > len(expected):
            problems.append(f"box {number} not expected: {box.caption!r}: {box.text!r}")
            continue
        message, text = expected[number - 1]
        if box.caption != caption:
            problems.append(f"box {number} ({message}): caption {box.caption!r}, expected {caption!r}")
        if not same_text(box.text, text):
            problems.append(f"box {number} ({message}): text {box.text!r}, expected {text!r}")
        if box.buttons != buttons(message):
            problems.append(f"box {number} ({message}): buttons {box.buttons}, expected {buttons(message)}")
    if len(boxes) < len(expected):
        missing = [message for message, _ in expected[len(boxes):]]
        problems.append(f"{len(boxes)} boxes, expected {len(expected)}: {missing} not shown")
    return problems


def _component_problems(row, log):
    problems = []
    if row.destroyed is None:
        if log.lines:
            problems.append(f"the component was loaded though absent: {log.lines[:3]}")
        return problems
    if row.calls is not None and log.calls() != row.calls:
        problems.append(f"component calls {log.calls()}, expected {row.calls}")
    if row.selected_position is not None and not log.contains(f"GetCameraAt index=VT_I4:{row.selected_position} "):
        problems.append(f"GetCameraAt was not given position {row.selected_position}")
    if log.destroyed() != row.destroyed:
        problems.append(f"objects destroyed {log.destroyed()}, expected {row.destroyed}")
    # A component that made no object at all has nothing to account for at unload.
    if log.leftovers() != "exit live=0" and not (row.destroyed == [] and log.leftovers() is None):
        problems.append(f"component's account at unload: {log.leftovers()}, expected exit live=0")
    return problems
