#!/usr/bin/env python3
"""The POSIX fwupgrade with the Linux camera component in a QEMU virtual machine: Debian's
own kernel, its USB (xHCI, usb-storage) and FAT drivers, a busybox initramfs, and a FAT32
card image on an emulated USB mass-storage device, mounted with a plain mount -t vfat.  The
host answers every message box over the serial console, and after the machine powers off
checks the card image with mtools.

  run_vm.py --build-dir build/native --catalogue resources/Messages.rc [--cache DIR]
            [--work-dir DIR] [--only CASE] [--cuts N] [--show]

The cases (CASES): a package written on a partitioned card, over an older package, on a
card without partition table; an empty slot; a card mounted read-only.

--cuts N runs the power cuts in place of those (QEMU killed, no shutdown; every write the
machine was told is done is in the image).  cut-after-done and cut-after-done-older: the
power goes 2 s after the success box appears, the box left unanswered as an owner who obeys
it would; the package must be on the card byte for byte, and fsck.fat -n on the volume
must find nothing but the mark every mounted FAT carries until it is unmounted.  Then a
series of N cuts around the move (--only cut-series: the series alone; --cuts 0: none), on
a card holding an older package and slowed (SLOW_*) so that the time from the staging file
being complete on the card to the success box spans seconds.  A first run without a cut times
the moments, watching the card image from here with mtools (read-only): the staging file
complete, the package moved in place, the success box.  Then N runs, each cut at its own
moment, spread evenly from a second before the staging file is complete to a second after
the success box.  Each must leave the older package or the new one intact (a staging file
may be beside either), never neither, and never the success box without the new package.
The runs are counted by where the cut landed (the machine's trace tells whether the program
had moved the file) and by outcome, with fsck.fat's verdict.

The kernel package is downloaded once (apt-get download) into the cache (default .cache/vm
in the source tree) and kept there.  The kernel's log and its trace of fsync, rename and
the disk's requests go to the machine's second serial port, kept as <case>.log beside the
card image in the work folder (a failed run shows their end).  --show prints the
console as it comes, for a person to watch.  Exits 77 (skipped) with the reason when QEMU,
busybox, mtools, dosfstools or the kernel cannot be had."""

import argparse
import fcntl
import glob
import gzip
import hashlib
import json
import os
import re
import shutil
import socket
import stat
import subprocess
import sys
import tempfile
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
# The slow card of the series: reads at this many bytes a second from the start, so that the
# program's read-back of the staging file takes seconds; and from the moment it holds the
# staging file complete, a second for each write request, so that the move's few writes (the
# package's entry, the freed clusters in each FAT, the folder) take seconds too.  The staging
# file's own writes go at full speed: how many requests its clusters in the FAT come in
# varies, and at a second each they would cost half a minute a run.
SLOW_READ_BYTES = 512 * 1024
SLOW_WRITE_REQUESTS = 1
# The card image is watched this often for the staging file and the moved package.
POLL_SECONDS = 0.1
# The series spreads its cuts from this long before the staging file is complete on the card
# to this long after the success box.
LEAD_IN = LEAD_OUT = 1.0
# The byte of a FAT32 boot sector where the kernel marks the volume mounted (bit 0): set at
# mount, cleared at unmount.
MOUNT_STATE = 0x41
STAGING_SUFFIX = "~"


class Skip(Exception):
    pass


class Cut:
    """The power going off (QEMU killed, no shutdown) `after` seconds past a moment of the run:
    "box N" (box N appeared), "staged" (the card holds the staging file complete) or "moved"
    (the card holds the package moved in place, and no staging file)."""

    def __init__(self, moment, after):
        self.moment = moment
        self.after = after

    def __str__(self):
        return f"{self.moment} {self.after:+.2f} s"


class Case:
    def __init__(self, name, boxes, layout="partitioned", older=False, written=False, cut=None, throttled=False):
        self.name = name
        self.boxes = boxes
        self.layout = layout  # partitioned | whole-disk | empty-slot
        self.older = older  # an older package on the card before the run
        self.written = written  # the package on the card afterwards, byte for byte
        self.cut = cut  # the run ends in this power cut; its last box is left unanswered
        self.throttled = throttled  # a slow card (SLOW_*), watched while the machine runs


