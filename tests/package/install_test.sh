#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The Debian package on a fresh Debian 12 machine: lintian (pedantic) has nothing to say about
# it, hardening-check finds every program and the plugin hardened, appstreamcli validate-tree
# (pedantic) passes its metainfo and desktop entry; installed with apt into a new minbase root (a throw-away overlay on a debootstrapped base kept in /var/tmp)
# it brings in what it needs, the GStreamer plugin is found without GST_PLUGIN_PATH, the camera
# is listed, a picture sent to it and a gst-launch pipeline into lumarenderer are captured back,
# the units pass systemd-analyze verify, the shipped play service unit is the one lumaserv -i
# writes, the directories carry their modes, the .lgs type is the system's and the installed
# Lumadesk writes no registration of its own for a user (it removes a stale one); a second installation, an upgrade and a removal
# while a producer and a consumer run keep one camera, its auto-play item and its stored image;
# a purge leaves no file of the package behind, nor its account. systemd is not PID 1 in the
# root, as in any chroot, so the maintainer scripts must cope without it.
#
#   tests/package/install_test.sh lumaghost_VERSION_ARCH.deb
#
# Needs root. The base (/var/tmp/lumaghost-package-base, LUMAGHOST_PACKAGE_BASE) takes a few
# minutes to make the first time; downloaded packages are kept in
# /var/tmp/lumaghost-package-archives for later runs.
set -euo pipefail
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (debootstrap, chroot, mount)" >&2; exit 2; }
deb=$(readlink -f "$1")
base=${LUMAGHOST_PACKAGE_BASE:-/var/tmp/lumaghost-package-base}
archives=${LUMAGHOST_PACKAGE_ARCHIVES:-/var/tmp/lumaghost-package-archives}
started=$(date +%s)
phase() { echo "== $(($(date +%s) - started)) s: $*"; }

work=$(mktemp -d /var/tmp/lumaghost-package-test.XXXXXX)
root=$work/root
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    for m in var/cache/apt/archives run tmp dev/pts dev sys proc ""; do
        mountpoint -q "$root/$m" 2>/dev/null && umount -l "$root/$m"
    done
    mountpoint -q "$work/layer" 2>/dev/null && umount -l "$work/layer"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
trap 'fail "line $LINENO: $BASH_COMMAND"' ERR

