#!/usr/bin/env python3
"""The release package: made twice from the same build, more than the two seconds of a
zip's time stamp apart, the two zips are the same byte for byte and no entry carries the
time it was made; the zip holds exactly, at its top, fwupgrade.exe (the built program
itself), ReadMe.txt (every placeholder filled, Windows line ends) and SHA256SUMS (the right
checksum of every other file, by its path in the zip); and, when the arguments name them,
the folder usbcamera/ with usbcamera.dll (the built component itself) and usb-models.txt
(the built id table, Windows line ends), where the program looks for its component; the
zip's own checksum file beside it is right too. Prints what it checked; exit 1 on a fault.

  check_release_zip.py --script tools/packaging/release/release_zip.py --work-dir DIR
                       -- <release_zip.py arguments but --output>"""

import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile


def main():
    args = sys.argv[1:]
    split = args.index("--")
    options = dict(zip(args[:split:2], args[1:split:2]))
    script, work, make_args = options["--script"], options["--work-dir"], args[split + 1:]
    given = dict(zip(make_args[::2], make_args[1::2]))
    program = given["--program"]
    shutil.rmtree(work, ignore_errors=True)
    zips = [os.path.join(work, run, "fwupgrade.zip") for run in ("first", "second")]
    for number, path in enumerate(zips):
        if number > 0:
            time.sleep(2.1)
        subprocess.run([sys.executable, script, *make_args, "--output", path], check=True, stdout=subprocess.DEVNULL)

    problems = []
    with open(zips[0], "rb") as a, open(zips[1], "rb") as b:
        if a.read() != b.read():
            problems.append("two runs made different zips")
    with zipfile.ZipFile(zips[0]) as archive:
        names = archive.namelist()
        files = {name: archive.read(name) for name in names}
        times = {info.date_time for info in archive.infolist()}
    if times != {(1980, 1, 1, 0, 0, 0)}:
        problems.append(f"the entries carry the times {sorted(times)}, not the fixed 1980-01-01 00:00")
    component = ["usbcamera/usbcamera.dll", "usbcamera/usb-models.txt"] if "--component" in given else []
    shipped = ["fwupgrade.exe", "ReadMe.txt"] + component
    expected_names = shipped[:2] + ["SHA256SUMS"] + (["usbcamera/"] if component else []) + component
    if names != expected_names:
        problems.append(f"the zip holds {names}, expected {expected_names}")
    with open(program, "rb") as f:
        if files.get("fwupgrade.exe") != f.read():
            problems.append("fwupgrade.exe in the zip is not the built program")
    if "--component" in given:
        with open(given["--component"], "rb") as f:
            if files.get("usbcamera/usbcamera.dll") != f.read():
                problems.append("usbcamera.dll in the zip is not the built component")
        with open(given["--model-table"], "rb") as f:
            table = f.read().decode("utf-8").replace("\n", "\r\n")
        if files.get("usbcamera/usb-models.txt", b"").decode("utf-8-sig") != table:
            problems.append("usb-models.txt in the zip is not the built table with Windows line ends")
    read_me = files.get("ReadMe.txt", b"").decode("utf-8")
    if "{" in read_me or "}" in read_me:
        problems.append("the read-me has a placeholder left")
    if read_me.replace("\r\n", "").count("\n") != 0:
        problems.append("the read-me has a line end that is not CR LF")
    expected_sums = "".join(f"{hashlib.sha256(files.get(n, b'')).hexdigest()}  {n}\n" for n in shipped)
    if files.get("SHA256SUMS", b"").decode("ascii") != expected_sums:
        problems.append(f"SHA256SUMS is {files.get('SHA256SUMS')!r}, expected {expected_sums!r}")
    with open(zips[0], "rb") as f:
        zip_sum = f"{hashlib.sha256(f.read()).hexdigest()}  fwupgrade.zip\n"
    with open(zips[0] + ".sha256") as f:
        if f.read() != zip_sum:
            problems.append("the zip's checksum file is wrong")

    for problem in problems:
        print("FAIL " + problem)
    if problems:
        return 1
    print(f"PASS the same zip twice ({os.path.getsize(zips[0])} bytes); its files and checksums are right")
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