CASES = [
    Case("partitioned", [CONFIRM, DONE], written=True),
    Case("replace-older", [CONFIRM, DONE], older=True, written=True),
    Case("whole-disk", [CONFIRM, DONE], layout="whole-disk", written=True),
    Case("empty-slot", [CONFIRM, NO_CARD], layout="empty-slot"),
    Case("read-only", [CONFIRM, FAILED], older=True),
    Case("cut-after-done", [CONFIRM, DONE], written=True, cut=Cut("box 2", 2.0)),
    Case("cut-after-done-older", [CONFIRM, DONE], older=True, written=True, cut=Cut("box 2", 2.0)),
]
# The series around the move: its timing run, then the cuts (series()).
SERIES = "cut-series"
TIMING = Case(SERIES, [CONFIRM, DONE], older=True, written=True, throttled=True)


def run(argv, **options):
    return subprocess.run(argv, check=True, capture_output=True, **options)


def need(program, package):
    path = shutil.which(program)
    if path is None:
        raise Skip(f"{program} is not installed (Debian package {package})")
    return path


def kernel(cache):
    """The extracted kernel package: (vmlinuz, modules folder).  The machine tests run side by
    side: the first to come downloads and extracts it, under a lock the others wait for."""
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return _kernel_in(cache)


def _kernel_in(cache):
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


def card_files(target):
    """The files in Current/Firmware as the card holds them, {name: content}, the content None
    where mtools cannot read the file; None where it cannot list the folder.  Only reads, so
    the card may be looked at while the machine runs."""
    listing = subprocess.run(["mdir", "-b", "-i", target, "::Current/Firmware"], capture_output=True, text=True)
    if listing.returncode != 0:
        return None
    files = {}
    for path in listing.stdout.split():
        name = os.path.basename(path.rstrip("/"))
        read = subprocess.run(["mtype", "-i", target, f"::Current/Firmware/{name}"], capture_output=True)
        files[name] = read.stdout if read.returncode == 0 else None
    return files


def described(content):
    if content is None:
        return "unreadable"
    return f"{len(content)} bytes, sha256 {hashlib.sha256(content).hexdigest()[:12]}"


def card_problems(case, target, product):
    """The card after the run: the package byte for byte (or the older one untouched), and
    no staging file."""
    files = card_files(target)
    if files is None:
        return ["mtools cannot list Current/Firmware on the card"]
    problems = []
    names = sorted(files)
    expected = [product.package_name] if case.written or case.older else []
    if names != expected:
        problems.append(f"Current/Firmware holds {names}, expected {expected}")
    if product.package_name in files:
        wanted = product.payload if case.written else OLDER
        if files[product.package_name] != wanted:
            problems.append(f"the package on the card ({described(files[product.package_name])}) is not the "
                            f"{'payload' if case.written else 'older package'} ({len(wanted)} bytes)")
    return problems


def fsck_problems(image, case, work):
    """fsck.fat -n on the card's volume, copied out of the image (fsck.fat reads a volume from
    the start of what it is given).  A card the power left mounted carries the kernel's
    mounted mark, which fsck.fat reports on its own: it must be there, and is cleared in the
    copy so that fsck.fat judges the rest.  Any line beyond its name and the summary is a
    complaint."""
    copy = os.path.join(work, "fsck.img")
    with open(image, "rb") as source, open(copy, "wb") as volume:
        source.seek(PARTITION_OFFSET if case.layout == "partitioned" else 0)
        shutil.copyfileobj(source, volume)
    problems = []
    with open(copy, "r+b") as volume:
        volume.seek(MOUNT_STATE)
        state = volume.read(1)[0]
        if case.cut and not state & 1:
            problems.append("the card does not carry the mounted mark: the power was not cut while it was mounted")
        volume.seek(MOUNT_STATE)
        volume.write(bytes([state & ~1]))
    check = subprocess.run(["fsck.fat", "-n", copy], capture_output=True, text=True)
    os.remove(copy)
    summary = re.compile(re.escape(copy) + r": \d+ files, \d+/\d+ clusters")
    complaints = [line for line in (check.stdout + check.stderr).splitlines()
                  if line.strip() and not line.startswith("fsck.fat ") and not summary.fullmatch(line)]
    if check.returncode != 0 or complaints:
        problems.append(f"fsck.fat -n exits {check.returncode}: " + "\n".join(complaints))
    return problems


