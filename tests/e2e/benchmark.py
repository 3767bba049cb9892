#!/usr/bin/env python3
"""The benchmark of the POSIX release program (scripts/benchmark.sh builds what it needs
and calls this). Not a test: it prints figures and the budgets they are held to.

  benchmark.py --build-dir build/native-release --catalogue resources/Messages.rc
               [--runs 7] [--windows-build-dir build/windows-x86 ...]

The card: a FAT image mounted on a loop device, as a camera's card is, where the host can
mount one (root, the kernel's vfat driver, a loop device); else an ext2 image mounted the
same way, a file system of the card's own; else a folder of the build tree. The printout
says which file system that is and why it is not FAT.  Every card write
below (run, reference, cp, cp+sync) goes to it, and the card's file system is synced before each timed step, so that no
step writes what the one before it left.

Timing, medians of --runs rounds, each round in this order:
  run        the whole fwupgrade run against the simulated camera on a pseudo-terminal,
             one camera with a card, both boxes answered OK; each run is checked like a
             whole-program test (boxes, package byte for byte, component calls)
  boxes      boxpair, a trivial program showing and answering the same two boxes through
             the same MessageBoxA, on a pseudo-terminal the same way
  reference  durablereplace, the utility's durable, verified replace of the package with the
             same file system requests and none of its logic: staged, synced, read back past
             the cache, moved, the moved file, its folder and the file system synced
  cp         cp of the payload to a new file on the card
  cp+sync    the same, then sync of that file: for context, a copy without the guarantees
The utility's own cost is run - 1 s (the pause between the two free-space queries) -
boxes; the budget holds it to at most 1.25 x reference.

Heap, from one run under valgrind's DHAT: blocks allocated, bytes allocated, and the peak
of live bytes. The peak is split into the C++ runtime's emergency exception pool (blocks
allocated while the runtime library initializes itself, fixed in size), the simulated
camera component's blocks (any allocation with the component's code on its stack), and
the program's own. Budgets: bytes allocated <= 256 KiB; own peak <= 32 KiB.

Sizes: the release programs, and for each Windows build given, fwupgrade.exe against the
budget of payload + 200 KiB."""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import replace

import rows
import terminal
from card import PACKAGE_FOLDER
from catalogue import IDS, Catalogue
from player import ENGLISH, PosixPlatform, play
from product import Product
from run_e2e import unmount_below

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PROBE_PAUSE_SECONDS = 1.0
KIB = 1024
CARD_MIB = 64


class CardVolume:
    """Where the cards of the benchmark live: `path`, and `description` for the printout."""

    def __init__(self, work_dir):
        self.path = os.path.join(work_dir, "card")
        self.image = os.path.join(work_dir, "card.img")
        os.makedirs(self.path)
        self.mounted = False
        refusal = self._mount_fat()
        if refusal is None:
            self.description = f"a {CARD_MIB} MiB FAT16 image, loop-mounted (vfat, no flush option)"
            return
        # Without FAT, a file system of the card's own still keeps the syncs to the card's
        # writes: in a folder of the build tree they would also write whatever the rest of the
        # machine left dirty, and more of it during the run's 1 s pause than during the
        # reference's few milliseconds.
        if self._mount_image("ext2", ["mkfs.ext2", "-q", "-F", self.image]) is None:
            self.description = f"a {CARD_MIB} MiB ext2 image, loop-mounted, not FAT: {refusal}"
        else:
            self.description = f"a folder on {file_system_of(self.path)}, not a FAT image: {refusal}"

    def _mount_fat(self):
        """None once the FAT image is mounted at `path`; otherwise why not."""
        refusal = self._mount_image("vfat", ["mkfs.fat", "-F", "16", "-n", "CARD", self.image])
        if refusal is not None and refusal.startswith("mounting it failed"):
            with open("/proc/filesystems") as f:
                if not re.search(r"\bvfat$", f.read(), re.M):
                    return "this kernel has no vfat driver (/proc/filesystems)"
        return refusal

    def _mount_image(self, kind, make):
        """None once an image made by the command `make` is mounted at `path` as `kind`;
        otherwise why not."""
        if os.geteuid() != 0:
            return "mounting an image needs root"
        if shutil.which(make[0]) is None:
            return f"{make[0]} is missing"
        with open(self.image, "wb") as f:
            f.truncate(CARD_MIB << 20)
        made = subprocess.run(make, capture_output=True, text=True)
        if made.returncode == 0:
            mounted = subprocess.run(["mount", "-t", kind, "-o", "loop", self.image, self.path],
                                     capture_output=True, text=True)
            if mounted.returncode == 0:
                self.mounted = True
                return None
            problem = f"mounting it failed: {mounted.stderr.strip() or mounted.returncode}"
        else:
            problem = f"{make[0]} failed: {made.stderr.strip() or made.returncode}"
        os.remove(self.image)
        return problem

    def settle(self):
        """Whatever earlier steps left to write on the card is written now, outside a timing."""
        subprocess.run(["sync", "-f", self.path], check=True)

    def release(self):
        if self.mounted:
            subprocess.run(["umount", self.path], check=True)
            self.mounted = False
            os.remove(self.image)


