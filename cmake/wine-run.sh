#!/bin/sh
# Runs a Windows program under Wine in a private, headless prefix, creating the prefix
# on first use.  Usage: wine-run.sh PREFIX_DIR win32|win32-prefix|win64 PROGRAM [ARGS...]
# The exit code is the program's.  Several runs may start at once: creation is locked.
#
# 64-bit programs always start through the 64-bit loader: Debian's `wine` script picks the
# 32-bit one whenever wine32 is installed, which fails on hosts that cannot execute 32-bit
# code.  How 32-bit programs run is decided once per host by
# tools/emulation/i386emu/i386-host.sh: natively in a 32-bit prefix, or, where the kernel runs no 32-bit code, as 32-bit processes
# of a 64-bit prefix under user-mode emulation (only the 32-bit processes are emulated; the
# Wine services run natively).  win32-prefix asks for a 32-bit prefix on either kind of
# host; emulated, every process of such a prefix runs under the emulator, which is slower,
# so only what must be seen in that layout asks for it (a 32-bit component's one registry
# view).  Where neither works, the run prints a line starting with "wine-run: skipped:" and
# the reason, and exits with 77; CTest reports such a test as skipped.
set -eu
prefix=$1; arch=$2; shift 2
here=$(cd "$(dirname "$0")" && pwd)

case "$arch" in
  win64) layout=win64 loader=/usr/lib/wine/wine64 ;;
  win32|win32-prefix)
    host=$(sh "$here/../tools/emulation/i386emu/i386-host.sh" ensure) || {
      echo "wine-run: could not find out how this host runs 32-bit programs" >&2; exit 1; }
    case "$host" in
      native) layout=win32 loader=/usr/lib/wine/wine ;;
      emulated*)
        if [ "$arch" = win32 ]; then layout=wow64 loader=${host#emulated }
        else layout=win32 loader=$(dirname "${host#emulated }")/wine; fi ;;
      *) echo "wine-run: skipped: ${host#unavailable }"; exit 77 ;;
    esac ;;
  *) echo "wine-run: unknown architecture '$arch' (win32, win32-prefix or win64)" >&2; exit 64 ;;
esac

if [ "$layout" = win32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
export WINELOADER="$loader" WINESERVER=/usr/lib/wine/wineserver64 WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$(dirname "$prefix")"

ready="$prefix/.fwupgrade-ready"
(
  flock 9
  if [ "$(cat "$ready" 2>/dev/null)" != "$layout" ]; then
    rm -rf "$prefix"
    log="$prefix.log" reg="$prefix.reg"
    # No display here: the null graphics driver still gives working windows and message boxes.
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' > "$reg"
    if ! { "$loader" wineboot -i && "$loader" regedit /S "Z:$(echo "$reg" | tr / '\\')" &&
           "$WINESERVER" -w; } >"$log" 2>&1 || [ ! -f "$prefix/system.reg" ]; then
      cat "$log" >&2
      echo "wine-run: could not make the Wine prefix $prefix ($layout) with $loader; Wine's output is above." >&2
      exit 1
    fi
    rm -f "$reg" "$log"
    echo "$layout" > "$ready"
  fi
) 9>"$prefix.lock"
exec "$loader" "$@"
