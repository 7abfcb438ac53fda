#!/bin/sh
# Installs the Debian 12 packages Quorlin needs to build, run and test, when missing.
set -e
PKGS="g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev \
      qt6-5compat-dev libxcb1-dev libgl-dev fonts-noto-cjk qt6-translations-l10n xvfb xauth x11-utils xdotool xclip \
      weston qt6-wayland appstream desktop-file-utils lintian help2man"
# The package checks: dependencies worked out by dpkg-shlibdeps (which needs file),
# hardening-check, and two clean builds of the last commit.
PKGS="$PKGS dpkg-dev file devscripts git"
# The virtual machine with real serial drivers: QEMU, and for its initramfs busybox, cpio,
# udevd, and xz to unpack the kernel.
PKGS="$PKGS qemu-system-x86 busybox-static cpio udev xz-utils"
# The fuzz targets: clang with its sanitizer and libFuzzer runtimes.
PKGS="$PKGS clang libclang-rt-14-dev"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
