#!/bin/sh
# Boots Debian's own kernel under QEMU (TCG, no KVM) around one program, for the console's
# test on real serial drivers:
#   rig.sh <work dir> <program> <platform plugin> <uart pty> <adapter pty> <qmp socket>
# The guest's ttyS0 is its console, on QEMU's standard input and output, where the program
# (run with --guest) talks to the test. ttyS1 is a 16550A wired to <uart pty>; ttyUSB0 an
# FTDI adapter (QEMU's usb-serial on xHCI, QMP id "adapter", with a serial number of its own
# as a real one has, whichever socket it is in) wired to <adapter pty>. The
# guest runs udevd as a desktop does: it puts the adapter's model name on its tty, which
# the port list shows. The kernel is fetched once and kept in <work dir>.
set -e
work=$1 program=$2 plugin=$3 uart=$4 adapter=$5 qmp=$6
# Modules as the kernel package ships them (plain .ko, which busybox insmod loads), in
# load order.
modules="usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio"
mkdir -p "$work"
cd "$work"

if [ ! -f kernel/vmlinux ]; then
    # linux-image-amd64 names the current kernel package; a fresh machine may have no
    # package lists yet.
    current() { apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: //p' | head -n1; }
    pkg=$(current)
    [ -n "$pkg" ] || { apt-get update -qq >&2 && pkg=$(current); }
    [ -n "$pkg" ] || { echo "rig: no kernel package found (run apt-get update as root)" >&2; exit 1; }
    rm -rf kernel.tmp && mkdir -p kernel.tmp/mod
    (cd kernel.tmp && apt-get download "$pkg" >&2)
    patterns="./boot/vmlinuz-*"
    for m in $modules; do patterns="$patterns */$m.ko"; done
    dpkg-deb --fsys-tarfile kernel.tmp/*.deb | tar -x -C kernel.tmp --wildcards $patterns
    find kernel.tmp/lib -name '*.ko' -exec mv {} kernel.tmp/mod/ \;
    # The kernel image unpacks itself with xz, which takes QEMU's emulated processor over ten
    # seconds at every boot: unpack it once here and boot the bare kernel (PVH entry).
    vmlinuz=$(ls kernel.tmp/boot/vmlinuz-*)
    at=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -n1 | cut -d: -f1)
    tail -c +$((at + 1)) "$vmlinuz" | xz -dc > kernel.tmp/vmlinux 2>/dev/null || true
    [ -s kernel.tmp/vmlinux ] || { echo "rig: cannot unpack $vmlinuz" >&2; exit 1; }
    rm -rf kernel.tmp/*.deb kernel.tmp/boot kernel.tmp/lib kernel
    mv kernel.tmp kernel
fi

# The initramfs: busybox, the program with every library it loads, the platform plugin,
# one CJK font, udevd with the rule that names serial devices, the modules.
root=initramfs.d
rm -rf "$root" && mkdir -p "$root/bin" "$root/mod"
cp /bin/busybox "$root/bin/"
strip -o "$root/bin/guest" "$program"
cp kernel/mod/*.ko "$root/mod/"
udevd=/lib/systemd/systemd-udevd
for f in "$plugin" "$udevd" /lib/udev/rules.d/60-serial.rules /etc/fonts/fonts.conf \
    /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc \
    $(ldd "$program" "$plugin" "$udevd" | awk '$2 == "=>" { print $3 } $1 ~ /^\// && $2 ~ /^\(/ { print $1 }'); do
    cp -L --parents "$f" "$root"
done
cat > "$root/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mkdir -p /proc /sys /dev /run /tmp
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
mount -t tmpfs run /run; mount -t tmpfs tmp /tmp; mkdir /run/lock; mkdir -m 700 /run/user
$udevd --daemon
for m in $modules; do insmod /mod/\$m.ko; done
stty -F /dev/ttyS0 raw -echo
# Without a per-thread cache of freed blocks, the heap in use that the test reads is what
# the program holds.
export HOME=/tmp XDG_RUNTIME_DIR=/run/user QT_QPA_PLATFORM=offscreen GLIBC_TUNABLES=glibc.malloc.tcache_count=0
/bin/guest --guest </dev/ttyS0 >/dev/ttyS0 2>&1
reboot -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) > initramfs.cpio
rm -rf "$root"

exec qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot -accel tcg \
    -cpu max -m 512 -kernel kernel/vmlinux -initrd initramfs.cpio \
    -append "console=ttyS0 quiet loglevel=1 panic=-1" \
    -serial stdio -serial "$uart" \
    -device qemu-xhci,id=xhci -chardev serial,id=adapterline,path="$adapter" \
    -device usb-serial,id=adapter,bus=xhci.0,chardev=adapterline,serial=QUORLIN-A1 \
    -qmp "unix:$qmp,server=on,wait=off"