class Row:
    def __init__(self, boxes):
        self.boxes = boxes


class Console:
    """What the serial console shows, for box_problems: texts as the terminal prints them."""

    @staticmethod
    def as_shown(text):
        return terminal.as_printed(text)


class Run:
    """What a boot gave: the boxes, the console, a problem with the run itself, its moments
    by name (time.monotonic(): "box N" when box N appeared, "staged" and "moved" when the card
    was seen holding the staging file complete and the package moved in place, "slowed" when
    its writes were slowed), when the power was cut, and the kernel's log."""

    def __init__(self):
        self.boxes = []
        self.console = ""
        self.problem = None
        self.moments = {}
        self.cut = None
        self.kernel = ""  # its log and trace


def watch(target, product, moments, now):
    """Looks at the card from here: notes the first time it holds the staging file complete
    and the first time it holds the package moved in place (the payload, no staging file)."""
    files = card_files(target) or {}
    staging = product.package_name + STAGING_SUFFIX
    if files.get(staging) == product.payload:
        moments.setdefault("staged", now)
    if files.get(product.package_name) == product.payload and staging not in files:
        moments.setdefault("moved", now)


def slow_writes(monitor):
    """From now on each write request to the card takes a second (QEMU's machine protocol on
    the socket `monitor`); reads stay as slow as they were."""
    with socket.socket(socket.AF_UNIX) as connection:
        connection.connect(monitor)
        stream = connection.makefile("rw")

        def ask(command, **arguments):
            stream.write(json.dumps({"execute": command, "arguments": arguments}) + "\n")
            stream.flush()
            while True:
                reply = json.loads(stream.readline())
                if "error" in reply:
                    raise OSError(f"{command}: {reply['error'].get('desc')}")
                if "return" in reply:
                    return

        json.loads(stream.readline())  # the greeting
        ask("qmp_capabilities")
        ask("block_set_io_throttle", device="card", bps=0, bps_rd=SLOW_READ_BYTES, bps_wr=0, iops=0, iops_rd=0,
            iops_wr=SLOW_WRITE_REQUESTS)


