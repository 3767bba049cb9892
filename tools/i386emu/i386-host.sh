#!/bin/sh
# How this host runs 32-bit x86 programs, decided once by trying, and the user-mode
# emulation for hosts whose kernel runs no 32-bit code (README.md beside this file).
#
#   i386-host.sh ensure   prints one line: "native", "emulated PRELOAD" (the LD_PRELOAD value
#                         that 32-bit Wine processes need) or "unavailable REASON"; registers
#                         the emulator with binfmt_misc when it is needed and not yet there
#   i386-host.sh remove   removes the emulator's registration, if this script made it
#
# FWUPGRADE_I386=emulate uses the emulation even where the host runs 32-bit code itself,
# FWUPGRADE_I386=off reports the 32-bit path unavailable; unset or auto decides by trying.
# The outcome is kept in build/i386emu/ and decided anew when FWUPGRADE_I386 changes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
state=${FWUPGRADE_I386_STATE:-$(cd "$here/../.." && pwd)/build/i386emu}
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/fwupgrade-i386
qemu=/usr/bin/qemu-i386-static
choice=${FWUPGRADE_I386:-auto}

# The i386 ELF executable and shared-object headers, as Debian's qemu-i386 entry matches them.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

build() {
  mkdir -p "$state/i386-linux-gnu" "$state/x86_64-linux-gnu"
  flags="-ffreestanding -fno-stack-protector -fno-asynchronous-unwind-tables -O2 -Wall -Wextra -Werror"
  gcc -m32 $flags -fno-pic -c "$here/probe.c" -o "$state/probe.o"
  ld -m elf_i386 -static -e _start "$state/probe.o" -o "$state/probe32"
  gcc -m32 $flags -fPIC -c "$here/preload.c" -o "$state/preload32.o"
  ld -m elf_i386 -shared -soname libfwupgrade-i386emu.so -z noexecstack \
     "$state/preload32.o" -o "$state/i386-linux-gnu/libfwupgrade-i386emu.so"
  # The 64-bit processes of the same run find a library of the same name that does nothing.
  echo 'void fwupgrade_i386emu_inactive(void) {}' | gcc -x c -shared -fPIC -o "$state/x86_64-linux-gnu/libfwupgrade-i386emu.so" -
}

# Runs the probe: 0 native, 3 emulated, anything else cannot run it.
probe() {
  "$state/probe32" 2>/dev/null && return 0 || return $?
}

native_capable() {
  # Our own registration would answer for the kernel: switch it off while the probe runs.
  if [ -f "$entry" ]; then echo 0 > "$entry"; fi
  code=0; probe || code=$?
  if [ -f "$entry" ]; then echo 1 > "$entry"; fi
  [ "$code" -eq 0 ]
}

register() {
  [ -f "$entry" ] && return 0
  [ -x "$qemu" ] || { echo "no $qemu (package qemu-user-static)"; return 1; }
  if [ ! -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || { echo "binfmt_misc is not mounted and cannot be (needs root)"; return 1; }
  fi
  # F: the kernel opens the interpreter now, so it is found from any mount namespace or root.
  printf ':fwupgrade-i386:M::%s:%s:%s:F\n' "$magic" "$mask" "$qemu" > "$binfmt/register" 2>/dev/null ||
    { echo "cannot register $qemu with binfmt_misc (needs root)"; return 1; }
  touch "$state/registered-here"
}

decide() {
  if [ "$choice" = off ]; then
    echo "unavailable 32-bit programs turned off by FWUPGRADE_I386=off"; return
  fi
  build >"$state/build.log" 2>&1 || { echo "unavailable cannot build the 32-bit probe (see $state/build.log)"; return; }
  if [ "$choice" != emulate ] && native_capable; then
    echo native; return
  fi
  why=$(register) || { echo "unavailable this host cannot execute 32-bit programs and the emulation cannot be set up: $why"; return; }
  code=0; probe || code=$?
  if [ "$code" -ne 3 ]; then
    echo "unavailable the emulator is registered but the 32-bit probe exited with $code"; return
  fi
  echo "emulated $state/\$LIB/libfwupgrade-i386emu.so"
}

case "${1:-}" in
  ensure)
    mkdir -p "$state"
    (
      flock 9
      if [ "$(cat "$state/choice" 2>/dev/null)" != "$choice" ] || [ ! -f "$state/mode" ] ||
         { grep -q '^emulated' "$state/mode" && [ ! -f "$entry" ]; }; then
        decide > "$state/mode"
        echo "$choice" > "$state/choice"
      fi
    ) 9>"$state/.lock"
    cat "$state/mode" ;;
  remove)
    if [ -f "$state/registered-here" ] && [ -f "$entry" ]; then
      echo -1 > "$entry"
      rm -f "$state/registered-here" "$state/mode"
    fi ;;
  *) echo "usage: $0 ensure|remove" >&2; exit 64 ;;
esac
