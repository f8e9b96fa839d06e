#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The camera on a real kernel: boots Debian 12's own kernel (linux-image-amd64) in QEMU with the
# real v4l2loopback module (Debian's v4l2loopback-dkms source, built against the matching
# headers), and runs tests/vm/guest_test.sh inside it under the real systemd as PID 1.
#
#   tests/vm/boot.sh [BUILD_DIR [PACKAGE.deb]]
#
# The machine's root is this machine's root, shared read-only over 9p under a tmpfs overlay:
# nothing the virtual machine writes reaches this machine, and the build tree's programs are
# at the same paths inside. Only the results directory is shared writable. Without a package
# one is made from BUILD_DIR with cpack. The kernel, its modules, the built module and the
# initramfs are kept in BUILD_DIR/vm-cache (LUMAGHOST_VM_CACHE); a run that finds them skips
# their making. TCG only: KVM is not usable on these machines. Needs root (apt-get).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
deb=${2:-}
cache=${LUMAGHOST_VM_CACHE:-$build/vm-cache}
timeout_s=${LUMAGHOST_VM_TIMEOUT:-720}
started=$(date +%s)
phase() { echo "== $(($(date +%s) - started)) s: $*"; }
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# shellcheck source=tests/vm/vm_cache.sh
. "$here/vm_cache.sh"

mkdir -p "$cache"
phase "packages"
vm_install_packages

phase "kernel, module and initramfs in $cache"
kver=$(vm_kernel_release)
vm_prepare_kernel "$kver"
vm_build_loopback "$kver"
vm_make_initramfs "$kver"

phase "packages of the camera"
work=$(mktemp -d /var/tmp/lumaghost-vm.XXXXXX)
results=$work/results
mkdir -p "$results"
qemu_pid=
cleanup() {
    cp "$results/console.log" "$cache/console.log" 2>/dev/null || true
    [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
vm_packages "$build" "$deb" "$work/packages"

# What the guest is told: where the tree, the build and the packages are.
cat >"$results/env" <<EOF
LUMAGHOST_VM_REPO=$repo
LUMAGHOST_VM_BUILD=$build
LUMAGHOST_VM_DEB=$work/packages/lumaghost.deb
LUMAGHOST_VM_DEB_UPGRADE=$work/packages/lumaghost-upgrade.deb
LUMAGHOST_VM_PACKAGE_FILES=$work/packages/files
LUMAGHOST_VM_KVER=$kver
LUMAGHOST_VM_LOOPBACK=$(basename "$(echo "$cache/$kver"/usr/src/v4l2loopback-*)")
LUMAGHOST_VM_MODULES=$cache/$kver/lib/modules/$kver
EOF

phase "boot (TCG)"
smp=$(($(nproc) > 1 ? 2 : 1))
qemu-system-x86_64 -accel tcg -cpu max -smp "$smp" -m 2048 -nodefaults -no-reboot \
    -display none -monitor none -serial "file:$results/console.log" \
    -kernel "$cache/$kver/boot/vmlinuz-$kver" -initrd "$cache/initramfs-$kver.cpio.gz" \
    -append "console=ttyS0 panic=-1 loglevel=4 systemd.unit=lumaghost-vm.target systemd.show_status=0" \
    -virtfs "local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap" \
    -virtfs "local,path=$results,mount_tag=results,security_model=none" \
    -device virtio-rng-pci >"$work/qemu.log" 2>&1 &
qemu_pid=$!
deadline=$(($(date +%s) + timeout_s))
while kill -0 "$qemu_pid" 2>/dev/null; do
    # The guest writes its status last; a machine slow to power off is not waited for long.
    if [ -f "$results/status" ] && [ "$deadline" -gt $(($(date +%s) + 15)) ]; then
        deadline=$(($(date +%s) + 15))
        timeout_s="its status and 15"
    fi
    if [ "$(date +%s)" -ge "$deadline" ] && [ -f "$results/status" ]; then
        kill "$qemu_pid" 2>/dev/null || true
        wait "$qemu_pid" 2>/dev/null || true
        qemu_pid=
        break
    fi
    if [ "$(date +%s)" -ge "$deadline" ]; then
        kill "$qemu_pid" 2>/dev/null || true
        wait "$qemu_pid" 2>/dev/null || true
        qemu_pid=
        tail -n 60 "$results/console.log" >&2 || true
        fail "the virtual machine did not finish within $timeout_s s"
    fi
    sleep 1
done
if [ -n "$qemu_pid" ]; then
    wait "$qemu_pid" || { cat "$work/qemu.log" >&2; qemu_pid=; fail "qemu failed"; }
    qemu_pid=
fi
phase "powered off"

[ -f "$results/guest.log" ] || {
    tail -n 80 "$results/console.log" >&2
    fail "the test did not run in the virtual machine"
}
cat "$results/guest.log"
for f in "$results"/*.txt; do
    [ -e "$f" ] && { echo "--- ${f##*/}"; cat "$f"; }
done
status=$(cat "$results/status" 2>/dev/null || echo "no status")
phase "guest status: $status"
[ "$status" = 0 ] || {
    echo "--- console (last lines)"
    tail -n 40 "$results/console.log"
    fail "the test in the virtual machine failed"
}
echo "PASS: the camera on Debian's kernel $kver with v4l2loopback"
