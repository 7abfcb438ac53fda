#!/bin/sh
# Installs the Debian 12 packages Quorlin needs, when missing:
#   tools/deps.sh run    building the console and the simulated module, and running them
#   tools/deps.sh test   that, and every test, check and tool of tools/test.sh
# Each package is named once, in the list of the first purpose that needs it.
set -e
case "${1:-}" in
    run | test) PURPOSE=$1 ;;
    *)
        echo "usage: tools/deps.sh run|test" >&2
        exit 2
        ;;
esac

# Building: the compiler, CMake and Ninja, Qt's development files (with the serial port and
# the GBK codec of Core5Compat), and the X protocol library the large copies go through.
RUN="g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev \
     qt6-5compat-dev libxcb1-dev libgl-dev"
# Running: a font that draws the window's Chinese text, and Qt's own texts (message box
# buttons, context menus) in Chinese. On a Wayland desktop the window goes through XWayland.
RUN="$RUN fonts-noto-cjk qt6-translations-l10n"

# The real-window checks under Xvfb, and the one under a headless Weston with Qt's Wayland
# platform plugin; the desktop entry and AppStream checks; manual pages.
TEST="xvfb xauth x11-utils xdotool xclip weston qt6-wayland appstream desktop-file-utils help2man"
# The package checks: lintian, the dependencies worked out by dpkg-shlibdeps (which needs
# file), hardening-check, and two clean builds of the last commit.
TEST="$TEST lintian dpkg-dev file devscripts git"
# The virtual machine with real serial drivers: QEMU, and for its initramfs busybox, cpio,
# udevd, and xz to unpack the kernel.
TEST="$TEST qemu-system-x86 busybox-static cpio udev xz-utils"
# The fuzz targets: clang with its sanitizer and libFuzzer runtimes.
TEST="$TEST clang libclang-rt-14-dev"

PKGS=$RUN
[ "$PURPOSE" = test ] && PKGS="$RUN $TEST"
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