def file_system_of(path):
    """The type and source of the file system that holds `path`, as findmnt tells them."""
    found = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,SOURCE", "--target", path], capture_output=True, text=True)
    kind, _, source = found.stdout.strip().partition(" ")
    return f"{kind} ({source.strip()})" if found.returncode == 0 and kind else "a file system findmnt does not name"


class TimedPlatform(PosixPlatform):
    """The POSIX platform of the whole-program tests, timing each run of the program and
    starting it through `prefix` (valgrind) when one is given; `settle` runs just before."""

    def __init__(self, *args, settle, prefix=()):
        super().__init__(*args)
        self.settle = settle
        self.prefix = list(prefix)
        self.seconds = None

    def run(self, row, env, marker):
        env = self.environment(env, row.registered)
        self.settle()
        start = time.perf_counter()
        outcome = terminal.run_in_terminal(self.prefix + [self.program], env, row.answers,
                                           timeout_seconds=600 if self.prefix else 60)
        self.seconds = time.perf_counter() - start
        return outcome


def timed(argv):
    start = time.perf_counter()
    subprocess.run(argv, check=True)
    return time.perf_counter() - start


class Bench:
    def __init__(self, build_dir, catalogue_path, work_dir, card):
        self.build_dir = build_dir
        self.work_dir = work_dir
        self.card = card
        self.product = Product(os.path.join(build_dir, "resources", "data"))
        self.catalogue = Catalogue(catalogue_path)
        self.payload = os.path.join(build_dir, "resources", "data", "Payload.bin")
        self.program = os.path.join(build_dir, "app", "fwupgrade")
        self.boxpair = os.path.join(build_dir, "tools", "harness", "boxpair", "boxpair")
        self.reference = os.path.join(build_dir, "tools", "harness", "durablereplace", "durablereplace")
        self.component = os.path.join(build_dir, "simcamera", "simcamera.so")
        self.rounds = 0

    def platform(self, prefix=()):
        platform = TimedPlatform(self.program, self.component,
                                 os.path.join(SOURCE, "platform", "posix", "register-plugin.sh"),
                                 os.path.join(self.work_dir, "com"), settle=self.card.settle, prefix=prefix)
        platform.prepare()
        return platform

    def utility_run(self, platform):
        """Seconds of one checked successful run, its card on the card volume."""
        self.rounds += 1
        run = f"run{self.rounds}"
        row = replace(rows.SUCCESS, folders={"E": os.path.join(self.card.path, run, "card-E")})
        problems = play(row, platform, self.product, self.catalogue, os.path.join(self.work_dir, run))
        if problems:
            sys.exit("benchmark: the run did not succeed as the whole-program test expects:\n  "
                     + "\n  ".join(problems))
        shutil.rmtree(os.path.join(self.work_dir, run))
        shutil.rmtree(os.path.join(self.card.path, run))
        return platform.seconds

    def reference_replace(self):
        """Seconds of durablereplace putting the package into the package folder of a fresh
        card, checked byte for byte."""
        card = os.path.join(self.card.path, f"reference{self.rounds}")
        folder = os.path.join(card, *PACKAGE_FOLDER)
        os.makedirs(folder)
        self.card.settle()
        seconds = timed([self.reference, self.payload, folder, self.product.package_name])
        with open(os.path.join(folder, self.product.package_name), "rb") as f:
            if f.read() != self.product.payload or os.listdir(folder) != [self.product.package_name]:
                sys.exit(f"benchmark: durablereplace did not leave the package alone in {folder}")
        shutil.rmtree(card)
        return seconds

    def box_round_trip(self):
        values = self.product.inserts()
        confirmation = self.catalogue.shown(ENGLISH, IDS["IDS_CONFIRM"], [values["model"], values["version"], values["kb"]])
        done = self.catalogue.shown(ENGLISH, IDS["IDS_UPGRADE_DONE"])
        start = time.perf_counter()
        # The terminal's boxes, as the program's run above shows them, even on a desktop.
        env = {name: value for name, value in os.environ.items() if name not in ("DISPLAY", "WAYLAND_DISPLAY")}
        outcome = terminal.run_in_terminal([self.boxpair, self.catalogue.caption(ENGLISH), confirmation, done],
                                           dict(env, LC_ALL="C.UTF-8"))
        seconds = time.perf_counter() - start
        if outcome.problem or len(outcome.boxes) != 2 or outcome.exit_code != 0:
            sys.exit(f"benchmark: boxpair did not show and end as expected: {outcome.problem}")
        return seconds

    def copies(self):
        """Seconds of cp, and of cp then sync, of the payload to new files on the card."""
        folder = os.path.join(self.card.path, "copies")
        os.makedirs(folder, exist_ok=True)
        plain = os.path.join(folder, "plain.fw")
        synced = os.path.join(folder, "synced.fw")
        for path in (plain, synced):
            if os.path.exists(path):
                os.remove(path)
        self.card.settle()
        cp = timed(["cp", self.payload, plain])
        self.card.settle()
        start = time.perf_counter()
        subprocess.run(["cp", self.payload, synced], check=True)
        subprocess.run(["sync", synced], check=True)
        return cp, time.perf_counter() - start

    def heap(self):
        """DHAT's account of one checked successful run."""
        out = os.path.join(self.work_dir, "dhat.json")
        log = os.path.join(self.work_dir, "dhat.log")
        platform = self.platform(["valgrind", "--tool=dhat", f"--dhat-out-file={out}", f"--log-file={log}"])
        self.utility_run(platform)
        with open(out) as f:
            return Heap(json.load(f), self.component)


