#!/usr/bin/env python3
"""Makes the release package of one Windows build: a zip holding fwupgrade.exe, the
read-me for camera owners (ReadMe.txt beside this script, in each of the catalogue's
languages, with the build's model name, version label, package file name and size and the
catalogue's captions filled in) and SHA256SUMS, the checksums of every other file in the
form `sha256sum -c` reads; and the folder usbcamera/ with the USB camera component of the
same architecture (usbcamera.dll) and its id table (usb-models.txt).  Unzipped, the program
finds the component in that folder with nothing registered (its embedded manifest lends
it the class); a component lying loose beside the program is never loaded.

  release_zip.py --program fwupgrade.exe [--component usbcamera.dll --model-table usb-models.txt]
                 --data-dir <build>/resources/data --catalogue resources/Messages.rc
                 --output fwupgrade-windows-x86.zip

The same inputs give the same zip, byte for byte: the entries have a fixed order, a fixed
time and fixed attributes. The zip's own checksum is written beside it, as <zip>.sha256."""

import argparse
import hashlib
import locale
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "build", "resgen"))
from rcscript import ScriptError, read_ids, read_strings  # noqa: E402  (the build's own reader of the script)

# The earliest time a zip can hold; nothing of the build's own time goes in.
FIXED_TIME = (1980, 1, 1, 0, 0, 0)
# Where the program looks for its camera component: usbcamera\usbcamera.dll beside it
# (camera/CameraCalls.cpp).  Zip names and SHA256SUMS separate folders with "/".
COMPONENT_FOLDER = "usbcamera/"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def captions(catalogue):
    """{"caption_en": ..., ...}: the caption of every message box in each language of the
    catalogue, named by the language's ISO 639 code."""
    try:
        strings = read_strings(catalogue)
        # The ids' one home lies beside the catalogue.
        caption = read_ids(os.path.join(os.path.dirname(catalogue), "ResourceIds.h"))["IDS_CAPTION"]
    except ScriptError as error:
        sys.exit(f"release_zip: {error}")
    found = {}
    for (language, message), text in strings.items():
        if message == caption:
            found["caption_" + locale.windows_locale[language].split("_")[0]] = text
    return found


def windows_text(text):
    """Windows line ends, and a byte-order mark so that older Windows editors read it as
    UTF-8 too, for every text editor a camera owner may open it with."""
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8-sig")


def read_me(data_dir, catalogue):
    values = {
        **captions(catalogue),
        "model": read(os.path.join(data_dir, "ModelName.txt")).decode("ascii"),
        "version": read(os.path.join(data_dir, "VersionLabel.txt")).decode("ascii"),
        "package": read(os.path.join(data_dir, "PackageFileName.txt")).decode("ascii"),
        "kb": str(os.path.getsize(os.path.join(data_dir, "Payload.bin")) // 1000),
    }
    template = read(os.path.join(HERE, "ReadMe.txt")).decode("utf-8")
    for name in values:
        if name.startswith("caption_") and "{" + name + "}" not in template:
            sys.exit(f"release_zip: the read-me has no part in the language of {name} (no {{{name}}})")
    return windows_text(template.format(**values))


def entry(name, data):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.create_system = 0  # MS-DOS attributes, the same whatever the building host
    if name.endswith("/"):
        info.external_attr = 0x10  # a folder, as Windows' own zips list them
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0x20  # archive bit only
    return info, data


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--program", "--data-dir", "--catalogue", "--output"):
        parser.add_argument(option, required=True)
    parser.add_argument("--component")
    parser.add_argument("--model-table")
    args = parser.parse_args()
    if (args.component is None) != (args.model_table is None):
        parser.error("--component and --model-table go together")

    files = [("fwupgrade.exe", read(args.program)), ("ReadMe.txt", read_me(args.data_dir, args.catalogue))]
    if args.component:
        # The table as owners edit it on Windows; the component reads either line end.
        files += [(COMPONENT_FOLDER + "usbcamera.dll", read(args.component)),
                  (COMPONENT_FOLDER + "usb-models.txt", windows_text(read(args.model_table).decode("utf-8")))]
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    files.insert(2, ("SHA256SUMS", sums.encode("ascii")))
    if args.component:
        files.insert(3, (COMPONENT_FOLDER, b""))

    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    partial = args.output + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in files:
            info, data = entry(name, data)
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, args.output)
    zip_sum = hashlib.sha256(read(args.output)).hexdigest()
    with open(args.output + ".sha256", "w", encoding="ascii") as f:
        f.write(f"{zip_sum}  {os.path.basename(args.output)}\n")
    print(f"{args.output}: {os.path.getsize(args.output)} bytes, SHA-256 {zip_sum}")
    for line in sums.splitlines():
        print("  " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
