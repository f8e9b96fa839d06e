#!/bin/busybox sh
# SPDX-License-Identifier: LGPL-2.1-or-later
# The virtual machine's /init: the host's root (9p, read-only) under a tmpfs overlay, Debian's
# modules for this kernel in /lib/modules, the results directory (9p, writable) in
# /lumaghost-vm, then the real systemd as PID 1.
/bin/busybox --install -s /bin
export PATH=/bin
die() {
    echo "init: $*"
    poweroff -f
}
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r m; do
    insmod "/modules/$m" || die "insmod $m failed"
done </modules/order

opts=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o "$opts,cache=loose,ro" root /lower || die "cannot mount the host's root"
mount -t tmpfs -o mode=755 tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work overlay /newroot ||
    die "cannot mount the overlay"
# The host's /tmp is not the machine's: a boot empties /tmp, which would walk it over 9p.
mount -t tmpfs -o mode=1777 tmpfs /newroot/tmp
mkdir -p /newroot/lumaghost-vm
mount -t 9p -o "$opts" results /newroot/lumaghost-vm || die "cannot mount the results directory"
. /newroot/lumaghost-vm/env

# Debian's modules for the running kernel, with the v4l2loopback built for it.
mkdir -p "/newroot/lib/modules/$LUMAGHOST_VM_KVER"
mount --bind "/newroot$LUMAGHOST_VM_MODULES" "/newroot/lib/modules/$LUMAGHOST_VM_KVER" ||
    die "cannot mount the modules"

# The package's module files, where an installation puts them: they load v4l2loopback at boot.
files=/newroot$LUMAGHOST_VM_PACKAGE_FILES
for f in "$files"/lib/modprobe.d/* "$files"/usr/lib/modprobe.d/* \
    "$files"/lib/modules-load.d/* "$files"/usr/lib/modules-load.d/*; do
    [ -f "$f" ] || continue
    dest=/newroot${f#"$files"}
    mkdir -p "${dest%/*}"
    cp "$f" "$dest"
done

# This machine's root is a container's: systemd would take the machine for one (and pass over
# the kernel's command line), services may not start (policy-rc.d), and its own periodic jobs
# have no place in the test machine.
rm -f /newroot/.dockerenv /newroot/usr/sbin/policy-rc.d
mount -t tmpfs -o mode=755,nosuid,nodev tmpfs /newroot/run
for t in /newroot/etc/systemd/system/timers.target.wants/*.timer; do
    [ -e "$t" ] && ln -sf /dev/null "/newroot/etc/systemd/system/${t##*/}"
done
cp "/newroot$LUMAGHOST_VM_REPO/tests/vm/lumaghost-vm.target" \
    "/newroot$LUMAGHOST_VM_REPO/tests/vm/lumaghost-vm-test.service" /newroot/etc/systemd/system/

echo "init: the host's root under an overlay, modules of $LUMAGHOST_VM_KVER, starting systemd"
exec switch_root /newroot /sbin/init