class Heap:
    """Blocks, bytes and bytes live at the peak, in all and by whose they are: "pool",
    "component" or "own"."""

    KINDS = ("pool", "component", "own")

    def __init__(self, dhat, component):
        frames = dhat["ftbl"]
        self.blocks = dict.fromkeys(self.KINDS, 0)
        self.bytes = dict.fromkeys(self.KINDS, 0)
        self.peak = dict.fromkeys(self.KINDS, 0)
        for point in dhat["pps"]:
            stack = [frames[i] for i in point["fs"]]
            if any(os.path.basename(component) in frame for frame in stack):
                kind = "component"
            elif any("libstdc++" in frame for frame in stack) and any("_dl_init" in frame for frame in stack):
                kind = "pool"
            else:
                kind = "own"
            self.blocks[kind] += point["tbk"]
            self.bytes[kind] += point["tb"]
            self.peak[kind] += point.get("gb", 0)


def median(values):
    return statistics.median(values)


def spread(values):
    return f"(from {min(values) * 1000:.1f} to {max(values) * 1000:.1f})"


def verdict(ok):
    return "within budget" if ok else "OVER BUDGET"


def print_heap(heap):
    program_bytes = heap.bytes["own"] + heap.bytes["pool"]
    print("heap of one run (valgrind DHAT)      allocations      bytes  peak live bytes")
    for label, kind in (("the program's own", "own"), ("C++ runtime's emergency pool", "pool"),
                        ("simulated camera component", "component")):
        print(f"  {label:32s} {heap.blocks[kind]:11d} {heap.bytes[kind]:10d} {heap.peak[kind]:16d}")
    print(f"  {'all':32s} {sum(heap.blocks.values()):11d} {sum(heap.bytes.values()):10d} "
          f"{sum(heap.peak.values()):16d}")
    print(f"  bytes allocated by the program (own + pool, the component is not the program's): {program_bytes}"
          f"  (budget {256 * KIB}: {verdict(program_bytes <= 256 * KIB)})")
    print(f"  the program's own peak: {heap.peak['own']}  (budget {32 * KIB}: {verdict(heap.peak['own'] <= 32 * KIB)})")


