#!/usr/bin/env python3
"""The release zip as an owner unzips and runs it, under Wine, with nothing registered: a
table of layouts of the unzipped folder and what the program shows in each.

  unzipped          the component found in its folder beside the program, side by side:
                    133 (its real discovery finds no USB disk under Wine)
  other scripts     the same, unzipped into a folder whose name has spaces, accents and
                    Japanese
  deep folder       the same, the program's path as long as Windows starts one (259
                    characters), its component's longer than MAX_PATH
  maker's software  a stand-in for the maker's component registered per machine (the
                    simulated camera, playing two cameras): it serves (132), not the zip's
  program alone, component beside the program (no folder), no DLL, the other width's DLL,
  a DLL renamed from the file its manifest names: 137
  recorded camera   the test build of the component in the folder in the product's place,
                    over a recorded device tree: the card on a mapped drive upgraded, side
                    by side

After every run: exit code 0, the unzipped folder as it was, and no class registration in
the machine's or the user's classes, in either registry view (the stand-in's own entry
aside, which stays as it was).

  run_unzipped.py --kind win64|wow64|win32 --wine-run cmake/wine-run.sh --prefix DIR
                  --zip-script tools/packaging/release/release_zip.py --program fwupgrade.exe
                  --component usbcamera.dll --model-table usb-models.txt
                  --recorded DIR/usbcamera.dll --renamed DIR/usbcamera.dll
                  --other-width DIR/usbcamera.dll
                  --stand-in simcamera.dll --trees DIR --harness boxharness.exe
                  --data-dir <build>/resources/data --catalogue resources/Messages.rc
                  --work-dir DIR [--only NAME-PART]

The zip is made here with the release's own script from the built files, the same bytes as
the release_zip target's, and unzipped afresh for every row.  The whole table plays in
win64 and in the x86 kind the host's other x86 tests use (run_wine.py's choice); the other
x86 kind plays the rows marked for every kind, where the prefix's layout could change what
they show.  Where the kind cannot be had this prints "skipped: REASON" and ends with 77.
Prints one PASS/FAIL line per row and "N passed, M failed"."""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import zipfile
from dataclasses import dataclass

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tests", "e2e"))
sys.path.insert(0, HERE)
from card import Card  # noqa: E402
from catalogue import Catalogue  # noqa: E402
from player import ENGLISH, NEUTRAL_LOCALE, box_problems  # noqa: E402
from product import Product  # noqa: E402
from rows import (CONFIRM, DONE, NONE_FOUND, REACH, SELECT, SELECTED, SEVERAL, SOFTWARE_MISSING,  # noqa: E402
                  Row, walk)
from run_wine import WINE_ARCH, class_key, prepare_kind  # noqa: E402
from simcamera import ComponentLog, scenario_text, scenario_value  # noqa: E402
from tally import Tally  # noqa: E402
from wine import SKIPPED, WinePrefix, WineUnavailable, windows_path  # noqa: E402

FOLDER = "usbcamera"  # where the program looks for its component
COMPONENT = "usbcamera.dll"
# A folder name as owners give them: spaces, accents, another script.
OTHER_SCRIPTS = "Kamera Übertragung カメラ"
# The longest program path Windows starts (MAX_PATH and its terminator).
LONGEST_PROGRAM_PATH = 259


@dataclass
class Layout:
    name: str
    # What the owner did to the unzipped folder: arrange(run, folder), run being the UnzippedRun.
    arrange: object
    boxes: list
    # The component that serves and what its log must show: "none" (no component loaded),
    # "zip" (the zip's component, its real discovery), "stand-in" (the registered stand-in),
    # "recorded" (the test build over the recorded tree, one camera, upgraded).
    serves: str
    every_kind: bool = False  # played in both x86 kinds, not only in the host's usual one
    folder: str = "fwupgrade"  # the folder the zip is unzipped into, as Explorer names one
    deep: bool = False  # that folder named at such length that the program's path is the longest
    tree: str = None  # the recorded device tree (trees/<tree>.tree) the test build plays


def remove_folder(run, folder):
    shutil.rmtree(os.path.join(folder, FOLDER))


def loose_beside(run, folder):
    """The component and its table moved beside the program, with no folder of their own."""
    for name in os.listdir(os.path.join(folder, FOLDER)):
        os.replace(os.path.join(folder, FOLDER, name), os.path.join(folder, name))
    os.rmdir(os.path.join(folder, FOLDER))


def replace_component(source):
    def arrange(run, folder):
        shutil.copyfile(getattr(run.args, source), os.path.join(folder, FOLDER, COMPONENT))
    return arrange


