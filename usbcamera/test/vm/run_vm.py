#!/usr/bin/env python3
"""The POSIX fwupgrade with the Linux camera component in a QEMU virtual machine: Debian's
own kernel, its USB (xHCI, usb-storage) and FAT drivers, a busybox initramfs, and a FAT32
card image on an emulated USB mass-storage device.  The host answers every message box
over the serial console, and after the machine powers off checks the card image with
mtools.

  run_vm.py --build-dir build/native --catalogue resources/Messages.rc [--cache DIR]
            [--only CASE] [--show]

The kernel package is downloaded once (apt-get download) into the cache (default
.cache/vm in the source tree) and kept there.  --show prints the console as it comes, for
a person to watch.  Exits 77 (skipped) with the reason when QEMU, busybox, mtools or the
kernel cannot be had."""

import argparse
import glob
import gzip
import hashlib
import os
import shutil
import stat
import subprocess
import sys
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import terminal  # noqa: E402
from catalogue import Catalogue  # noqa: E402
from player import ENGLISH, box_problems  # noqa: E402
from product import Product  # noqa: E402
from rows import CONFIRM, DONE, FAILED, NO_CARD  # noqa: E402
from tally import Tally  # noqa: E402

SKIPPED = 77
CLSID = "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}"
# QEMU's emulated USB disk reports this id; the machine's id table names it the model.
QEMU_DISK_ID = "46f4:0001"
# The drivers, each loaded after the modules it depends on.
MODULES = ["xhci-pci", "usb-storage", "sd_mod", "vfat", "nls_cp437", "nls_ascii", "nls_utf8"]
GCONV = "/usr/lib/x86_64-linux-gnu/gconv"
CARD_MIB = 64
PARTITION_OFFSET = 1024 * 1024
OLDER = b"an older package " * 4096


class Skip(Exception):
    pass


class Case:
    def __init__(self, name, boxes, layout="partitioned", older=False, written=False):
        self.name = name
        self.boxes = boxes
        self.layout = layout  # partitioned | whole-disk | empty-slot
        self.older = older  # an older package on the card before the run
        self.written = written  # the package on the card afterwards, byte for byte


CASES = [
    Case("partitioned", [CONFIRM, DONE], written=True),
    Case("replace-older", [CONFIRM, DONE], older=True, written=True),
    Case("whole-disk", [CONFIRM, DONE], layout="whole-disk", written=True),
    Case("empty-slot", [CONFIRM, NO_CARD], layout="empty-slot"),
    Case("read-only", [CONFIRM, FAILED], older=True),
]


def run(argv, **options):
    return subprocess.run(argv, check=True, capture_output=True, **options)


def need(program, package):
    path = shutil.which(program)
    if path is None:
        raise Skip(f"{program} is not installed (Debian package {package})")
    return path


def kernel(cache):
    """The extracted kernel package: (vmlinuz, modules folder)."""
    os.makedirs(cache, exist_ok=True)
    packages = glob.glob(os.path.join(cache, "linux-image-*-amd64_*.deb"))
    if not packages:
        depends = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], capture_output=True, text=True)
        names = [line.split()[1] for line in depends.stdout.splitlines() if line.strip().startswith("Depends: linux-image-")]
        if not names:
            raise Skip("apt-cache does not know linux-image-amd64 (no Debian package lists?)")
        download = subprocess.run(["apt-get", "download", names[0]], cwd=cache, capture_output=True, text=True)
        packages = glob.glob(os.path.join(cache, "linux-image-*-amd64_*.deb"))
        if download.returncode != 0 or not packages:
            raise Skip(f"apt-get download {names[0]} failed: {download.stderr.strip()}")
    package = sorted(packages)[-1]
    tree = package[:-len(".deb")]
    if not os.path.isdir(tree):
        run(["dpkg-deb", "-x", package, tree + ".part"])
        os.rename(tree + ".part", tree)
    vmlinuz = glob.glob(os.path.join(tree, "boot", "vmlinuz-*"))[0]
    return vmlinuz, glob.glob(os.path.join(tree, "lib", "modules", "*"))[0]


def add_module(tree, name, root, order):
    """Copies module `name` and, first, the modules it depends on (its depends= tag);
    `order` receives their names in a loadable order."""
    if name in order:
        return
    matches = [path for pattern in {name, name.replace("_", "-"), name.replace("-", "_")}
               for path in glob.glob(os.path.join(tree, "kernel", "**", pattern + ".ko"), recursive=True)]
    if not matches:
        raise Skip(f"the kernel package has no module {name}")
    with open(matches[0], "rb") as f:
        content = f.read()
    start = content.find(b"\0depends=")
    if start >= 0:
        end = content.index(b"\0", start + 1)
        for dependency in content[start + len(b"\0depends="):end].decode().split(","):
            if dependency:
                add_module(tree, dependency, root, order)
    shutil.copy(matches[0], os.path.join(root, "modules", name + ".ko"))
    order.append(name)


