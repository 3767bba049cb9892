#!/usr/bin/env python3
"""Whole-program tests: runs the rows of rows.py against the built fwupgrade and prints
each row's name with PASS or FAIL (and why), then "N passed, M failed".

  run_e2e.py windows|windows-signed|windows-languages|windows-volumes --wine-run cmake/wine-run.sh --prefix DIR --arch win32|win64
             --harness boxharness.exe COMMON...
  run_e2e.py posix|posix-languages|posix-volumes|posix-root --register platform/posix/register-plugin.sh COMMON...

COMMON: --program fwupgrade[.exe] --component simcamera.{dll,so} --data-dir <build>/resources/data
        --catalogue resources/Messages.rc --work-dir DIR [--only NAME-PART]

The volumes suites play the rows whose card is a file system of its own (a size-limited
tmpfs, a loop-mounted ext2), which only root can mount: run otherwise, they print
"e2e: skipped: REASON" and end with 77, which CTest reports as skipped. So does the
posix-root suite, whose rows run the program as root against another user's links.
"""

import argparse
import locale as pylocale
import os
import shutil
import subprocess
import sys

import rows
from card import CardError, CardUnavailable
from catalogue import Catalogue
from player import PosixPlatform, WindowsPlatform, play
from product import Product
from tally import Tally
from wine import SKIPPED, WineUnavailable


def unmount_below(folder):
    """Cards of an interrupted earlier run may still be mounted there."""
    folder = os.path.abspath(folder) + "/"
    with open("/proc/mounts") as mounts:
        points = [line.split()[1] for line in mounts if line.split()[1].startswith(folder)]
    for point in sorted(points, reverse=True):
        subprocess.run(["umount", point], check=False)


def plan(suite, catalogue):
    """(label, row, locale or None, language) for each run of the suite."""
    if suite == "windows":
        return [(row.name, row, None, None) for row in rows.WINDOWS]
    if suite == "windows-signed":
        return [(row.name, row, None, None) for row in rows.SIGNED]
    if suite == "posix":
        return [(row.name, row, None, None) for row in rows.POSIX]
    if suite == "windows-volumes":
        return [(row.name, row, None, None) for row in rows.WINDOWS_VOLUMES]
    if suite == "posix-volumes":
        return [(row.name, row, None, None) for row in rows.POSIX_VOLUMES]
    if suite == "posix-root":
        return [(row.name, row, None, None) for row in rows.POSIX_ROOT]
    runs = []
    if suite == "posix-languages":
        for locale, language in rows.posix_languages(catalogue):
            if locale_installed(locale):
                print(f"note: {locale} is installed here, so its rows do not show the fallback for an absent locale")
            for row in rows.LANGUAGE_ROWS:
                runs.append((f"{locale}: {row.name}", row, locale, language))
        return runs
    for locale, language in rows.languages(catalogue):
        for row in rows.LANGUAGE_ROWS + rows.EXTRA_LANGUAGE_ROWS.get(locale, []):
            runs.append((f"{locale}: {row.name}", row, locale, language))
    return runs


def locale_installed(name):
    try:
        pylocale.setlocale(pylocale.LC_CTYPE, name)
    except pylocale.Error:
        return False
    finally:
        pylocale.setlocale(pylocale.LC_CTYPE, "C")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("suite", choices=["windows", "windows-signed", "windows-languages", "windows-volumes", "posix",
                                          "posix-languages", "posix-volumes", "posix-root"])
    for option in ("--program", "--component", "--data-dir", "--catalogue", "--work-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("--wine-run")
    parser.add_argument("--prefix")
    parser.add_argument("--arch", choices=["win32", "win64"])
    parser.add_argument("--harness")
    parser.add_argument("--register")
    parser.add_argument("--only", help="run only the rows whose label contains this")
    args = parser.parse_args()

    if args.suite.startswith("posix"):
        if not args.register:
            parser.error("posix needs --register")
    elif not (args.wine_run and args.prefix and args.arch and args.harness):
        parser.error("the Windows suites need --wine-run, --prefix, --arch and --harness")

    if args.suite.endswith("-volumes") and os.geteuid() != 0:
        print("e2e: skipped: the cards of these rows are file systems of their own, which only root can mount")
        return SKIPPED
    if args.suite == "posix-root" and os.geteuid() != 0:
        print("e2e: skipped: these rows run the program as root, meeting another user's links")
        return SKIPPED

    product = Product(args.data_dir)
    catalogue = Catalogue(args.catalogue)
    if os.path.exists(args.work_dir):
        unmount_below(args.work_dir)
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)

    if args.suite.startswith("posix"):
        platform = PosixPlatform(args.program, args.component, args.register, args.work_dir)
    else:
        platform = WindowsPlatform(args.wine_run, args.prefix, args.arch, args.program, args.harness, args.component)
    try:
        platform.prepare()
    except WineUnavailable as unavailable:
        print(unavailable)
        return SKIPPED

    tally = Tally()
    for number, (label, row, locale, language) in enumerate(plan(args.suite, catalogue), 1):
        if args.only and args.only not in label:
            continue
        extra = {} if locale is None else {"locale": locale, "language": language}
        try:
            problems = play(row, platform, product, catalogue, os.path.join(args.work_dir, f"row{number}"), **extra)
        except CardUnavailable as error:
            problems = [f"{error}: the row belongs to a volumes suite"]
        except CardError as error:
            problems = [str(error)]
        tally.record(label, problems)
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
