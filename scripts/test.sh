#!/usr/bin/env bash
# Builds and tests all four presets: native, native-asan, windows-x86, windows-x64, or
# those FWUPGRADE_PRESETS names (the fuzz preset among them).  Fails if any build or any
# test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(${FWUPGRADE_PRESETS:-native native-asan windows-x86 windows-x64})
bash scripts/install-deps.sh "${presets[@]}"
jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = native ]; then
    # The same unit tests again under valgrind: leaks and memory errors fail them.
    ctest --test-dir build/native -j "$jobs" -T memcheck -LE e2e
  fi
done
