#!/usr/bin/env bash
# Runs the utility end to end against the simulated camera component.
#
#   bash scripts/demo.sh           the Windows x86 release program under Wine, in a private
#                                  prefix with a card folder as drive E:; every message box is
#                                  printed and answered OK (the x64 program where this host
#                                  cannot run 32-bit programs at all, natively or emulated)
#   bash scripts/demo.sh posix     the POSIX program in this terminal, with a card folder
#   bash scripts/demo.sh linux     the POSIX program with the Linux camera component in a
#                                  virtual machine (QEMU, Debian's kernel) over an emulated USB
#                                  disk holding a FAT32 card; its serial console is shown as it
#                                  runs and every box is answered OK from here
#
# Then the package on the card is compared with the payload byte for byte. Installs what the
# build needs first (as root, once). The work is kept in build/<preset>/demo (build/native/vm
# for linux).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

arch=()
case "${1:-windows}" in
  windows)
    platform=windows preset=windows-x86 targets=(fwupgrade simcamera boxharness)
    host=$(sh tools/emulation/i386emu/i386-host.sh ensure)
    case "$host" in
      native) echo "This host runs 32-bit programs: the demo runs the x86 release program." ;;
      emulated*) echo "This host cannot execute 32-bit programs itself: the x86 release program runs under user-mode emulation (qemu-i386)." ;;
      *) echo "This host cannot run 32-bit programs (${host#unavailable }): the demo runs the x64 program instead."
         preset=windows-x64 arch=(--arch win64) ;;
    esac ;;
  posix) platform=posix preset=native targets=(fwupgrade simcamera) ;;
  linux)
    echo "Building the native preset (fwupgrade usbcamera) ..."
    cmake --preset native >/dev/null
    cmake --build --preset native -j "$(nproc)" --target fwupgrade usbcamera
    PYTHONDONTWRITEBYTECODE=1 exec python3 usbcamera/test/vm/run_vm.py --build-dir build/native --only partitioned --show ;;
  *) echo "usage: $0 [windows|posix|linux]" >&2; exit 64 ;;
esac

echo "Building the $preset preset (${targets[*]}) ..."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target "${targets[@]}"
PYTHONDONTWRITEBYTECODE=1 exec python3 tests/e2e/demo.py "$platform" --build-dir "build/$preset" "${arch[@]}"