def boot(qemu, vmlinuz, initrd, case, image, target, product, show, timeout_seconds=240):
    """Runs the machine and answers each box OK, but for the last box of a case that ends in
    a power cut: that one stays open until the cut.  A throttled card is slow (SLOW_*), and
    watched from here until it holds the package moved in place."""
    if case.layout == "empty-slot":
        drive = ["-drive", "if=none,id=empty", "-device", "usb-storage,drive=empty,removable=on"]
    else:
        # cache=writeback: every write the machine was told is done is in the image file, also
        # when QEMU is killed (the host keeps running, and its page cache with it).
        drive = ["-drive", f"if=none,id=card,format=raw,cache=writeback,file={image}"
                 + (f",throttling.bps-read={SLOW_READ_BYTES}" if case.throttled else ""),
                 "-device", "usb-storage,drive=card,serial=RQ5600CARD"]
    kernel_log = os.path.splitext(image)[0] + ".log"
    sockets = tempfile.TemporaryDirectory()  # short enough a path for a socket's name
    monitor = os.path.join(sockets.name, "qmp")
    argv = [qemu, "-m", "512", "-nodefaults", "-no-reboot", "-display", "none",
            "-serial", "stdio", "-serial", f"file:{kernel_log}", "-qmp", f"unix:{monitor},server=on,wait=off",
            "-kernel", vmlinuz, "-initrd", initrd,
            "-append", f"console=ttyS0 quiet loglevel=0 panic=-1 fwcase={case.name}",
            "-device", "qemu-xhci"] + drive
    process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    screen = terminal.Screen()
    result = Run()
    console = b""
    cut = case.cut
    polled = 0.0
    deadline = time.monotonic() + timeout_seconds
    os.set_blocking(process.stdout.fileno(), False)
    while True:
        now = time.monotonic()
        if now > deadline:
            result.problem = f"timeout after box {len(result.boxes)}"
            process.kill()
            break
        if cut and cut.moment in result.moments and now >= result.moments[cut.moment] + cut.after:
            process.kill()
            result.cut = now
            break
        if cut and len(result.boxes) == len(case.boxes) and cut.moment not in result.moments:
            process.kill()
            result.cut = now
            result.problem = f"the power was to go {cut}, which did not come before the last box"
            break
        if case.throttled and "moved" not in result.moments and now - polled >= POLL_SECONDS:
            polled = now
            watch(target, product, result.moments, now)
            if "staged" in result.moments and "slowed" not in result.moments:
                result.moments["slowed"] = time.monotonic()
                try:
                    slow_writes(monitor)
                except OSError as error:
                    result.problem = f"the card's writes could not be slowed: {error}"
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
            result.boxes.append(box)
            result.moments[f"box {len(result.boxes)}"] = time.monotonic()
            if cut and len(result.boxes) == len(case.boxes):
                continue  # the owner obeys it and switches the camera off
            box.answer = "ok"
            process.stdin.write(b"\r")
            process.stdin.flush()
    process.wait()
    sockets.cleanup()
    result.console = console.decode("utf-8", errors="replace")
    if os.path.exists(kernel_log):
        with open(kernel_log, encoding="utf-8", errors="replace") as f:
            result.kernel = f.read()
    return result


class Machine:
    """The machine's parts, and what every run of it is held to."""

    def __init__(self, qemu, vmlinuz, initrd, work, product, catalogue, show):
        self.qemu, self.vmlinuz, self.initrd = qemu, vmlinuz, initrd
        self.work, self.product, self.catalogue, self.show = work, product, catalogue, show

    def run(self, case):
        """Boots `case` on a fresh card.  Returns the Run, the card image and its mtools
        target, and the problems with the run, its end and its boxes (a run cut off shows the
        case's boxes up to the cut)."""
        image, target = make_card(self.work, case, self.product)
        if self.show:
            print(f"Booting {os.path.basename(self.vmlinuz)} in QEMU (no KVM: about a minute) with a {CARD_MIB} MiB "
                  f"FAT32 card ({case.layout}) on an emulated USB disk, USB id {QEMU_DISK_ID}, which the machine's id "
                  f"table names \"{self.product.model}\". Its serial console follows; every box is answered OK from "
                  "here" + (f", but for the last: the power goes {case.cut}" if case.cut else "") + ".\n", flush=True)
        result = boot(self.qemu, self.vmlinuz, self.initrd, case, image, target, self.product, self.show)
        problems = [result.problem] if result.problem else []
        if not case.cut and "vm: exit 0" not in result.console:
            problems.append("fwupgrade did not end with 0 in the machine")
        problems += [line for line in result.console.splitlines() if line.startswith("vm: ") and
                     ("not loaded" in line or "failed" in line or "no USB disk" in line)]
        expected = case.boxes[:len(result.boxes)] if case.cut else case.boxes
        problems += box_problems(Row(expected), result.boxes, Console, self.catalogue, ENGLISH,
                                 dict(self.product.inserts(""), empty=""))
        if self.show:
            print(f"\nThe machine {'lost its power' if result.cut else 'powered off'}. {len(result.boxes)} boxes. "
                  "The card image, read with mtools:")
            print(subprocess.run(["mdir", "-i", target, "::Current/Firmware"], capture_output=True, text=True).stdout)
        return result, image, target, problems

    def details(self, problems, result):
        """A failed run's problems, with the end of its console, and the kernel's FAT messages
        and its trace (without the reads)."""
        kernel = [line.strip() for line in result.kernel.splitlines()
                  if re.search(r"FAT-fs|I/O error|sys_|block_rq_complete: \S+ [WF]", line)]
        return problems + ["console:"] + result.console.splitlines()[-40:] + ["kernel:"] + kernel[-40:]