def windows_sizes(build_dirs):
    lines = []
    for build_dir in build_dirs:
        program = os.path.join(build_dir, "app", "fwupgrade.exe")
        payload = os.path.join(build_dir, "resources", "data", "Payload.bin")
        if not (os.path.exists(program) and os.path.exists(payload)):
            lines.append(f"  {os.path.relpath(program)}: not built")
            continue
        size, budget = os.path.getsize(program), os.path.getsize(payload) + 200 * KIB
        lines.append(f"  {os.path.relpath(program)}: {size} bytes; budget payload + 200 KiB = {budget}; "
                     f"{budget - size:+d} to spare: {verdict(size <= budget)}")
    return lines


def measure(bench, rounds):
    """The seconds of each round's run, boxes, reference, cp and cp+sync, and the heap of
    one more run (None without valgrind)."""
    platform = bench.platform()
    timings = ([], [], [], [], [])
    print(f"Timing {rounds} rounds (run, boxes, reference, cp, cp+sync) on {bench.card.description} ...",
          flush=True)
    for _ in range(rounds):
        figures = (bench.utility_run(platform), bench.box_round_trip(), bench.reference_replace()) + bench.copies()
        for values, seconds in zip(timings, figures):
            values.append(seconds)
    heap = None
    if shutil.which("valgrind"):
        print("Heap: one run under valgrind --tool=dhat ...", flush=True)
        heap = bench.heap()
    return timings, heap


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--catalogue", required=True)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--windows-build-dir", action="append", default=[])
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    work_dir = os.path.join(build_dir, "benchmark")
    if os.path.exists(work_dir):
        unmount_below(work_dir)  # the card of an interrupted earlier run
        shutil.rmtree(work_dir)
    os.makedirs(work_dir)

    card = CardVolume(work_dir)
    try:
        bench = Bench(build_dir, args.catalogue, work_dir, card)
        timings, heap = measure(bench, args.runs)
    finally:
        card.release()

    runs, boxes, references, cps, syncs = timings
    run, box, reference, cp, cp_sync = (median(values) for values in timings)
    own = run - PROBE_PAUSE_SECONDS - box
    ratio = own / reference
    payload = len(bench.product.payload)
    print()
    print(f"fwupgrade benchmark, {time.strftime('%Y-%m-%d %H:%M %Z')}, {os.uname().nodename}, "
          f"payload {payload} bytes, medians of {args.runs} rounds")
    print(f"  card: {card.description}")
    print(f"  whole run                          {run * 1000:9.1f} ms  {spread(runs)}")
    print(f"  box round trip (boxpair)           {box * 1000:9.1f} ms  {spread(boxes)}")
    print(f"  run - 1 s pause - box round trip   {own * 1000:9.1f} ms")
    print(f"  reference replace (durablereplace) {reference * 1000:9.1f} ms  {spread(references)}")
    print(f"  cp of the payload                  {cp * 1000:9.1f} ms  {spread(cps)}")
    print(f"  cp + sync of the payload           {cp_sync * 1000:9.1f} ms  {spread(syncs)}")
    print(f"  ratio (run - 1 s - boxes) / reference  {ratio:5.2f}  (budget 1.25: {verdict(ratio <= 1.25)})")
    if heap is None:
        print("heap: valgrind is not installed (Debian package valgrind); no heap figures")
    else:
        print_heap(heap)
    print("release programs")
    size = os.path.getsize(bench.program)
    print(f"  {os.path.relpath(bench.program)}: {size} bytes (POSIX: the {payload}-byte payload and {size - payload} besides)")
    for line in windows_sizes([os.path.abspath(d) for d in args.windows_build_dir]):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
