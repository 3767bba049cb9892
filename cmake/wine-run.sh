#!/bin/sh
# Runs a Windows program under Wine in a private, headless prefix, creating the prefix
# on first use.  Usage: wine-run.sh PREFIX_DIR win32|win64 PROGRAM [ARGS...]
# The exit code is the program's.  Several runs may start at once: creation is locked.
set -eu
prefix=$1; arch=$2; shift 2
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
(
  flock 9
  if [ ! -f "$prefix/.fwupgrade-ready" ]; then
    rm -rf "$prefix"
    wineboot -i >/dev/null 2>&1 || true
    # No display here: the null graphics driver still gives working windows and message boxes.
    reg=$(mktemp --suffix=.reg)
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' > "$reg"
    wine regedit /S "$(winepath -w "$reg" 2>/dev/null || echo "$reg")" >/dev/null 2>&1 || true
    rm -f "$reg"
    wineserver -w
    touch "$prefix/.fwupgrade-ready"
  fi
) 9>"$prefix.lock"
exec wine "$@"
