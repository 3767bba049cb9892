#!/bin/sh
# The emulation check once more through the emulation, for a host that runs 32-bit programs
# itself.  Where this host's 32-bit programs already run emulated, i386emu_check has just
# run that very path, so this reports itself skipped instead of playing it again.
# Usage: check-forced.sh WINE_RUN FOLDER PROGRAM
set -eu
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$1; folder=$2; shift 2
case "$(sh "$here/i386-host.sh" ensure)" in
  emulated*)
    echo "wine-run: skipped: this host runs 32-bit programs under the emulation already (i386emu_check)"
    exit 77 ;;
esac
FWUPGRADE_I386=emulate FWUPGRADE_I386_STATE=$folder/state exec sh "$wine_run" "$folder/prefix" win32 "$@"