def not_a_dll(run, folder):
    with open(os.path.join(folder, FOLDER, COMPONENT), "wb") as f:
        f.write(b"MZ" + b"not a DLL, a download cut short\r\n" * 64)


def recorded_camera(run, folder):
    """The test build in the product's place: built as usbcamera.dll, its manifest names that
    file, the one COM loads."""
    shutil.copyfile(run.args.recorded, os.path.join(folder, FOLDER, COMPONENT))


def register_stand_in(run, folder):
    run.wine.register(run.args.stand_in)


def nothing(run, folder):
    pass


LAYOUTS = [
    Layout("unzipped: the component in its folder serves side by side (133)", nothing, [NONE_FOUND], "zip",
           every_kind=True),
    Layout("unzipped into a folder named with spaces and other scripts: side by side (133)", nothing, [NONE_FOUND],
           "zip", folder=OTHER_SCRIPTS),
    Layout("unzipped so deep that the component's path is longer than MAX_PATH: side by side (133)", nothing,
           [NONE_FOUND], "zip", deep=True),
    Layout("the maker's component registered per machine serves, not the zip's (its two cameras: 132)",
           register_stand_in, [SEVERAL], "stand-in", every_kind=True),
    Layout("the program alone: 137", remove_folder, [SOFTWARE_MISSING], "none"),
    Layout("the component loose beside the program, no folder: not loaded, 137", loose_beside, [SOFTWARE_MISSING],
           "none"),
    Layout("the folder's DLL no DLL: 137", not_a_dll, [SOFTWARE_MISSING], "none"),
    Layout("the folder's DLL of the other width: 137", replace_component("other_width"), [SOFTWARE_MISSING], "none",
           every_kind=True),
    Layout("the folder's DLL renamed from the file its manifest names: 137", replace_component("renamed"),
           [SOFTWARE_MISSING], "none"),
    Layout("recorded camera with a partitioned card: upgraded side by side", recorded_camera, [CONFIRM, DONE],
           "recorded", tree="partitioned"),
]


def tree_hashes(folder):
    """Every file below `folder` by its relative path, with its SHA-256."""
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, folder)] = hashlib.sha256(f.read()).hexdigest()
    return found


