#!/usr/bin/env python3
"""The benchmark of the POSIX release program (scripts/benchmark.sh builds what it needs
and calls this). Not a test: it prints figures and the budgets they are held to.

  benchmark.py --build-dir build/native-release --catalogue resources/Messages.rc
               [--runs 7] [--windows-build-dir build/windows-x86 ...]

Timing, medians of --runs rounds, each round in this order:
  run        the whole fwupgrade run against the simulated camera on a pseudo-terminal,
             one camera with a card, both boxes answered OK; each run is checked like a
             whole-program test (boxes, package byte for byte, component calls)
  boxes      boxpair, a trivial program showing and answering the same two boxes through
             the same MessageBoxA, on a pseudo-terminal the same way
  cp         cp of the payload to a new file in the folder of the cards
  cp+sync    the same, then sync of that file (the utility flushes the package too)
The utility's own cost is run - 1 s (the pause between the two free-space queries) -
boxes; the budget holds it to at most 1.25 x cp+sync.

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
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import rows
import terminal
from catalogue import IDS, Catalogue
from player import ENGLISH, PosixPlatform, play
from product import Product

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PROBE_PAUSE_SECONDS = 1.0
KIB = 1024


class TimedPlatform(PosixPlatform):
    """The POSIX platform of the whole-program tests, timing each run of the program and
    starting it through `prefix` (valgrind) when one is given."""

    def __init__(self, *args, prefix=()):
        super().__init__(*args)
        self.prefix = list(prefix)
        self.seconds = None

    def run(self, row, env, marker):
        env = self.environment(env, row.registered)
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
    def __init__(self, build_dir, catalogue_path, work_dir):
        self.build_dir = build_dir
        self.work_dir = work_dir
        self.product = Product(os.path.join(build_dir, "resources", "data"))
        self.catalogue = Catalogue(catalogue_path)
        self.program = os.path.join(build_dir, "app", "fwupgrade")
        self.boxpair = os.path.join(build_dir, "tools", "boxpair", "boxpair")
        self.component = os.path.join(build_dir, "tools", "simcamera", "simcamera.so")
        self.rounds = 0

    def platform(self, prefix=()):
        platform = TimedPlatform(self.program, self.component,
                                 os.path.join(SOURCE, "tools", "simcamera", "register-posix.sh"),
                                 os.path.join(self.work_dir, "com"), prefix=prefix)
        platform.prepare()
        return platform

    def utility_run(self, platform):
        """Seconds of one checked successful run."""
        self.rounds += 1
        problems = play(rows.SUCCESS, platform, self.product, self.catalogue,
                        os.path.join(self.work_dir, f"run{self.rounds}"))
        if problems:
            sys.exit("benchmark: the run did not succeed as the whole-program test expects:\n  "
                     + "\n  ".join(problems))
        shutil.rmtree(os.path.join(self.work_dir, f"run{self.rounds}"))
        return platform.seconds

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
        """Seconds of cp, and of cp then sync, of the payload to new files."""
        payload = os.path.join(self.build_dir, "resources", "data", "Payload.bin")
        folder = os.path.join(self.work_dir, "copies")
        os.makedirs(folder, exist_ok=True)
        plain = os.path.join(folder, "plain.fw")
        synced = os.path.join(folder, "synced.fw")
        for path in (plain, synced):
            if os.path.exists(path):
                os.remove(path)
        cp = timed(["cp", payload, plain])
        start = time.perf_counter()
        subprocess.run(["cp", payload, synced], check=True)
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
        shutil.rmtree(work_dir)
    os.makedirs(work_dir)

    bench = Bench(build_dir, args.catalogue, work_dir)
    platform = bench.platform()
    runs, boxes, cps, syncs = [], [], [], []
    print(f"Timing {args.runs} rounds (run, boxes, cp, cp+sync) ...", flush=True)
    for _ in range(args.runs):
        runs.append(bench.utility_run(platform))
        boxes.append(bench.box_round_trip())
        cp, cp_sync = bench.copies()
        cps.append(cp)
        syncs.append(cp_sync)
    heap = None
    if shutil.which("valgrind"):
        print("Heap: one run under valgrind --tool=dhat ...", flush=True)
        heap = bench.heap()

    run, box, cp, cp_sync = median(runs), median(boxes), median(cps), median(syncs)
    own = run - PROBE_PAUSE_SECONDS - box
    ratio = own / cp_sync
    payload = len(bench.product.payload)
    print()
    print(f"fwupgrade benchmark, {time.strftime('%Y-%m-%d %H:%M %Z')}, {os.uname().nodename}, "
          f"payload {payload} bytes, medians of {args.runs} rounds")
    print(f"  whole run                          {run * 1000:9.1f} ms  {spread(runs)}")
    print(f"  box round trip (boxpair)           {box * 1000:9.1f} ms  {spread(boxes)}")
    print(f"  run - 1 s pause - box round trip   {own * 1000:9.1f} ms")
    print(f"  cp of the payload                  {cp * 1000:9.1f} ms  {spread(cps)}")
    print(f"  cp + sync of the payload           {cp_sync * 1000:9.1f} ms  {spread(syncs)}")
    print(f"  ratio (run - 1 s - boxes) / (cp + sync)  {ratio:5.2f}  (budget 1.25: {verdict(ratio <= 1.25)})")
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
