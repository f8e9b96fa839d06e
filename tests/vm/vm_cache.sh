# SPDX-License-Identifier: LGPL-2.1-or-later
# The parts of the virtual machine that boot.sh makes once and keeps in $cache: Debian's kernel
# and modules, the v4l2loopback module built against Debian's headers, the initramfs. Sourced by
# boot.sh, which sets cache, here, fail and phase.

# The host's tools, installed where missing (never while another apt-get runs).
vm_install_packages() {
    local missing=()
    command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
    command -v v4l2-ctl >/dev/null || missing+=(v4l-utils)
    command -v ffmpeg >/dev/null || missing+=(ffmpeg)
    command -v depmod >/dev/null || missing+=(kmod)
    command -v cpio >/dev/null || missing+=(cpio)
    command -v gcc-12 >/dev/null || missing+=(gcc-12)
    command -v make >/dev/null || missing+=(make)
    command -v python3 >/dev/null || missing+=(python3)
    # udev gives the machine's video nodes to group video, as on a user's machine.
    dpkg -s udev >/dev/null 2>&1 || missing+=(udev)
    dpkg -s busybox-static >/dev/null 2>&1 || missing+=(busybox-static)
    dpkg -s gstreamer1.0-plugins-good >/dev/null 2>&1 || missing+=(gstreamer1.0-plugins-good)
    [ ${#missing[@]} -eq 0 ] && return 0
    while pgrep -x apt-get >/dev/null; do sleep 2; done
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
        >"$cache/apt.log" 2>&1 || {
        apt-get update -qq >/dev/null 2>&1 || true
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
            >"$cache/apt.log" 2>&1 || { tail -n 20 "$cache/apt.log"; fail "cannot install ${missing[*]}"; }
    }
}

# The release of Debian 12's current kernel (linux-image-amd64's dependency), or the cached one
# where the package lists cannot say.
vm_kernel_release() {
    local image
    image=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
    if [ -n "$image" ]; then
        echo "${image#linux-image-}"
    elif [ -f "$cache/kernel-release" ]; then
        cat "$cache/kernel-release"
    else
        fail "apt-cache knows no linux-image-amd64 (apt-get update?)"
    fi
}

# Debian's packages extracted, as dpkg would place them, into $cache/KVER: the kernel and its
# modules, the headers with kbuild, and v4l2loopback-dkms's source. An older kernel's tree goes.
vm_prepare_kernel() {
    local kver=$1 root=$cache/$1 version=${1%%-*}
    version=${version%.*}  # 6.1.0 -> 6.1
    [ -f "$root/.extracted" ] && return 0
    local d
    for d in "$cache"/*/.extracted; do
        [ -e "$d" ] && rm -rf "$(dirname "$d")"
    done
    rm -rf "$root" "$cache/debs"
    mkdir -p "$root" "$cache/debs"
    (cd "$cache/debs" && apt-get download "linux-image-$kver" "linux-headers-$kver" \
        "linux-headers-${kver%-*}-common" "linux-kbuild-$version" v4l2loopback-dkms \
        >"$cache/download.log" 2>&1) || { tail -n 20 "$cache/download.log"; fail "apt-get download failed"; }
    for d in "$cache"/debs/*.deb; do
        dpkg-deb -x "$d" "$root"
    done
    rm -rf "$cache/debs"
    # The headers name their common part by its installed path.
    sed -i "s|/usr/src/|$root/usr/src/|" "$root/usr/src/linux-headers-$kver/Makefile"
    echo "$kver" >"$cache/kernel-release"
    touch "$root/.extracted"
}

# v4l2loopback built from the DKMS source as DKMS would, placed where DKMS puts it, and the
# modules' index made.
vm_build_loopback() {
    local kver=$1 root=$cache/$1
    local ko=$root/lib/modules/$kver/updates/dkms/v4l2loopback.ko
    [ -f "$ko" ] && return 0
    local src
    src=$(echo "$root"/usr/src/v4l2loopback-*)
    [ -d "$src" ] || fail "no v4l2loopback source in $root/usr/src"
    rm -rf "$root/v4l2loopback-build"
    cp -r "$src" "$root/v4l2loopback-build"
    make -C "$root/usr/src/linux-headers-$kver" M="$root/v4l2loopback-build" modules \
        >"$cache/module-build.log" 2>&1 || { tail -n 30 "$cache/module-build.log"; fail "v4l2loopback does not build"; }
    mkdir -p "$(dirname "$ko")"
    cp "$root/v4l2loopback-build/v4l2loopback.ko" "$ko"
    depmod -b "$root" "$kver"
    echo "v4l2loopback ${src##*-} built for $kver"
}

# The initramfs: static busybox, tests/vm/init.sh as /init, and the modules that mount the
# root (virtio, 9p, overlay) with their dependencies in load order. Made again when init.sh is
# newer.
vm_make_initramfs() {
    local kver=$1 root=$cache/$1 image=$cache/initramfs-$1.cpio.gz
    [ -f "$image" ] && [ "$image" -nt "$here/init.sh" ] && return 0
    local dir=$cache/initramfs
    rm -rf "$dir"
    mkdir -p "$dir"/{bin,dev,proc,sys,modules,lower,rw,newroot}
    cp /bin/busybox "$dir/bin/busybox"
    cp "$here/init.sh" "$dir/init"
    chmod 755 "$dir/init"
    local m line n=0
    : >"$dir/modules/order"
    for m in virtio_pci virtio_rng 9pnet_virtio 9p overlay; do
        modprobe -d "$root" -S "$kver" --show-depends "$m" >"$cache/depends.txt" ||
            fail "modprobe knows no $m in $kver"
        while read -r line; do
            set -- $line
            [ "$1" = insmod ] || continue
            local name=${2##*/}
            grep -qx "$name" "$dir/modules/order" && continue
            cp "$2" "$dir/modules/$name"
            echo "$name" >>"$dir/modules/order"
            n=$((n + 1))
        done <"$cache/depends.txt"
    done
    (cd "$dir" && find . | cpio -o -H newc --quiet | gzip -1) >"$image.new"
    mv "$image.new" "$image"
    echo "initramfs with $n modules"
}

# The package to install and the upgrade: a copy of it one version newer, re-packed.
vm_packages() {
    local build=$1 deb=$2 out=$3
    mkdir -p "$out"
    if [ -z "$deb" ]; then
        (cd "$build" && cpack -G DEB -B "$out/cpack" >"$out/cpack.log" 2>&1) ||
            { tail -n 30 "$out/cpack.log"; fail "cpack failed"; }
        deb=$(echo "$out"/cpack/lumaghost_*.deb)
    fi
    [ -f "$deb" ] || fail "no package $deb"
    cp "$deb" "$out/lumaghost.deb"
    rm -rf "$out/cpack"
    dpkg-deb -x "$out/lumaghost.deb" "$out/files"
    local tree=$out/tree
    dpkg-deb -R "$out/lumaghost.deb" "$tree"
    sed -i 's/^Version: .*/&+vm1/' "$tree/DEBIAN/control"
    dpkg-deb -Zgzip -z1 -b "$tree" "$out/lumaghost-upgrade.deb" >/dev/null
    rm -rf "$tree"
    echo "package $(dpkg-deb -f "$out/lumaghost.deb" Version), upgrade $(dpkg-deb -f "$out/lumaghost-upgrade.deb" Version)"
}
