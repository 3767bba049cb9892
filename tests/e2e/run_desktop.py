#!/usr/bin/env python3
"""Whole-program tests of the POSIX program's desktop dialogs: the rows run on an X
server (Xvfb, openbox), every box a GTK dialog whose title is read with xprop and whose
text is read back from the screen with OCR; and the runs in which the box must fall back
to the terminal dialog. Prints each row's name with PASS or FAIL (and why), then
"N passed, M failed"; exits with 77 (skipped) when a tool the rows need is missing.

  run_desktop.py desktop|desktop-no-gtk --register platform/posix/register-plugin.sh
                 --screenshots DIR COMMON... [--only LABEL-PART]

desktop:        success (two boxes), Cancel at the confirmation by Escape, a Japanese run;
                the display lost at the confirmation and at the last box, by the X server
                or the dialog's client killed; a mount point of 3.6 KB in a box that must
                stay on the 1024x768 screen, read by scrolling and answered by clicking;
                and on the terminal: no display, a display GTK cannot open, a frozen X
                server and a socket that never answers (each within a deadline).
desktop-no-gtk: a display but no GTK library (hidden in a mount namespace of its own):
                the terminal dialog. Needs unshare and the right to bind-mount (root).
The confirmation's pictures, in English and Japanese, are kept in the screenshots folder.
COMMON: as run_e2e.py's.
"""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys

import rows
from card import CardError
from catalogue import Catalogue
from desktop import DesktopPlatform, DisplayUnavailable, SilentDisplay, XServer, missing_tools, ocr_languages
from player import PosixPlatform, play
from product import Product
from tally import Tally
from wine import SKIPPED

JAPANESE = ("ja_JP.UTF-8", 0x0411)
# The library the program loads, as the dynamic loader finds it.
GTK = "libgtk-3.so.0"
# A run on a display that never answers: the program waits a few seconds for it before it
# takes the terminal; without a deadline it would wait for ever.
NO_ANSWER_SECONDS = 20


def gtk_library_file():
    """The file the loader would open for GTK, or None where there is none."""
    result = subprocess.run(["/sbin/ldconfig", "-p"], capture_output=True, text=True)
    for line in result.stdout.splitlines():
        name, _, path = line.strip().partition(" => ")
        if name.split()[0] == GTK and "x86-64" in name:
            return os.path.realpath(path)
    return None


