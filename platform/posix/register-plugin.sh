#!/bin/sh
# Registers the simulated camera component's plugin with the POSIX COM runtime, as
# regsvr32 registers the DLL on Windows: writes CLSID/{clsid}/InprocServer32 holding the
# plugin's absolute path into the registry directory.
#
#   register-plugin.sh PLUGIN [REGISTRY_DIR]     register
#   register-plugin.sh -u [REGISTRY_DIR]         remove the entry
#
# REGISTRY_DIR defaults to $POSIXCOM_REGISTRY, else $HOME/.posixcom.
set -eu
clsid='{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}'

if [ "${1:-}" = "-u" ]; then
  registry=${2:-${POSIXCOM_REGISTRY:-$HOME/.posixcom}}
  rm -rf "$registry/CLSID/$clsid"
  exit 0
fi
[ $# -ge 1 ] || { echo "usage: $0 PLUGIN [REGISTRY_DIR] | -u [REGISTRY_DIR]" >&2; exit 2; }
plugin=$1
registry=${2:-${POSIXCOM_REGISTRY:-$HOME/.posixcom}}
[ -f "$plugin" ] || { echo "$0: no plugin at $plugin" >&2; exit 1; }
plugin=$(cd "$(dirname "$plugin")" && pwd)/$(basename "$plugin")
mkdir -p "$registry/CLSID/$clsid"
printf '%s\n' "$plugin" > "$registry/CLSID/$clsid/InprocServer32"
