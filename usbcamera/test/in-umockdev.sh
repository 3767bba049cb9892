#!/bin/sh
# Runs PROGRAM inside umockdev-run with the device description FILE: the program sees a
# fake /sys, and may fake /proc files by writing them under $UMOCKDEV_DIR/proc.
#
#   in-umockdev.sh FILE PROGRAM [ARGUMENT...]
#
# Exits 77 (the tests' "skipped") with the reason when umockdev-run is not installed.
set -eu
if ! command -v umockdev-run >/dev/null 2>&1; then
  echo "SKIPPED: umockdev-run is not installed (Debian package umockdev)"
  exit 77
fi
device=$1
shift
exec umockdev-run --device "$device" -- "$@"
