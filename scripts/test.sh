#!/usr/bin/env bash
# Builds every preset and tests it: native, native-asan, windows-x86, windows-x64 whole,
# with all their tests; of native-release, which has no tests of its own (the same sources
# are tested in the presets above), what owners get: the Debian package and what it holds;
# of fuzz the fuzz targets, and their replays of the corpus (the rest of that build would
# be the same tests under other sanitizers, never run).  FWUPGRADE_PRESETS names others.
# Fails if any build or any test fails.
#
# The windows-x86 tests run the 32-bit programs the way this host can: natively, or under
# user-mode emulation where the kernel runs no 32-bit code (tools/emulation/i386emu;
# FWUPGRADE_I386=emulate takes that path on any host).  Where neither is possible CTest
# reports those tests as skipped, and the last line here says so.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(${FWUPGRADE_PRESETS:-native native-asan native-release windows-x86 windows-x64 fuzz})
bash scripts/install-deps.sh "${presets[@]}"
jobs=$(nproc)
skipped=
timings=
for preset in "${presets[@]}"; do
  started=$SECONDS
  echo "=== $preset"
  if [ "$preset" = windows-x86 ]; then
    host=$(sh tools/emulation/i386emu/i386-host.sh ensure)
    case "$host" in
      native) echo "32-bit programs run natively on this host." ;;
      emulated*) echo "This host cannot execute 32-bit programs: they run under user-mode emulation (qemu-i386 with tools/emulation/i386emu's fix-ups)." ;;
      *) skipped=${host#unavailable }
         echo "32-bit programs cannot run on this host ($skipped): the Wine tests of this preset are reported as skipped." ;;
    esac
  fi
  cmake --preset "$preset" >/dev/null
  case "$preset" in
    native-release) cmake --build --preset "$preset" -j "$jobs" --target deb ;;
    fuzz) cmake --build --preset "$preset" -j "$jobs" --target fuzzers
          ctest --preset "$preset" -j "$jobs" -R '_replay$' ;;
    *) cmake --build --preset "$preset" -j "$jobs"
       ctest --preset "$preset" -j "$jobs" ;;
  esac
  if [ "$preset" = native ]; then
    # The same unit tests again under valgrind (not the whole-program runs or the package
    # checks, which drive programs from Python): leaks and memory errors fail them.
    ctest --test-dir build/native -j "$jobs" -T memcheck -LE "e2e|package"
  fi
  timings+="$preset: $((SECONDS - started)) s; "
done
echo "Time taken: ${timings% }"
if [ -n "$skipped" ]; then
  echo "windows-x86: the tests that run the 32-bit programs were skipped: $skipped."
fi
