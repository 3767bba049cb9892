#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12.  Run as root; does
# nothing when all is already there.  The arguments name the presets to be built; the
# fuzz preset needs Clang and its libFuzzer runtime besides.
#
#   bash scripts/install-deps.sh [preset...]
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3 util-linux
  # the whole-program rows' cards of their own: ext2 with 1 KiB blocks on a loop device
  e2fsprogs mount
  googletest libgtest-dev valgrind
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386
  # 32-bit Windows programs on hosts whose kernel runs no 32-bit code (tools/emulation/i386emu)
  qemu-user-static
  # the release's Authenticode signature, and the throwaway authority its test signs with
  osslsigncode openssl
  # the desktop dialogs on an X server, read back by OCR (tests/e2e/run_desktop.py)
  xvfb xauth x11-utils xdotool imagemagick openbox fonts-vlgothic libgtk-3-0
  tesseract-ocr tesseract-ocr-eng tesseract-ocr-jpn
  # The Linux camera component's tests: a fake sysfs (umockdev), and a virtual machine
  # with a busybox initramfs over a FAT32 card image (usbcamera/test/vm)
  umockdev qemu-system-x86 busybox-static cpio fdisk dosfstools mtools
  # the Debian package: made, checked, installed against the umockdev camera
  # (tools/packaging/debian)
  dpkg-dev lintian desktop-file-utils
)
for preset in "$@"; do
  # --no-install-recommends leaves libFuzzer's runtime out of clang's dependencies.
  if [ "$preset" = fuzz ]; then
    packages+=(clang libclang-rt-14-dev)
  fi
done

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

arch_step=
dpkg --print-foreign-architectures | grep -qx i386 || arch_step="dpkg --add-architecture i386 && "
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: run as root:  bash scripts/install-deps.sh" >&2
  echo "install-deps: or by hand:   ${arch_step}apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
[ -z "$arch_step" ] || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
