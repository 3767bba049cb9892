#!/usr/bin/env python3
"""Makes the Debian package of the POSIX program from a configured and built tree:
installs it into a staging folder (cmake --install, DESTDIR), strips the programs,
compresses the manual page, writes the changelog, the control file and the checksums,
and builds <output>/fwupgrade_<version>_<arch>.deb with dpkg-deb.

  make_deb.py --build DIR --prefix /usr --version V --maintainer "NAME <ADDRESS>"
              --summary TEXT --staging DIR --output DIR

The package is the same, byte for byte, whenever it is made from the same build: every
file's time is SOURCE_DATE_EPOCH (from the environment, else the time of the source
tree's last commit), owners are root, modes are fixed, compression carries no time.
Prints the package's path.
"""

import argparse
import gzip
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

PACKAGE = "fwupgrade"
SOURCE = os.path.dirname(os.path.abspath(__file__))
ELF = b"\x7fELF"


def run(argv, **kwargs):
    return subprocess.run(argv, check=True, **kwargs)


def source_date_epoch():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    result = subprocess.run(["git", "-C", SOURCE, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout.strip():
        sys.exit("make_deb: set SOURCE_DATE_EPOCH: the sources are not in a git checkout")
    return int(result.stdout.strip())


def files_below(root):
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            yield os.path.join(folder, name)


def is_elf(path):
    with open(path, "rb") as f:
        return f.read(4) == ELF


def compress(path, target, epoch):
    """gzip -9n: no name, and the fixed time."""
    with open(path, "rb") as f:
        data = f.read()
    with open(target, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=epoch) as f:
            f.write(data)


def changelog(version, maintainer, epoch):
    date = time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime(epoch))
    return (f"{PACKAGE} ({version}) unstable; urgency=medium\n\n"
            f"  * Release {version}.\n\n"
            f" -- {maintainer}  {date}\n").encode("utf-8")


def shared_library_depends(staging, binaries):
    """The Depends field dpkg-shlibdeps works out for the programs and plugins."""
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "debian"))
        with open(os.path.join(work, "debian", "control"), "w") as f:
            f.write(f"Source: {PACKAGE}\n\nPackage: {PACKAGE}\nArchitecture: any\n")
        result = run(["dpkg-shlibdeps", "-O"] + ["-e" + os.path.join(staging, b) for b in binaries],
                     cwd=work, capture_output=True, text=True)
    for line in result.stdout.splitlines():
        if line.startswith("shlibs:Depends="):
            return line.split("=", 1)[1]
    sys.exit("make_deb: dpkg-shlibdeps named no dependencies")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--build", "--prefix", "--version", "--maintainer", "--summary", "--staging", "--output"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    epoch = source_date_epoch()
    arch = run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()

    staging = os.path.abspath(args.staging)
    if os.path.exists(staging):
        shutil.rmtree(staging)
    os.makedirs(staging)
    run(["cmake", "--install", args.build, "--prefix", args.prefix], env=dict(os.environ, DESTDIR=staging),
        stdout=subprocess.DEVNULL)

    doc = os.path.join(staging, args.prefix.lstrip("/"), "share", "doc", PACKAGE)
    os.makedirs(doc, exist_ok=True)
    with open(os.path.join(doc, "changelog.gz"), "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=epoch) as f:
            f.write(changelog(args.version, args.maintainer, epoch))

    binaries = []
    for path in list(files_below(staging)):
        relative = os.path.relpath(path, staging)
        if "/share/man/" in "/" + relative and not path.endswith(".gz"):
            compress(path, path + ".gz", epoch)
            os.remove(path)
        elif is_elf(path):
            binaries.append(relative)
            # As dh_strip: no symbols beyond the dynamic ones, no compiler notes.
            run(["strip", "--remove-section=.comment", "--remove-section=.note"]
                + ([] if relative.startswith(args.prefix.lstrip("/") + "/bin/") else ["--strip-unneeded"]) + [path])

    sums = []
    size = 0
    for folder, folders, names in os.walk(staging):
        os.chmod(folder, 0o755)
        for name in names:
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, staging)
            executable = relative.startswith(args.prefix.lstrip("/") + "/bin/")
            os.chmod(path, 0o755 if executable else 0o644)
            with open(path, "rb") as f:
                data = f.read()
            sums.append(f"{hashlib.md5(data).hexdigest()}  {relative}\n")
            size += (len(data) + 1023) // 1024
        size += 1
    control_dir = os.path.join(staging, "DEBIAN")
    os.makedirs(control_dir)
    with open(os.path.join(control_dir, "md5sums"), "w") as f:
        f.writelines(sorted(sums))
    with open(os.path.join(control_dir, "control"), "w", encoding="utf-8") as f:
        f.write(f"Package: {PACKAGE}\n"
                f"Version: {args.version}\n"
                f"Architecture: {arch}\n"
                f"Maintainer: {args.maintainer}\n"
                f"Installed-Size: {size}\n"
                f"Depends: {shared_library_depends(staging, binaries)}\n"
                f"Recommends: libgtk-3-0\n"
                f"Section: utils\n"
                f"Priority: optional\n"
                f"Description: {args.summary}\n"
                " Writes the camera's firmware upgrade package onto its memory card, over USB,\n"
                " once the owner has confirmed. The camera applies the upgrade at its next start.\n"
                " With GTK 3 installed its messages are desktop dialogs; otherwise they are\n"
                " shown on the terminal.\n")
    os.chmod(control_dir, 0o755)
    for path in files_below(control_dir):
        os.chmod(path, 0o644)
    for folder, _, names in os.walk(staging):
        for name in names:
            os.utime(os.path.join(folder, name), (epoch, epoch), follow_symlinks=False)
        os.utime(folder, (epoch, epoch))

    os.makedirs(args.output, exist_ok=True)
    package = os.path.join(args.output, f"{PACKAGE}_{args.version}_{arch}.deb")
    run(["dpkg-deb", "--root-owner-group", "-Zxz", "--build", staging, package],
        env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)), stdout=subprocess.DEVNULL)
    print(package)


if __name__ == "__main__":
    main()
