#!/usr/bin/env bash
# The benchmark of the release programs (not a test: it prints figures and the budgets
# they are held to; tests/e2e/benchmark.py says what each figure is).
#
#   bash scripts/benchmark.sh [RUNS]      RUNS rounds of timing, 7 unless given
#
# Installs what it needs (scripts/install-deps.sh), builds the native-release preset
# (fwupgrade, the simulated camera, boxpair, the reference replace durablereplace) and the
# Windows release programs (windows-x86, windows-x64; set BENCHMARK_WINDOWS=0 to leave
# them out), then times the POSIX program end to end against the simulated camera on a
# pseudo-terminal, on a loop-mounted FAT card where the host has one, measures the heap of
# one run under valgrind and prints the sizes.
# Timings on a shared machine are noisy: compare the figures of one run with each other.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
runs=${1:-7}
jobs=$(nproc)

echo "Building the native-release preset (fwupgrade simcamera boxpair durablereplace) ..."
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$jobs" --target fwupgrade simcamera boxpair durablereplace >/dev/null

windows=()
if [ "${BENCHMARK_WINDOWS:-1}" != 0 ]; then
  for preset in windows-x86 windows-x64; do
    echo "Building fwupgrade.exe of the $preset preset ..."
    if cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs" --target fwupgrade >/dev/null; then
      windows+=(--windows-build-dir "build/$preset")
    else
      echo "  $preset could not be built; its size is left out" >&2
    fi
  done
fi

PYTHONDONTWRITEBYTECODE=1 exec python3 tests/e2e/benchmark.py --build-dir build/native-release \
  --catalogue resources/Messages.rc --runs "$runs" "${windows[@]}"