def hidden_gtk_launcher():
    """A command that starts the program in a mount namespace where GTK's library file is
    an empty file; None (with the reason) where that cannot be done here."""
    library = gtk_library_file()
    if library is None:
        return None, f"{GTK} is not installed, so it cannot be hidden"
    script = f'mount --bind /dev/null "{library}" && exec "$0"'
    probe = subprocess.run(["unshare", "--mount", "sh", "-c", script, "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        return None, f"cannot hide {GTK} in a mount namespace (needs root): {probe.stderr.strip()}"
    return ["unshare", "--mount", "sh", "-c", script], None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("suite", choices=["desktop", "desktop-no-gtk"])
    for option in ("--program", "--component", "--data-dir", "--catalogue", "--work-dir", "--register",
                   "--screenshots"):
        parser.add_argument(option, required=True)
    parser.add_argument("--only", help="run only the rows whose label contains this")
    args = parser.parse_args()

    missing = missing_tools()
    if missing:
        print(f"skipped: the desktop rows need {', '.join(missing)} (scripts/install-deps.sh installs them)")
        return SKIPPED
    if args.suite == "desktop" and not {"eng", "jpn"} <= ocr_languages():
        print("skipped: tesseract lacks its English or Japanese data (tesseract-ocr-eng, tesseract-ocr-jpn)")
        return SKIPPED
    launcher = None
    if args.suite == "desktop-no-gtk":
        launcher, reason = hidden_gtk_launcher()
        if launcher is None:
            print("skipped: " + reason)
            return SKIPPED

    product = Product(args.data_dir)
    catalogue = Catalogue(args.catalogue)
    if os.path.exists(args.work_dir):
        shutil.rmtree(args.work_dir)
    os.makedirs(args.work_dir)
    os.makedirs(args.screenshots, exist_ok=True)
    common = (args.program, args.component, args.register)

    try:
        with contextlib.ExitStack() as servers:
            server = servers.enter_context(XServer(args.work_dir))

            def folder_for(name):
                folder = os.path.join(args.work_dir, name)
                os.makedirs(folder)
                return folder

            def desktop(name, keep=None, loss=None, pointer=False, own_server=False):
                folder = folder_for(name)
                on = servers.enter_context(XServer(folder)) if own_server else server
                return DesktopPlatform(*common, folder, on, folder, keep, loss, pointer)

            def terminal(name, display=None, launcher=(), timeout_seconds=60):
                return PosixPlatform(*common, os.path.join(args.work_dir, name), display, launcher, timeout_seconds)

            def frozen_display():
                frozen = servers.enter_context(XServer(folder_for("frozen-server"), window_manager=False))
                frozen.freeze()
                return frozen.display

            if args.suite == "desktop":
                runs = [
                    ("dialogs: success", rows.SUCCESS, desktop("success", {1: "confirmation-en.png"}), None),
                    ("dialogs: cancel at the confirmation by Escape", rows.CANCEL, desktop("cancel"), None),
                    (f"dialogs, {JAPANESE[0]}: success", rows.SUCCESS,
                     desktop("japanese", {1: "confirmation-ja.png"}), JAPANESE),
                    ("dialogs: the X server killed at the confirmation", rows.LOST_AT_CONFIRMATION,
                     desktop("server-killed-first", loss="server", own_server=True), None),
                    ("dialogs: the X server killed at the last box", rows.LOST_AT_LAST_BOX,
                     desktop("server-killed-last", loss="server", own_server=True), None),
                    ("dialogs: the dialog's client killed at the confirmation", rows.LOST_AT_CONFIRMATION,
                     desktop("client-killed-first", loss="client"), None),
                    ("dialogs: the dialog's client killed at the last box", rows.LOST_AT_LAST_BOX,
                     desktop("client-killed-last", loss="client"), None),
                    ("dialogs: a 3.6 KB mount point, scrolled and clicked", rows.UNPLUGGED_FROM_LONG_MOUNT_POINT,
                     desktop("long-mount-point", pointer=True), None),
                    ("terminal, no display: success", rows.SUCCESS, terminal("no-display"), None),
                    ("terminal, a display GTK cannot open: success", rows.SUCCESS,
                     terminal("no-server", display=":99999"), None),
                    ("terminal, a frozen X server: success", rows.SUCCESS,
                     terminal("frozen-server", display=frozen_display(), timeout_seconds=NO_ANSWER_SECONDS), None),
                    ("terminal, a socket that never answers: success", rows.SUCCESS,
                     terminal("silent-socket", display=servers.enter_context(SilentDisplay()).display,
                              timeout_seconds=NO_ANSWER_SECONDS), None),
                ]
            else:
                runs = [("terminal, display but no GTK: success", rows.SUCCESS,
                         terminal("no-gtk", display=server.display, launcher=launcher), None)]
            tally = Tally()
            for number, (label, row, platform, language) in enumerate(runs, 1):
                if args.only and args.only not in label:
                    continue
                platform.prepare()
                extra = {} if language is None else {"locale": language[0], "language": language[1]}
                try:
                    problems = play(row, platform, product, catalogue, os.path.join(args.work_dir, f"row{number}"),
                                    **extra)
                except CardError as error:
                    problems = [str(error)]
                tally.record(label, problems)
            for platform in [run[2] for run in runs]:
                for picture in getattr(platform, "keep", {}).values():
                    for kept in (picture, "screen-" + picture):
                        if os.path.exists(os.path.join(platform.shots_dir, kept)):
                            shutil.copy(os.path.join(platform.shots_dir, kept), args.screenshots)
    except DisplayUnavailable as unavailable:
        print(f"FAIL {unavailable}")
        return 1
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
