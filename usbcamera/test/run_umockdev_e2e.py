#!/usr/bin/env python3
"""The whole POSIX program against the Linux camera component, inside umockdev-run: each
row fakes the system's USB devices with a device description and the mount table with a
mountinfo file whose mount points are real folders, runs fwupgrade on a pseudo-terminal,
answers its boxes, and checks the boxes, the card folder and the component's log.

  run_umockdev_e2e.py --program fwupgrade --component usbcamera.so --register register-plugin.sh
                      --devices DIR --data-dir <build>/resources/data --catalogue Messages.rc
                      --work-dir DIR

Prints one PASS/FAIL line per row and "N passed, M failed"; exits 77 without umockdev-run."""

import argparse
import os
import shutil
import subprocess
import sys
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import terminal  # noqa: E402
from card import Card  # noqa: E402
from catalogue import Catalogue  # noqa: E402
from player import ENGLISH, PosixPlatform, box_problems  # noqa: E402
from product import Product  # noqa: E402
from rows import CONFIRM, DONE, GONE_FROM_DRIVE, NO_CARD, SEVERAL  # noqa: E402
from simcamera import ComponentLog  # noqa: E402
from tally import Tally  # noqa: E402

SKIPPED = 77
# The USB device of the first camera in every description, and its card's volume.
FIRST_CAMERA = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1"


@dataclass
class Row:
    name: str
    device: str  # the device description (devices/<device>.umockdev)
    boxes: list
    mounted: dict = field(default_factory=lambda: {"8:17": "E"})  # device number -> card mounted there
    written: bool = False  # the package on card E, byte for byte
    cards: dict = field(default_factory=lambda: {"E": "folders"})
    unplug_before_answer: int = None
    folder: str = "MY CARD"  # the mount point's last name; a character '\udcXX' stands for the byte XX


ROWS = [
    Row("camera with a partitioned card, mount point with a space", "partitioned", [CONFIRM, DONE], written=True),
    Row("older package replaced", "partitioned", [CONFIRM, DONE], cards={"E": "existing"}, written=True),
    Row("card without a partition table", "whole-disk", [CONFIRM, DONE], mounted={"8:16": "E"}, written=True),
    Row("camera beside a memory stick of another model", "camera-and-stick", [CONFIRM, DONE],
        mounted={"8:17": "F", "8:33": "E"}, cards={"E": "folders", "F": "folders"}, written=True),
    Row("two cameras of the model", "two-cameras", [SEVERAL], mounted={"8:17": "E", "8:33": "F"},
        cards={"E": "folders", "F": "folders"}),
    Row("empty card slot", "no-medium", [CONFIRM, NO_CARD], mounted={}),
    Row("card never mounted, no udisksctl", "partitioned", [CONFIRM, NO_CARD], mounted={}),
    Row("camera unplugged while the confirmation is open", "partitioned", [CONFIRM, GONE_FROM_DRIVE],
        unplug_before_answer=1),
    # Mount points are bytes: a volume label in Latin-1 is not UTF-8, and is still the card.
    Row("mount point that is not UTF-8", "partitioned", [CONFIRM, DONE], written=True, folder="CAF\udcc9 \udce9t\udce9"),
    # A mount point the program refuses (a backslash would be a separator to it): message
    # 135 still names the drive.
    Row("mount point the program refuses", "partitioned", [GONE_FROM_DRIVE], folder="MY\\CARD"),
    # Control characters in a mount point reach the terminal shown, never sent: a title
    # change, a bell, a screen clear.
    Row("mount point holding control characters", "partitioned", [CONFIRM, GONE_FROM_DRIVE], unplug_before_answer=1,
        folder="\x1b]0;OWNED\x07\x1b[2J"),
]


def mountinfo_path(path):
    return path.replace("\\", "\\134").replace(" ", "\\040").replace("\t", "\\011").replace("\n", "\\012")


def play(row, args, product, catalogue, platform, umockdev_run, work):
    os.makedirs(work)
    for letter in row.cards:
        os.makedirs(os.path.join(work, f"media {letter}"))
    cards = {letter: Card(os.path.join(work, f"media {letter}", row.folder), product, layout)
             for letter, layout in row.cards.items()}
    table = os.path.join(work, "mountinfo")
    with open(table, "w", errors="surrogateescape") as f:
        f.write("22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n")
        for number, (device, letter) in enumerate(row.mounted.items()):
            f.write(f"{40 + number} 22 {device} / {mountinfo_path(cards[letter].path)} rw,relatime shared:9 "
                    f"- vfat /dev/sdx rw\n")
    log = os.path.join(work, "usbcamera.log")
    mock_root = os.path.join(work, "umockdev-dir")
    no_programs = os.path.join(work, "no-programs")
    os.makedirs(no_programs)
    # Inside the mock: put the mount table in place, note where the mock lives (to unplug
    # the camera from it), then become the program, with no udisksctl on its PATH.
    inner = ('mkdir -p "$UMOCKDEV_DIR/proc/self" && cp "$1" "$UMOCKDEV_DIR/proc/self/mountinfo" && '
             'printf %s "$UMOCKDEV_DIR" > "$2" && PATH="$3" exec "$4"')
    argv = [umockdev_run, "--device", os.path.join(args.devices, row.device + ".umockdev"), "--",
            "/bin/sh", "-c", inner, "sh", table, mock_root, no_programs, args.program]
    env = dict(os.environ, LC_ALL="C.UTF-8", USBCAMERA_LOG=log, POSIXCOM_REGISTRY=platform.registry,
               ASAN_OPTIONS="verify_asan_link_order=0")

    def before_answer(box):
        if box == row.unplug_before_answer:
            with open(mock_root) as f:
                device = os.path.join(f.read(), FIRST_CAMERA)
            shutil.rmtree(device)

    outcome = terminal.run_in_terminal(argv, env, (), before_answer)
    problems = [outcome.problem] if outcome.problem else []
    if outcome.exit_code != 0:
        problems.append(f"exit code {outcome.exit_code}, expected 0")
    values = dict(product.inserts(platform.drive_letter("E", cards["E"])), empty="")
    problems += box_problems(row, outcome.boxes, platform, catalogue, ENGLISH, values)
    for letter, card in cards.items():
        problems += [f"card {letter}: {p}" for p in card.changes(row.written and letter == "E")]
        card.release()
    component = ComponentLog(log)
    if component.leftovers() != "exit live=0":
        problems.append(f"component's account at unload: {component.leftovers()}, expected exit live=0")
    if problems and outcome.output:
        problems.append("output:\n" + outcome.output.rstrip())
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--program", "--component", "--register", "--devices", "--data-dir", "--catalogue", "--work-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("--only", help="run only the rows whose name contains this")
    args = parser.parse_args()
    umockdev_run = shutil.which("umockdev-run")
    if umockdev_run is None:
        print("SKIPPED: umockdev-run is not installed (Debian package umockdev)")
        return SKIPPED
    if os.path.exists(args.work_dir):
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)
    product = Product(args.data_dir)
    catalogue = Catalogue(args.catalogue)
    platform = PosixPlatform(args.program, args.component, args.register, args.work_dir)
    platform.prepare()
    tally = Tally()
    for number, row in enumerate(ROWS, 1):
        if args.only and args.only not in row.name:
            continue
        problems = play(row, args, product, catalogue, platform, umockdev_run,
                        os.path.join(args.work_dir, f"row{number}"))
        tally.record(row.name, problems)
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