def libraries(program):
    """The shared libraries `program` loads, with the loader, as ldd lists them."""
    found = []
    for line in run(["ldd", program], text=True).stdout.splitlines():
        for word in line.split():
            if word.startswith("/"):
                found.append(word)
    return found


def initramfs(work, build_dir, vmlinuz_modules, product):
    """A gzip'd cpio archive with busybox, the drivers, fwupgrade, the component and the
    locale data the program needs to show its texts."""
    root = os.path.join(work, "root")
    for folder in ("bin", "proc", "sys", "dev", "media", "modules", "root", "opt/fwupgrade", "etc"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    shutil.copy(need("busybox", "busybox-static"), os.path.join(root, "bin", "busybox"))
    order = []
    for module in MODULES:
        add_module(vmlinuz_modules, module, root, order)
    with open(os.path.join(root, "modules", "order"), "w") as f:
        f.write("\n".join(order) + "\n")
    program = os.path.join(build_dir, "app", "fwupgrade")
    plugin = os.path.join(build_dir, "usbcamera", "usbcamera.so")
    shutil.copy(program, os.path.join(root, "opt", "fwupgrade"))
    shutil.copy(plugin, os.path.join(root, "opt", "fwupgrade"))
    # The build's table, and QEMU's disk as a camera of the model.
    with open(os.path.join(build_dir, "usbcamera", "usb-models.txt")) as f:
        table = f.read()
    with open(os.path.join(root, "opt", "fwupgrade", "usb-models.txt"), "w") as f:
        f.write(table + f"{QEMU_DISK_ID}  {product.model}\n")
    for library in set(libraries(program) + libraries(plugin)):
        target = os.path.join(root, library.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(library, target)
    # Without the converters' list and the C.UTF-8 locale every box would be blank; of
    # the converters themselves only the Unicode ones are used.
    shutil.copytree("/usr/lib/locale/C.utf8", os.path.join(root, "usr/lib/locale/C.utf8"))
    shutil.copytree(GCONV, os.path.join(root, GCONV.lstrip("/")),
                    ignore=lambda folder, names: [n for n in names if n.endswith(".so") and
                                                  not n.startswith(("UTF-", "UNICODE"))])
    entry = os.path.join(root, "etc", "posixcom", "CLSID", CLSID)
    os.makedirs(entry)
    with open(os.path.join(entry, "InprocServer32"), "w") as f:
        f.write("/opt/fwupgrade/usbcamera.so\n")
    shutil.copy(os.path.join(os.path.dirname(__file__), "init.sh"), os.path.join(root, "init"))
    os.chmod(os.path.join(root, "init"), 0o755)
    names = subprocess.run(["find", "."], cwd=root, check=True, capture_output=True).stdout
    archive = run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root, input=names).stdout
    path = os.path.join(work, "initramfs.cpio.gz")
    with gzip.open(path, "wb", compresslevel=1) as f:
        f.write(archive)
    return path


def make_card(work, case, product):
    """The card image: FAT32 named MY CARD, with Current/Firmware (and an older package)."""
    image = os.path.join(work, f"{case.name}.img")
    with open(image, "wb") as f:
        f.truncate(CARD_MIB * 1024 * 1024)
    target = image
    if case.layout == "partitioned":
        run(["sfdisk", "--quiet", image], input=b"label: dos\nstart=2048, type=c\n")
        run(["mkfs.vfat", "-F", "32", "-n", "MY CARD", "--offset", str(PARTITION_OFFSET // 512), image,
             str((CARD_MIB * 1024 * 1024 - PARTITION_OFFSET) // 1024)])
        target = f"{image}@@{PARTITION_OFFSET}"
    else:
        run(["mkfs.vfat", "-F", "32", "-n", "MY CARD", image])
    run(["mmd", "-i", target, "::Current", "::Current/Firmware"])
    if case.older:
        older = os.path.join(work, "older.fw")
        with open(older, "wb") as f:
            f.write(OLDER)
        run(["mcopy", "-i", target, older, f"::Current/Firmware/{product.package_name}"])
    return image, target


def card_problems(case, target, product, work):
    """The card after the run: the package byte for byte (or the older one untouched), and
    no staging file."""
    problems = []
    listing = run(["mdir", "-b", "-i", target, "::Current/Firmware"], text=True).stdout.split()
    names = sorted(os.path.basename(name.rstrip("/")) for name in listing)
    expected = [product.package_name] if case.written or case.older else []
    if names != expected:
        problems.append(f"Current/Firmware holds {names}, expected {expected}")
    if product.package_name in names:
        copy = os.path.join(work, case.name + ".fw")
        run(["mcopy", "-n", "-i", target, f"::Current/Firmware/{product.package_name}", copy])
        with open(copy, "rb") as f:
            content = f.read()
        wanted = product.payload if case.written else OLDER
        if content != wanted:
            problems.append(f"the package on the card ({len(content)} bytes, sha256 "
                            f"{hashlib.sha256(content).hexdigest()[:12]}) is not the "
                            f"{'payload' if case.written else 'older package'} ({len(wanted)} bytes)")
    return problems


class Row:
    def __init__(self, boxes):
        self.boxes = boxes


class Console:
    """What the serial console shows, for box_problems: texts as the terminal prints them."""

    @staticmethod
    def as_shown(text):
        return terminal.as_printed(text)


def boot(qemu, vmlinuz, initrd, case, image, show, timeout_seconds=240):
    """Runs the machine; answers each box OK.  Returns (boxes, console text, problem)."""
    if case.layout == "empty-slot":
        drive = ["-drive", "if=none,id=empty", "-device", "usb-storage,drive=empty,removable=on"]
    else:
        drive = ["-drive", f"if=none,id=card,format=raw,file={image}",
                 "-device", "usb-storage,drive=card,serial=RQ5600CARD"]
    argv = [qemu, "-m", "512", "-nodefaults", "-no-reboot", "-display", "none", "-serial", "stdio",
            "-kernel", vmlinuz, "-initrd", initrd,
            "-append", f"console=ttyS0 quiet loglevel=0 panic=-1 fwcase={case.name}",
            "-device", "qemu-xhci"] + drive
    process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    screen = terminal.Screen()
    boxes = []
    console = b""
    problem = None
    deadline = time.monotonic() + timeout_seconds
    os.set_blocking(process.stdout.fileno(), False)
    while True:
        if time.monotonic() > deadline:
            problem = f"timeout after box {len(boxes)}"
            process.kill()
            break
        try:
            chunk = process.stdout.read()
        except BlockingIOError:
            chunk = None
        if chunk is None:
            if process.poll() is not None:
                break
            time.sleep(0.05)
            continue
        if not chunk:
            break
        console += chunk
        if show:
            sys.stdout.buffer.write(chunk)
            sys.stdout.flush()
        screen.add(chunk)
        for box in iter(screen.next_box, None):
            boxes.append(box)
            box.answer = "ok"
            process.stdin.write(b"\r")
            process.stdin.flush()
    process.wait()
    return boxes, console.decode("utf-8", errors="replace"), problem


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--catalogue", default=os.path.join(SOURCE, "resources", "Messages.rc"))
    parser.add_argument("--cache", default=os.path.join(SOURCE, ".cache", "vm"))
    parser.add_argument("--only")
    parser.add_argument("--show", action="store_true")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    work = os.path.join(build_dir, "vm")
    product = Product(os.path.join(build_dir, "resources", "data"))
    catalogue = Catalogue(args.catalogue)
    try:
        qemu = need("qemu-system-x86_64", "qemu-system-x86")
        for program, package in (("mtools", "mtools"), ("mkfs.vfat", "dosfstools"), ("sfdisk", "fdisk"),
                                 ("cpio", "cpio"), ("busybox", "busybox-static")):
            need(program, package)
        vmlinuz, modules = kernel(os.path.abspath(args.cache))
        if os.path.exists(work):
            shutil.rmtree(work)
        os.makedirs(work)
        initrd = initramfs(work, build_dir, modules, product)
    except Skip as reason:
        print(f"SKIPPED: {reason}")
        return SKIPPED
    tally = Tally()
    for case in CASES:
        if args.only and args.only != case.name:
            continue
        image, target = make_card(work, case, product)
        if args.show:
            print(f"Booting {os.path.basename(vmlinuz)} in QEMU (no KVM: about a minute) with a {CARD_MIB} MiB FAT32 "
                  f"card ({case.layout}) on an emulated USB disk, USB id {QEMU_DISK_ID}, which the machine's id "
                  f"table names \"{product.model}\". Its serial console follows; every box is answered OK from "
                  "here.\n", flush=True)
        started = time.monotonic()
        boxes, console, problem = boot(qemu, vmlinuz, initrd, case, image, args.show)
        problems = [problem] if problem else []
        if "vm: exit 0" not in console:
            problems.append("fwupgrade did not end with 0 in the machine")
        problems += [line for line in console.splitlines() if line.startswith("vm: ") and
                     ("not loaded" in line or "failed" in line or "no USB disk" in line)]
        problems += box_problems(Row(case.boxes), boxes, Console, catalogue, ENGLISH,
                                 dict(product.inserts(""), empty=""))
        problems += card_problems(case, target, product, work)
        took = time.monotonic() - started
        if args.show:
            print(f"\nThe machine powered off. {len(boxes)} boxes, each answered OK. The card image, read with mtools:")
            print(run(["mdir", "-i", target, "::Current/Firmware"], text=True).stdout)
            if not problems and case.written:
                print(f"{product.package_name} on the card equals the payload byte for byte "
                      f"({len(product.payload)} bytes); no staging file is left.")
        details = problems + ["console:"] + console.splitlines()[-40:] if problems else []
        tally.record(f"{case.name} ({took:.0f} s)", details)
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
