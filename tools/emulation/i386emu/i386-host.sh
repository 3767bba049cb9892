#!/bin/sh
# How this host runs 32-bit x86 programs, decided once by trying, and the user-mode
# emulation for hosts whose kernel runs no 32-bit code (README.md beside this file).
#
#   i386-host.sh ensure   prints one line: "native", "emulated LOADER" (the Wine loader to
#                         name in WINELOADER: a 64-bit loader whose 32-bit sibling runs under
#                         the emulator) or "unavailable REASON"
#
# FWUPGRADE_I386=emulate uses the emulation even where the host runs 32-bit code itself,
# FWUPGRADE_I386=off reports the 32-bit path unavailable; unset or auto decides by trying.
# The outcome is kept in build/i386emu/ (FWUPGRADE_I386_STATE names another folder) and is
# decided anew when FWUPGRADE_I386 or a source here changes.  Nothing is registered with the system: only
# the Wine processes started through the loader it names are emulated.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
state=${FWUPGRADE_I386_STATE:-$(cd "$here/../../.." && pwd)/build/i386emu}
choice=${FWUPGRADE_I386:-auto}
qemu=/usr/bin/qemu-i386-static
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

build() {
  flags="-ffreestanding -fno-stack-protector -fno-asynchronous-unwind-tables -O2 -Wall -Wextra -Werror"
  mkdir -p "$state/lib/i386-linux-gnu" "$state/lib/x86_64-linux-gnu"
  gcc -m32 $flags -fno-pic -c "$here/probe.c" -o "$state/probe.o"
  ld -m elf_i386 -static -e _start "$state/probe.o" -o "$state/probe32"
  gcc -m32 $flags -fPIC -c "$here/preload.c" -o "$state/preload32.o"
  ld -m elf_i386 -shared -soname libfwupgrade-i386emu.so -z noexecstack \
     "$state/preload32.o" /lib/i386-linux-gnu/libc.so.6 -o "$state/lib/i386-linux-gnu/libfwupgrade-i386emu.so"
  # ld.so expands $LIB to lib/<multiarch triplet>: the 64-bit processes of the same run find
  # a library of the same name that does nothing.
  echo 'void fwupgrade_i386emu_inactive(void) {}' |
    gcc -x c -shared -fPIC -o "$state/lib/x86_64-linux-gnu/libfwupgrade-i386emu.so" -
}

# Wine finds the loader of the other width beside its own program file, and its data and
# libraries relative to that folder, so the loaders live in a copy of Debian's layout:
# usr/lib/wine holds a copy of the native 64-bit loader, the 32-bit loader's program file
# (wine32, run by the emulator) and `wine`, which starts it under the emulator with the
# fix-ups preloaded (loader32.c); the rest of usr/ links to the system's.
write_loaders() {
  wine_dir="$state/usr/lib/wine"
  rm -rf "$state/usr"
  mkdir -p "$wine_dir"
  for d in i386-linux-gnu x86_64-linux-gnu; do ln -s "/usr/lib/$d" "$state/usr/lib/$d"; done
  ln -s /usr/share "$state/usr/share"
  ln -s /usr/lib/wine/wineserver "$wine_dir/wineserver"
  cp "$wine64" "$wine_dir/wine64"
  cp "$wine32" "$wine_dir/wine32"
  gcc -O2 -Wall -Wextra -Werror -DFWUPGRADE_QEMU="\"$qemu\"" -DFWUPGRADE_WINE_DIR="\"$wine_dir\"" \
      -DFWUPGRADE_PRELOAD="\"$state/\$LIB/libfwupgrade-i386emu.so\"" "$here/loader32.c" -o "$wine_dir/wine"
}

# 0: the kernel ran the probe natively; 3: it ran under an emulator; else it could not run.
probe() {
  code=0
  "$@" "$state/probe32" 2>/dev/null || code=$?
  return "$code"
}

decide() {
  if [ "$choice" = off ]; then
    echo "unavailable 32-bit programs turned off by FWUPGRADE_I386=off"; return
  fi
  if ! build >"$state/build.log" 2>&1; then
    echo "unavailable cannot build the 32-bit probe and fix-ups with gcc -m32 and ld (see $state/build.log)"; return
  fi
  if [ "$choice" != emulate ] && probe; then
    echo native; return
  fi
  if [ ! -x "$qemu" ]; then
    echo "unavailable this host cannot execute 32-bit programs and $qemu (package qemu-user-static) is missing"; return
  fi
  code=0; probe "$qemu" || code=$?
  if [ "$code" -ne 3 ]; then
    echo "unavailable $qemu did not run the 32-bit probe (exit $code)"; return
  fi
  if ! write_loaders >>"$state/build.log" 2>&1; then
    echo "unavailable cannot build the emulated loader (see $state/build.log)"; return
  fi
  echo "emulated $state/usr/lib/wine/wine64"
}

case "${1:-}" in
  ensure)
    mkdir -p "$state"
    (
      flock 9
      stale=
      for source in "$here"/*.c "$0"; do [ "$source" -nt "$state/mode" ] && stale=1; done
      if [ "$(cat "$state/choice" 2>/dev/null)" != "$choice" ] || [ ! -s "$state/mode" ] || [ -n "$stale" ]; then
        decide > "$state/mode"
        echo "$choice" > "$state/choice"
      fi
    ) 9>"$state/.lock"
    cat "$state/mode" ;;
  *) echo "usage: $0 ensure" >&2; exit 64 ;;
esac