def series(count, moments):
    """`count` cuts spread evenly from LEAD_IN before the staging file was complete on the card
    to LEAD_OUT after the success box, on the timing run's clock.  Each is timed from the last
    of that run's moments before it (the confirmation, the staging file complete, the success
    box), so that it lands in the same stretch of a run a little faster or slower."""
    staged = moments["staged"]
    marks = sorted((moments[moment] - staged, moment) for moment in ("box 1", "staged", "box 2"))
    first, last = -LEAD_IN, moments["box 2"] - staged + LEAD_OUT
    cuts = []
    for number in range(count):
        at = first + (last - first) * number / max(count - 1, 1)
        offset, moment = ([mark for mark in marks if mark[0] <= at] or marks)[-1]
        cuts.append(Cut(moment, max(at - offset, 0.0)))
    return cuts


def cut_outcome(files, product, succeeded):
    """What a cut left on a card that held an older package: a class to count by, and the
    faults in it (none when it is one the owner can live with)."""
    if files is None:
        return "folder unreadable", ["mtools cannot list Current/Firmware"]
    staging = product.package_name + STAGING_SUFFIX
    package = files.get(product.package_name)
    if package == product.payload:
        outcome = "new package"
    elif package == OLDER:
        outcome = "older package"
    else:
        outcome = "no package" if product.package_name not in files else "broken package"
    if staging in files:
        outcome += ", staging file " + ("complete" if files[staging] == product.payload else "partial") + " beside it"
    faults = []
    others = sorted(set(files) - {product.package_name, staging})
    if others:
        faults.append(f"Current/Firmware holds {others} besides the package and its staging file")
    if not outcome.startswith(("new package", "older package")):
        faults.append(f"neither package is on the card: {outcome} ({described(package)})")
    if succeeded and not outcome.startswith("new package"):
        faults.append(f"the success box was shown, but the card holds the {outcome}")
    return outcome, faults


# Where a cut can land in the write, in order; the first two are before the move.
LANDINGS = ["before the staging file was complete", "staging file complete, before the move",
            "moved, not on the card yet", "moved, on the card, before the success box", "after the success box"]


def landing(result, files, product):
    """Where a cut came in the write (LANDINGS), as the console, the machine's trace (the
    program's first fsync is the staging file's) and the card tell."""
    if "box 2" in result.moments:
        return LANDINGS[4]
    if re.search(r"sys_rename\w* -> 0x0", result.kernel):
        return LANDINGS[2] if files and product.package_name + STAGING_SUFFIX in files else LANDINGS[3]
    if re.search(r"sys_fsync -> 0x0", result.kernel):
        return LANDINGS[1]
    if "staged" in result.moments and not re.search(r"sys_fsync\(", result.kernel):
        return "not known: the machine's trace is missing"
    return LANDINGS[0]