# Runs a command in the root as a fresh login would, without any variable of ours (GStreamer's
# registry cache goes to /tmp, not to root's home); in_root_exec becomes it, so that a command
# started in the background has the job's process ID.
in_root() {
    chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
        GST_REGISTRY=/tmp/gst-registry.bin PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
in_root_exec() {
    exec chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        GST_REGISTRY=/tmp/gst-registry.bin PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

phase "lintian"
lintian --pedantic --display-info --fail-on error,warning,info,pedantic "$deb" >"$work/lintian.txt" 2>&1 || {
    cat "$work/lintian.txt"
    fail "lintian has remarks on $deb"
}
sed 's/^/lintian: /' "$work/lintian.txt"

phase "hardening and metainfo"
dpkg-deb -x "$deb" "$work/tree"
# Control-flow protection (-fcf-protection) is not among Debian 12's dpkg-buildflags.
hardening-check --nocfprotection "$work/tree/usr/bin/"* "$work/tree/usr/lib/"*/gstreamer-1.0/libgstlumaghost.so \
    >"$work/hardening.txt" 2>&1 || { cat "$work/hardening.txt"; fail "hardening-check"; }
sed 's/^/hardening-check: /' "$work/hardening.txt"
appstreamcli validate-tree --pedantic --explain --no-net "$work/tree" >"$work/appstream.txt" 2>&1 ||
    { cat "$work/appstream.txt"; fail "appstreamcli validate-tree"; }
# One line and no remark; its mark is a check sign or, without a UTF-8 locale, a question mark.
[ "$(wc -l <"$work/appstream.txt")" = 1 ] && grep -q 'Validation was successful\.$' "$work/appstream.txt" ||
    { cat "$work/appstream.txt"; fail "appstreamcli validate-tree has remarks"; }
dpkg-deb -f "$deb" Recommends | grep -q '\bpkexec\b' || fail "the package does not recommend pkexec"

phase "base root"
mkdir -p "$(dirname "$base")" "$archives/partial"
(
    flock 9
    if [ ! -f "$base/.ready" ]; then
        mirror=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
        [ -n "$mirror" ] || mirror=$(awk '/^deb / {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
        rm -rf "$base"
        debootstrap --variant=minbase bookworm "$base" "${mirror:-http://deb.debian.org/debian}" >"$work/debootstrap.log" 2>&1 ||
            { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            cp /etc/apt/sources.list.d/debian.sources "$base/etc/apt/sources.list.d/"
            rm -f "$base/etc/apt/sources.list"
        fi
        touch "$base/.ready"
    fi
) 9>"$base.lock"

# The root is an overlay on the base. Where $work itself lies on an overlay (a test run inside a
# container's root), its upper layer cannot; it goes on a tmpfs instead.
mkdir -p "$work/layer/upper" "$work/layer/work" "$root"
if ! mount -t overlay overlay \
        -o "lowerdir=$base,upperdir=$work/layer/upper,workdir=$work/layer/work" "$root" 2>/dev/null
then
    mount -t tmpfs -o size=4g tmpfs "$work/layer"
    mkdir -p "$work/layer/upper" "$work/layer/work"
    mount -t overlay overlay \
        -o "lowerdir=$base,upperdir=$work/layer/upper,workdir=$work/layer/work" "$root"
fi
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs -o mode=0755 tmpfs "$root/run"
mount --bind "$archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mkdir -p "$root/tmp/pkg"
cp "$deb" "$root/tmp/pkg/lumaghost.deb"

# What any system of ours has besides the package's own dependencies: systemd for its tools (not
# running), PipeWire, the GStreamer tools, bash completion and kmod for the checks below.
phase "dependencies"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update"; }
depends=$(dpkg-deb -f "$deb" Depends)
in_root apt-get satisfy -y -qq --no-install-recommends "$depends" >>"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "the package's dependencies cannot be installed: $depends"; }
in_root apt-get install -y -qq --no-install-recommends systemd pipewire gstreamer1.0-tools \
    bash-completion kmod >>"$work/apt.log" 2>&1 || { tail -n 30 "$work/apt.log"; fail "test tools"; }

# Every path of the root but the kernel's, the package cache, apt's and dpkg's own records and
# the stamp systemd-analyze leaves.
snapshot() {
    in_root find / \( -path /proc -o -path /sys -o -path /dev -o -path /tmp \
        -o -path /var/cache/apt -o -path /var/lib/apt/lists -o -path /var/log \
        -o -path /var/cache/debconf -o -path /var/lib/dpkg/triggers \) -prune -o -print |
        grep -Ev '^/var/lib/dpkg/[^/]*-old$|^/\.ready$|^/run/systemd/systemd-units-load$' | sort
}
snapshot >"$work/before.txt"

phase "install"
in_root apt-get install -y --no-install-recommends /tmp/pkg/lumaghost.deb >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "apt install ./lumaghost.deb"; }
grep -q "^Setting up lumaghost " "$work/install.log" || fail "apt did not set up lumaghost"
sed -n '/^Setting up lumaghost /,$p' "$work/install.log"

# The plugin is where GStreamer looks, without GST_PLUGIN_PATH.
in_root gst-inspect-1.0 lumarenderer >"$work/inspect.txt" 2>&1 || { cat "$work/inspect.txt"; fail "gst-inspect-1.0 does not find lumarenderer"; }
in_root gst-inspect-1.0 lumaghostsrc >/dev/null 2>&1 || fail "gst-inspect-1.0 does not find lumaghostsrc"

# The camera, once.
cameras() { in_root lumacam list | grep -c $'^Lumaghost\tlumaghost\t320x240$' || true; }
[ "$(cameras)" = 1 ] || fail "lumacam list shows: $(in_root lumacam list)"

# Captures the next frame of the camera into $1 while "$2..." is run in the root until it has.
capture_while() {
    local out=$1 capture
    shift
    in_root_exec lumacam capture --count 1 --output "$out" --timeout 30 &
    capture=$!
    pids+=("$capture")
    for _ in $(seq 150); do
        in_root "$@" >/dev/null 2>&1 || true
        kill -0 "$capture" 2>/dev/null || break
        sleep 0.2
    done
    wait "$capture" || fail "lumacam capture saw no frame from: $*"
}
# The pixel at (x, y) of a PPM file in the root, as "R G B".
pixel() {
    local file=$root$1 x=$2 y=$3 width header
    width=$(head -c 20 "$file" | sed -n 2p | cut -d' ' -f1)
    header=$(head -n 3 "$file" | wc -c)
    od -An -tu1 -j $((header + (y * width + x) * 3)) -N3 "$file" | xargs
}
near() { # near "R G B" "R G B" TOLERANCE
    local -a a b
    read -ra a <<<"$1"
    read -ra b <<<"$2"
    for i in 0 1 2; do
        local d=$((a[i] - b[i]))
        [ "${d#-}" -le "$3" ] || return 1
    done
}

# A picture sent with lumacam send comes back: a 64 x 48 BMP of one colour (200, 90, 30).
{
    # File size 9270, pixels at 54; a 40-byte header: 64 x 48, 1 plane, 24 bits, uncompressed.
    printf 'BM\x36\x24\0\0\0\0\0\0\x36\0\0\0'
    printf '\x28\0\0\0\x40\0\0\0\x30\0\0\0\x01\0\x18\0\0\0\0\0'
    printf '\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
    for _ in $(seq $((64 * 48))); do printf '\x1e\x5a\xc8'; done
} >"$root/tmp/picture.bmp"
capture_while /tmp/sent lumacam send /tmp/picture.bmp --stretch 1
got=$(pixel /tmp/sent/frame-0000.ppm 160 120)
[ "$got" = "200 90 30" ] || fail "the sent picture came back as $got"

# A GStreamer pipeline into lumarenderer puts frames on the camera: the test pattern's bars,
# white, yellow ... blue, where the picture was.
capture_while /tmp/played gst-launch-1.0 -q videotestsrc num-buffers=30 ! videoconvert ! lumarenderer
for bar in "10 255 255 255" "60 255 255 0" "300 0 0 255"; do
    read -r x colour <<<"$bar"
    got=$(pixel /tmp/played/frame-0000.ppm "$x" 10)
    near "$got" "$colour" 12 || fail "the pipeline's frame shows $got at ($x, 10), not $colour"
done

phase "units"
unitdir=/lib/systemd/system userdir=/usr/lib/systemd/user
# Their Documentation= pages are checked above; man-db is not in this root.
in_root systemd-analyze verify --man=no "$unitdir/lumacam.service" "$unitdir/LumaghostService.service" \
    >"$work/verify.txt" 2>&1 || { cat "$work/verify.txt"; fail "systemd-analyze verify of the system units"; }
mkdir -m 700 "$root/tmp/xdg"
in_root env XDG_RUNTIME_DIR=/tmp/xdg systemd-analyze --user verify --man=no "$userdir/lumacam.service" >>"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "systemd-analyze verify of the user unit"; }
[ ! -s "$work/verify.txt" ] || { cat "$work/verify.txt"; fail "systemd-analyze verify warns"; }
in_root lumaserv --unit >"$work/printed.service" || fail "lumaserv --unit exited $?"
cmp -s "$root$unitdir/LumaghostService.service" "$work/printed.service" ||
    fail "the shipped play service unit is not the one lumaserv -i writes: $(diff "$root$unitdir/LumaghostService.service" "$work/printed.service")"
for unit in "$unitdir/lumacam.service" "$userdir/lumacam.service"; do
    grep -qx 'Restart=on-failure' "$root$unit" || fail "$unit is not restarted on failure"
    grep -qx 'NoNewPrivileges=yes' "$root$unit" || fail "$unit is not hardened"
done
for setting in User=lumaghost ProtectSystem=strict ProtectHome=yes ReadWritePaths=-/run/lumaghost \
    'ExecStart=/usr/bin/lumacam run --no-pipewire'; do
    grep -qx -- "$setting" "$root$unitdir/lumacam.service" || fail "the system unit lacks $setting"
done
grep -qx 'ExecStart=/usr/bin/lumacam run --no-v4l2' "$root$userdir/lumacam.service" || fail "the user unit's ExecStart"
# The services' account: a system account of group video, no login, its home the state.
account=$(in_root getent passwd lumaghost) || fail "the package made no account lumaghost"
case $account in lumaghost:x:*:"$(in_root getent group video | cut -d: -f3)":*:/var/lib/lumaghost:/usr/sbin/nologin) ;;
    *) fail "the account lumaghost is: $account" ;; esac
# Every unit's exposure, kept in the log; each below 4.0 (OK).
for unit in "$unitdir/LumaghostService.service" "$unitdir/lumacam.service" "$userdir/lumacam.service"; do
    figure=$(in_root systemd-analyze security --offline=yes --no-pager "$unit" 2>&1 |
        sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
    echo "exposure: $unit $figure"
    [ -n "$figure" ] && awk -v f="$figure" 'BEGIN { exit !(f < 4.0) }' || fail "$unit is exposed: ${figure:-no figure}"
done
for link in /etc/systemd/system/multi-user.target.wants/lumacam.service \
    /etc/systemd/system/multi-user.target.wants/LumaghostService.service \
    /etc/systemd/user/graphical-session.target.wants/lumacam.service; do
    [ -L "$root$link" ] || fail "$link is not enabled"
done
# Without v4l2loopback (as here) the system unit's daemon says so once, and keeps looking for
# the camera's node until it is stopped.
in_root lumacam run --no-pipewire --seconds 3 2>"$work/run.txt" || fail "lumacam run --no-pipewire exited $?"
[ "$(head -n 1 "$work/run.txt")" = "lumacam: v4l2loopback is not loaded: the cameras are shown through PipeWire only" ] ||
    fail "lumacam run without v4l2loopback said: $(cat "$work/run.txt")"
[ "$(grep -c 'v4l2loopback is not loaded' "$work/run.txt")" = 1 ] &&
    grep -qx 'lumacam: "Lumaghost": no v4l2loopback node is labelled "Lumaghost" yet' "$work/run.txt" ||
    fail "lumacam run without v4l2loopback said: $(cat "$work/run.txt")"

phase "files"
[ "$(stat -c '%a %U %G' "$root/run/lumaghost")" = "2775 root video" ] || fail "/run/lumaghost is $(stat -c '%a %U %G' "$root/run/lumaghost")"
[ "$(stat -c '%a %U %G' "$root/var/lib/lumaghost")" = "2775 root video" ] || fail "/var/lib/lumaghost is $(stat -c '%a %U %G' "$root/var/lib/lumaghost")"
grep -qx 'options v4l2loopback exclusive_caps=1 card_label="Lumaghost"' "$root/lib/modprobe.d/lumaghost.conf" ||
    fail "the module options: $(cat "$root/lib/modprobe.d/lumaghost.conf")"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/bin/lumaserv</annotate>' \
    "$root/usr/share/polkit-1/actions/org.quillmoor.lumaghost.policy" || fail "the polkit action's program"
grep -qx 'Exec=lumadesk %f' "$root/usr/share/applications/lumadesk.desktop" || fail "the desktop entry's Exec"
# v4l2loopback comes with the V4L2 core that modules-load.d loads at boot, with the camera's
# label, where it is installed; where it is not, nothing is said. Shown by modprobe's dry run on
# a module tree of stand-in modules (ELF objects with a .modinfo section).
grep -qx videodev "$root/usr/lib/modules-load.d/lumaghost.conf" || fail "modules-load.d does not load the V4L2 core"
kernel=6.1.0-lumaghost-test
mkdir -p "$root/tmp/modules/lib/modules/$kernel/kernel"
for module in videodev v4l2loopback; do
    printf '__attribute__((section(".modinfo"), used)) static const char l[] = "license=GPL";\n' >"$work/$module.c"
    gcc -c "$work/$module.c" -o "$root/tmp/modules/lib/modules/$kernel/kernel/$module.ko"
done
modprobe_dry_run() {
    in_root depmod -b /tmp/modules "$kernel" 2>/dev/null
    in_root modprobe -d /tmp/modules -S "$kernel" -n -v videodev | sed 's|^insmod /tmp/modules/lib/modules/[^/]*/kernel/||; s/ *$//'
}
loads=$(modprobe_dry_run)
[ "$loads" = $'videodev.ko\nv4l2loopback.ko exclusive_caps=1 card_label="Lumaghost"' ] ||
    fail "with v4l2loopback installed, loading the V4L2 core loads: $loads"
rm "$root/tmp/modules/lib/modules/$kernel/kernel/v4l2loopback.ko"
loads=$(modprobe_dry_run)
[ "$loads" = videodev.ko ] || fail "without v4l2loopback, loading the V4L2 core loads: $loads"

for f in /usr/share/lumaghost/Lumacam.inf /usr/share/lumaghost/default.jpg \
    /usr/share/lumaghost/Language/English.ini /usr/share/lumaghost/Language/German.ini \
    /usr/share/lumaghost/Lumaghost.html /usr/share/lumaghost/Lumaghost1031.html \
    /usr/share/mime/packages/lumadesk-lgs.xml /usr/share/icons/hicolor/scalable/apps/lumadesk.svg \
    /usr/share/icons/hicolor/scalable/mimetypes/application-x-lumadesk-sequence.svg \
    /usr/share/metainfo/org.quillmoor.lumadesk.metainfo.xml /usr/share/doc/lumaghost/copyright; do
    [ -s "$root$f" ] || fail "$f is missing"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -s "$root/usr/share/icons/hicolor/${size}x$size/apps/lumadesk.png" ] || fail "no $size x $size icon"
done
for program in lumacam lumaserv lumasetup lumadesk; do
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q "^\.TH ${program^^} 1" || fail "the man page of $program"
done
completion=$(in_root bash -c 'source /usr/share/bash-completion/bash_completion
    source /usr/share/bash-completion/completions/lumacam
    COMP_WORDS=(lumacam ""); COMP_CWORD=1; COMP_LINE="lumacam "; COMP_POINT=8; _lumacam
    echo "${COMPREPLY[*]}"
    COMP_WORDS=(lumacam run --no); COMP_CWORD=2; COMP_LINE="lumacam run --no"; COMP_POINT=16; _lumacam
    echo "${COMPREPLY[*]}"')
[ "$completion" = $'list capture send run\n--no-v4l2 --no-pipewire' ] || fail "completion offers: $completion"

# The .lgs type is the system's, from the package's files (shared-mime-info's trigger); the
# installed Lumadesk, started by a user, writes no type or entry of its own and removes an entry
# an earlier Lumadesk left for a program that is gone.
[ -s "$root/usr/share/mime/application/x-lumadesk-sequence.xml" ] || fail "the system's MIME database lacks the .lgs type"
user=/tmp/user
mkdir -p "$root$user/.local/share/applications" "$root$user/run"
chmod 700 "$root$user/run"
printf '[Desktop Entry]\nType=Application\nName=Lumadesk\nExec=/gone/lumadesk %%f\nTryExec=/gone/lumadesk\nX-Lumadesk-FileType=Lumadesk.Document\n' \
    >"$root$user/.local/share/applications/lumadesk.desktop"
in_root env HOME=$user XDG_RUNTIME_DIR=$user/run QT_QPA_PLATFORM=offscreen timeout 10 lumadesk \
    >"$work/lumadesk.txt" 2>&1 || [ $? = 124 ] || { cat "$work/lumadesk.txt"; fail "the installed lumadesk did not start"; }
[ ! -e "$root$user/.local/share/applications/lumadesk.desktop" ] || fail "the installed Lumadesk kept a stale entry"
[ ! -e "$root$user/.local/share/mime" ] || fail "the installed Lumadesk registered the type for the user"

# The auto-play item and a stored image, as Lumadesk leaves them.
hive=/var/lib/lumaghost/machine.ini
sed -i 's|^\(\[SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000\\Device Parameters\]\)$|\1\n"LastLgImage"="/var/lib/lumaghost/LastLgImage.lgi"|' "$root$hive"
grep -q '^"LastLgImage"=' "$root$hive" || fail "the hive has no Device Parameters key for the stored image"
head -c 4096 /dev/urandom >"$root/var/lib/lumaghost/LastLgImage.lgi"
cat >>"$root$hive" <<'EOT'

[Software\Quillmoor\Lumadesk\Settings]
"AutoPlay"="/srv/show.lgs"
"AutoPlayType"=dword:00000001
EOT
kept() {
    grep -E '^"(LastLgImage|AutoPlay|AutoPlayType)"=' "$root$hive" | sort
    sha256sum <"$root/var/lib/lumaghost/LastLgImage.lgi"
}
kept >"$work/kept.txt"
one_of_each() {
    [ "$(cameras)" = 1 ] || fail "$1: lumacam list shows: $(in_root lumacam list)"
    [ "$(grep -c '^\[SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\[0-9]*\]$' "$root$hive")" = 1 ] ||
        fail "$1: the hive holds more than one device"
    [ "$(ls "$root/run/lumaghost")" = MEDIA_0000.frames ] || fail "$1: frame channels $(ls "$root/run/lumaghost")"
    kept | cmp -s "$work/kept.txt" - || fail "$1: the auto-play item or the stored image changed: $(kept)"
}

phase "second installation"
in_root apt-get install -y --no-install-recommends --reinstall /tmp/pkg/lumaghost.deb >"$work/reinstall.log" 2>&1 ||
    { cat "$work/reinstall.log"; fail "a second installation"; }
one_of_each "after a second installation"

phase "upgrade"
version=$(dpkg-deb -f "$deb" Version)
mkdir "$work/next"
dpkg-deb -R "$deb" "$work/next/tree"
sed -i "s/^Version: .*/Version: $version+1/" "$work/next/tree/DEBIAN/control"
dpkg-deb -b "$work/next/tree" "$root/tmp/pkg/lumaghost-next.deb" >/dev/null
in_root apt-get install -y --no-install-recommends /tmp/pkg/lumaghost-next.deb >"$work/upgrade.log" 2>&1 ||
    { cat "$work/upgrade.log"; fail "the upgrade"; }
grep -q "^Unpacking lumaghost ($version+1) over ($version)" "$work/upgrade.log" || fail "no upgrade: $(cat "$work/upgrade.log")"
one_of_each "after the upgrade"

phase "removal under a producer and a consumer"
in_root_exec gst-launch-1.0 -q videotestsrc is-live=true ! videoconvert ! lumarenderer >/dev/null 2>&1 &
producer=$!
pids+=("$producer")
in_root_exec lumacam capture --count 100000 --output /tmp/running --timeout 30 &
consumer=$!
pids+=("$consumer")
for _ in $(seq 100); do [ -e "$root/tmp/running/frame-0002.ppm" ] && break; sleep 0.1; done
[ -e "$root/tmp/running/frame-0002.ppm" ] || fail "the producer's frames do not reach the consumer"
in_root apt-get remove -y lumaghost >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "removal"; }
[ ! -e "$root/usr/bin/lumacam" ] || fail "removed, lumacam is still there"
kept | cmp -s "$work/kept.txt" - || fail "the removal lost the auto-play item or the stored image"
# Both ran on: the session is all they lose.
kill -0 "$producer" && kill -0 "$consumer" || fail "the removal ended the producer or the consumer"
kill "$producer" "$consumer"
wait "$producer" "$consumer" 2>/dev/null || true
in_root apt-get install -y --no-install-recommends /tmp/pkg/lumaghost-next.deb >"$work/again.log" 2>&1 ||
    { cat "$work/again.log"; fail "installation after the removal"; }
one_of_each "installed again after the removal"
capture_while /tmp/again lumacam send /tmp/picture.bmp --stretch 1
[ "$(pixel /tmp/again/frame-0000.ppm 160 120)" = "200 90 30" ] || fail "the camera does not work after the removal"

phase "purge"
in_root apt-get purge -y lumaghost >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge"; }
# dpkg knows every file and directory by the path the package ships it under.
! grep -h "^dpkg: warning" "$work/remove.log" "$work/purge.log" || fail "dpkg warns on removal"
# The services' account goes with the package that made it.
account=$(in_root getent passwd lumaghost || true)
[ -z "$account" ] || fail "the purge left the account: $account"
snapshot >"$work/after.txt"
if ! diff "$work/before.txt" "$work/after.txt" >"$work/left.txt"; then
    cat "$work/left.txt"
    fail "the purge leaves files behind or took files away"
fi
phase "done"
echo "1 passed, 0 failed"
