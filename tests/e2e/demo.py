#!/usr/bin/env python3
"""The utility end to end against the simulated camera, for a person to watch (scripts/demo.sh
builds what it needs and calls this).

  demo.py windows --build-dir build/windows-x86 [--arch win32|win64]
                                                  fwupgrade.exe under Wine; every box is
                                                  printed and answered OK
  demo.py posix --build-dir build/native          the POSIX fwupgrade in this terminal

Either way one camera of the model is connected, with a card holding the package folders,
and the package written is then compared with the payload byte for byte."""

import argparse
import os
import subprocess
import sys
import textwrap

import rows
from player import PosixPlatform, Stage, WindowsPlatform
from product import Product

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


BUTTONS = {"ok": "OK", "cancel": "Cancel"}


def show_box(number, box):
    buttons = " ".join("[" + BUTTONS[b] + "]" for b in box.buttons)
    print(f"\n--- message box {number} " + "-" * 50)
    print(f"caption: {box.caption}")
    print(textwrap.indent(box.text.replace("\r\n", "\n"), "    "))
    print(f"buttons: {buttons}    answered: {BUTTONS[box.answer]}")


def verdict(card, product):
    problems = card.changes(package_written=True)
    print()
    if not problems:
        print(f"The package {card.package_path()} ({len(product.payload)} bytes) is the payload, byte for byte,")
        print("alone in its folder: no staging file is left.")
        print("It was verified on the card: fwupgrade read the staged file back past the system's cache and")
        print("compared it with the payload before moving it into place and reporting success.")
        print("Verdict: OK, the package was written and verified on the card")
        return 0
    if not os.path.exists(card.package_path()):
        print(f"No package was written to {card.package_path()}.")
    else:
        for problem in problems:
            print("  " + problem)
    print("Verdict: NOT WRITTEN AS EXPECTED")
    return 1


def windows(build_dir, product, work_dir, arch):
    platform = WindowsPlatform(os.path.join(SOURCE, "cmake", "wine-run.sh"), os.path.join(build_dir, "demo-prefix"),
                               arch, os.path.join(build_dir, "app", "fwupgrade.exe"),
                               os.path.join(build_dir, "tools", "harness", "boxharness", "boxharness.exe"),
                               os.path.join(build_dir, "simcamera", "simcamera.dll"))
    print(f"Preparing the Wine prefix {platform.wine.prefix} and registering the simulated camera ...")
    platform.prepare()
    with Stage(rows.SUCCESS, platform, product, work_dir, locale=None) as stage:
        card = stage.cards["E"]
        print(f"Card folder {card.path} is drive E:, with Current\\Firmware on it.")
        print(f"Connected: one \"{product.model}\" whose drive is E:\\.")
        print("Running fwupgrade.exe; each message box is answered OK.", flush=True)
        outcome = platform.run(rows.SUCCESS, stage.env, stage.marker)
        for number, box in enumerate(outcome.boxes, 1):
            show_box(number, box)
        if outcome.problem:
            print("\n" + outcome.problem)
        print(f"\nfwupgrade.exe exited with {outcome.exit_code}.")
        return verdict(card, product)


def posix(build_dir, product, work_dir):
    platform = PosixPlatform(os.path.join(build_dir, "app", "fwupgrade"),
                             os.path.join(build_dir, "simcamera", "simcamera.so"),
                             os.path.join(SOURCE, "platform", "posix", "register-plugin.sh"), work_dir + "-com")
    platform.prepare()
    with Stage(rows.SUCCESS, platform, product, work_dir, locale=None) as stage:
        card = stage.cards["E"]
        print(f"Card folder {card.path}/, with Current/Firmware in it; connected: one \"{product.model}\".")
        print("Each message box waits for you: Enter is OK, Escape or c is Cancel.", flush=True)
        result = subprocess.run([platform.program], env=platform.environment(stage.env, registered=True))
        print(f"\nfwupgrade exited with {result.returncode}.")
        return verdict(card, product)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("platform", choices=["windows", "posix"])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--arch", choices=["win32", "win64"], default="win32", help="the Windows build's architecture")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    product = Product(os.path.join(build_dir, "resources", "data"))
    work_dir = os.path.join(build_dir, "demo")
    if args.platform == "windows":
        return windows(build_dir, product, work_dir, args.arch)
    return posix(build_dir, product, work_dir)


if __name__ == "__main__":
    sys.exit(main())