def cut_series(machine, count, tally):
    """The timing run, then `count` cuts around the move; prints the runs counted by where the
    cut landed, by outcome, and by fsck.fat's verdict."""
    product = machine.product
    started = time.monotonic()
    result, image, target, problems = machine.run(TIMING)
    problems += card_problems(TIMING, target, product) + fsck_problems(image, TIMING, machine.work)
    moments = result.moments
    if "staged" not in moments:
        problems.append("the timing run never saw the card hold the staging file complete")
    timeline = ", ".join(f"{moment} {moments[moment] - moments.get('staged', 0):+.1f} s"
                         for moment in sorted(moments, key=moments.get))
    tally.record(f"{SERIES} timing, on the clock of the staging file complete on the card: {timeline} "
                 f"({time.monotonic() - started:.0f} s)", machine.details(problems, result) if problems else [])
    if problems:
        return
    counts = {}
    clean = 0
    for number, cut in enumerate(series(count, moments), 1):
        case = Case(f"cut-{number:02}", [CONFIRM, DONE], older=True, throttled=True, cut=cut)
        started = time.monotonic()
        result, image, target, problems = machine.run(case)
        files = card_files(target)
        outcome, faults = cut_outcome(files, product, succeeded=len(result.boxes) == len(case.boxes))
        problems += faults
        where = landing(result, files, product)
        complaints = fsck_problems(image, case, machine.work)
        clean += not complaints
        came = ", ".join(f"{moment} {result.cut - result.moments[moment]:+.1f} s"
                         for moment in ("box 1", "staged", "box 2") if result.cut and moment in result.moments)
        tally.record(f"{case.name}: planned {cut}, came {came or 'never'} ({time.monotonic() - started:.0f} s): "
                     f"{where}: {outcome}; fsck.fat {'clean' if not complaints else 'complains'}",
                     machine.details(problems, result) if problems else [])
        for complaint in complaints:
            print("     " + complaint.replace("\n", "\n     "))
        counts.setdefault(where, {}).setdefault(outcome, 0)
        counts[where][outcome] += 1
    print(f"{SERIES}: {count} cuts, by where they landed:")
    for where in LANDINGS + sorted(set(counts) - set(LANDINGS)):
        if where in counts:
            print(f"  {where}: {sum(counts[where].values())} "
                  f"({'; '.join(f'{outcome}: {n}' for outcome, n in counts[where].items())})")
    before = sum(sum(counts.get(where, {}).values()) for where in LANDINGS[:2])
    print(f"{SERIES}: {before} before the move, {count - before} after it; fsck.fat clean after {clean} of {count}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--catalogue", default=os.path.join(SOURCE, "resources", "Messages.rc"))
    parser.add_argument("--cache", default=os.path.join(SOURCE, ".cache", "vm"))
    parser.add_argument("--work-dir", help="where the card images and the machine's files go (default: vm in the "
                                           "build folder); emptied first")
    parser.add_argument("--only", help=f"one case, or {SERIES} for the series around the move alone")
    parser.add_argument("--cuts", type=int, help="the power cuts in place of the other cases: the cases cut after "
                                                 "the success box, and a series of CUTS around the move (0: none)")
    parser.add_argument("--show", action="store_true")
    args = parser.parse_args()
    if args.only == SERIES and not args.cuts:
        parser.error(f"--only {SERIES} needs --cuts N")
    build_dir = os.path.abspath(args.build_dir)
    work = os.path.abspath(args.work_dir or os.path.join(build_dir, "vm"))
    product = Product(os.path.join(build_dir, "resources", "data"))
    catalogue = Catalogue(args.catalogue)
    try:
        qemu = need("qemu-system-x86_64", "qemu-system-x86")
        for program, package in (("mtools", "mtools"), ("mkfs.vfat", "dosfstools"), ("fsck.fat", "dosfstools"),
                                 ("sfdisk", "fdisk"), ("cpio", "cpio"), ("busybox", "busybox-static")):
            need(program, package)
        vmlinuz, modules = kernel(os.path.abspath(args.cache))
        if os.path.exists(work):
            shutil.rmtree(work)
        os.makedirs(work)
        initrd = initramfs(work, build_dir, modules, product)
    except Skip as reason:
        print(f"SKIPPED: {reason}")
        return SKIPPED
    machine = Machine(qemu, vmlinuz, initrd, work, product, catalogue, args.show)
    tally = Tally()
    for case in CASES:
        if (args.only or case.name) != case.name or (not args.only and (args.cuts is None) == bool(case.cut)):
            continue
        started = time.monotonic()
        result, image, target, problems = machine.run(case)
        problems += card_problems(case, target, product)
        if case.cut:
            problems += fsck_problems(image, case, work)
        if args.show and not problems and case.written:
            print(f"{product.package_name} on the card equals the payload byte for byte "
                  f"({len(product.payload)} bytes); no staging file is left.")
        took = time.monotonic() - started
        tally.record(f"{case.name} ({took:.0f} s)", machine.details(problems, result) if problems else [])
    if args.cuts and args.only in (None, SERIES):
        cut_series(machine, args.cuts, tally)
    return tally.exit_code()


if __name__ == "__main__":
    sys.exit(main())