class UnzippedRun:
    """One prefix of the kind asked for, the zip made once, and the rows played in it."""

    def __init__(self, args):
        self.args = args
        self.wine = WinePrefix(args.wine_run, args.prefix, WINE_ARCH[args.kind])
        # Both registry views of a 64-bit prefix; a 32-bit prefix has one.
        self.views = [None] if args.kind == "win32" else ["/reg:64", "/reg:32"]
        self.product = Product(args.data_dir)
        self.catalogue = Catalogue(args.catalogue)
        self.zip = os.path.join(args.work_dir, "fwupgrade.zip")
        subprocess.run([sys.executable, args.zip_script, "--program", args.program, "--component", args.component,
                        "--model-table", args.model_table, "--data-dir", args.data_dir, "--catalogue",
                        args.catalogue, "--output", self.zip], check=True, stdout=subprocess.DEVNULL)

    def entries(self):
        """(scope, view, InprocServer32) of every entry of the class in the prefix."""
        found = []
        for scope in ("machine", "user"):
            for view in self.views:
                result = self.wine.run(["reg", "query", class_key(scope), "/ve"] + ([view] if view else []))
                for line in result.stdout.decode("utf-8", errors="replace").splitlines():
                    fields = line.split(None, 2)  # (Default)  REG_SZ  value
                    if result.returncode == 0 and len(fields) == 3 and fields[1].startswith("REG_"):
                        found.append((scope, view, fields[2].strip()))
        return found

    def forget_class(self):
        """Removes the class's entries an interrupted earlier run may have left."""
        for scope in ("machine", "user"):
            for view in self.views:
                self.wine.run(["reg", "delete", class_key(scope, None), "/f"] + ([view] if view else []))

    def play(self, layout, number):
        work = os.path.join(self.args.work_dir, f"row{number}")
        folder = os.path.join(work, layout.folder)
        if layout.deep:
            folder += "-" + "x" * (LONGEST_PROGRAM_PATH - len(windows_path(os.path.join(folder, "-fwupgrade.exe"))))
        os.makedirs(folder)
        with zipfile.ZipFile(self.zip) as archive:
            archive.extractall(folder)
        problems = []
        card = None
        registered = []
        try:
            layout.arrange(self, folder)
            registered = self.entries()
            if layout.serves != "stand-in" and registered:
                return [f"the prefix holds entries of the class before the run: {registered}"]
            before = tree_hashes(folder)
            logs = {"zip": os.path.join(work, "usbcamera.log"), "stand-in": os.path.join(work, "simcamera.log")}
            env = {"LC_ALL": NEUTRAL_LOCALE, "USBCAMERA_LOG": windows_path(logs["zip"]),
                   "SIMCAMERA_LOG": windows_path(logs["stand-in"])}
            if layout.tree:
                env["USBCAMERA_DEVICE_TREE"] = windows_path(os.path.join(self.args.trees, layout.tree + ".tree"))
            if layout.serves == "stand-in":
                scenario = os.path.join(work, "scenario.ini")
                camera = (self.product.model, scenario_value("E:\\"), "camera", None)
                with open(scenario, "w", encoding="utf-8") as f:
                    f.write(scenario_text([camera, camera]))
                env["SIMCAMERA_SCENARIO"] = windows_path(scenario)
            if layout.serves == "recorded":
                card = Card(os.path.join(work, "card-E"), self.product, "folders")
                self.wine.map_drive("E", card.path)
            try:
                outcome = self.wine.run_with_harness(self.args.harness, os.path.join(folder, "fwupgrade.exe"),
                                                     env=env)
            finally:
                self.wine.unmap_drive("E")
            if outcome.problem:
                problems.append(outcome.problem)
            if outcome.exit_code != 0:
                problems.append(f"exit code {outcome.exit_code}, expected 0")
            values = dict(self.product.inserts("E"), empty="")
            problems += box_problems(Row("", layout.boxes), outcome.boxes, self, self.catalogue, ENGLISH, values)
            problems += self.served_problems(layout.serves, ComponentLog(logs["zip"]), ComponentLog(logs["stand-in"]))
            if card is not None:
                problems += [f"card E: {p}" for p in card.changes(True)]
            if tree_hashes(folder) != before:
                problems.append("the run changed the unzipped folder")
            after = self.entries()
            if after != registered:
                problems.append(f"the class's entries were {registered} before the run, {after} after it")
            if problems and outcome.output:
                problems.append("output:\n" + outcome.output.rstrip())
        finally:
            if card is not None:
                card.release()
            if layout.serves == "stand-in":
                self.wine.unregister(self.args.stand_in)
                left = self.entries()
                problems += [f"the stand-in's entry was not removed: {left}"] if left else []
        return problems

    @staticmethod
    def served_problems(serves, zip_log, stand_in_log):
        """The component that should serve did, and no other was loaded."""
        problems = []
        if serves != "stand-in" and stand_in_log.lines:
            problems.append(f"the stand-in was loaded: {stand_in_log.lines[:3]}")
        if serves in ("none", "stand-in") and zip_log.lines:
            problems.append(f"the zip's component was loaded: {zip_log.lines[:3]}")
        expected = {
            "zip": (zip_log, REACH + walk(0)),
            "stand-in": (stand_in_log, REACH + walk(2)),
            "recorded": (zip_log, REACH + walk(1) + SELECT + ["Camera GetModelName"]),
        }
        if serves in expected:
            log, calls = expected[serves]
            if log.calls() != calls:
                problems.append(f"component calls {log.calls()}, expected {calls}")
            if serves == "recorded" and log.destroyed() != SELECTED:
                problems.append(f"objects destroyed {log.destroyed()}, expected {SELECTED}")
            if serves != "stand-in" and log.leftovers() != "exit live=0":
                problems.append(f"component's account at unload: {log.leftovers()}, expected exit live=0")
        return problems

    # box_problems asks the platform how a text is shown: Windows shows it as it is.
    @staticmethod
    def as_shown(text):
        return text


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kind", required=True, choices=["win64", "wow64", "win32"])
    for option in ("--wine-run", "--prefix", "--zip-script", "--program", "--component", "--model-table",
                   "--recorded", "--renamed", "--other-width", "--stand-in", "--trees", "--harness", "--data-dir",
                   "--catalogue", "--work-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("--only", help="run only the rows whose name contains this")
    args = parser.parse_args()

    reason, whole_table = prepare_kind(args)
    if reason is not None:
        print(f"skipped: {reason}")
        return SKIPPED
    if os.path.exists(args.work_dir):
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)
    tally = Tally()
    try:
        run = UnzippedRun(args)
        run.forget_class()
        layouts = [layout for layout in LAYOUTS if whole_table or layout.every_kind]
        if not whole_table:
            print(f"{len(layouts)} of {len(LAYOUTS)} rows here: the whole table plays in this host's other x86 kind")
        for number, layout in enumerate(layouts, 1):
            if args.only and args.only not in layout.name:
                continue
            try:
                problems = run.play(layout, number)
            except (OSError, RuntimeError, subprocess.SubprocessError) as error:
                problems = [f"the row could not be played: {error}"]
            tally.record(layout.name, problems)
    except WineUnavailable as unavailable:
        print(unavailable)
        return SKIPPED
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
