#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The package's user unit lumacam.service, sandbox and all, in a real session: a user of group
# video (made here, removed at the end) runs its own systemd --user, which starts the session
# bus, PipeWire and WirePlumber from their own user units; the unit from the tree (its program
# the build's) is started there and publishes the camera, and a pipewiresrc consumer of the user
# gets the committed colour at the camera's 30 frames/s. The exposure systemd-analyze gives the
# unit under that manager is printed. Everything machine-wide is private: the test runs in a
# mount namespace of its own with tmpfs over /run and an overlay over /var/lib.
#
#   user_unit.sh LUMASETUP LUMACAM COMMIT_FRAME RES UNIT.in
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 res=$4 unit_in=$5
here=$(cd "$(dirname "$0")" && pwd)

if [ "${LUMAGHOST_IN_NAMESPACE:-}" != 1 ]; then
    exec env LUMAGHOST_IN_NAMESPACE=1 unshare --mount --fork "$0" "$@"
fi
source "$here/lib.sh"

account=lgsession$$
# (Tried again while another test holds the account files' lock.)
for _ in $(seq 20); do
    useradd --system --gid video --create-home --home-dir "$work/home" --shell /bin/sh "$account" \
        2>"$work/useradd.txt" && break
    sleep 0.5
done
getent passwd "$account" >/dev/null || fail "cannot make the test account: $(cat "$work/useradd.txt")"
uid=$(id -u "$account")
runtime=/run/user/$uid
# The user manager's own cgroup, delegated to the user as logind's user@.service would: in the
# unified hierarchy and, on a hybrid layout, in systemd's named one too.
cgroup=lumaghost-session-$$
hierarchies=()
for h in /sys/fs/cgroup/unified /sys/fs/cgroup/systemd; do [ -d "$h" ] && hierarchies+=("$h"); done
[ ${#hierarchies[@]} -gt 0 ] || hierarchies=(/sys/fs/cgroup)
manager=
finish() {
    # The manager stops its units and exits; whatever of the session is left in its cgroup
    # after that is ended by its process ID.
    if [ -n "$manager" ]; then
        as_user systemctl --user exit 2>/dev/null || kill "$manager" 2>/dev/null || true
        for _ in $(seq 100); do kill -0 "$manager" 2>/dev/null || break; sleep 0.1; done
        kill "$manager" 2>/dev/null || true
        wait "$manager" 2>/dev/null || true
    fi
    for h in "${hierarchies[@]}"; do
        [ -d "$h/$cgroup" ] || continue
        for _ in $(seq 50); do
            left=$(find "$h/$cgroup" -name cgroup.procs -exec cat {} + 2>/dev/null)
            [ -z "$left" ] && break
            # shellcheck disable=SC2086 # one process ID a word
            kill $left 2>/dev/null || true
            sleep 0.1
        done
        find "$h/$cgroup" -depth -type d -exec rmdir {} + 2>/dev/null || true
    done
    for _ in $(seq 20); do
        getent passwd "$account" >/dev/null || break
        userdel "$account" 2>/dev/null || sleep 0.5
    done
    umount -l /var/lib 2>/dev/null || true
    cleanup
}
trap finish EXIT

# The machine-wide folders as a booted system has them, in this namespace only.
mount --make-rprivate /
mount -t tmpfs -o mode=755 tmpfs /run
# (logind's folders, empty, which WirePlumber watches; the folder the managers mount the units'
# namespaces on, which only a system manager may make.)
mkdir -p /run/systemd/system /run/systemd/sessions /run/systemd/seats /run/systemd/users \
    /run/systemd/machines /run/systemd/unit-root "$runtime" "$work/varlib/upper" "$work/varlib/work"
chown "$account:video" "$runtime"
chmod 700 "$runtime"
install -d -m 2775 -o root -g video /run/lumaghost
mount -t overlay overlay -o "lowerdir=/var/lib,upperdir=$work/varlib/upper,workdir=$work/varlib/work" /var/lib
install -d -m 2775 -o root -g video /var/lib/lumaghost
# The camera, installed in a staging root and moved where the system's lumasetup puts it (this
# machine's /etc is not written).
mkdir -p "$work/stage"
(cd "$res" && LUMAGHOST_ROOT=$work/stage "$lumasetup") || fail "lumasetup exited $?"
cp -a "$work/stage/var/lib/lumaghost/." /var/lib/lumaghost/
chown root:video /var/lib/lumaghost/machine.ini

# As the user, in its session.
as_user() {
    setpriv --reuid="$account" --regid=video --init-groups -- env -i HOME="$work/home" \
        USER="$account" LOGNAME="$account" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus" "$@"
}
journal() { as_user systemctl --user status --no-pager lumacam.service pipewire.service wireplumber.service; }
on_fail=journal

# The unit as the package installs it, for the build's program.
units=$work/home/.config/systemd/user
mkdir -p "$units"
sed "s|@BINDIR@|$(dirname "$lumacam")|" "$unit_in" >"$units/lumacam.service"
# Without journald here the services write to the manager's output, the log.
printf '[Manager]\nDefaultStandardOutput=inherit\nDefaultStandardError=inherit\n' \
    >"$work/home/.config/systemd/user.conf"
chown -R "$account:video" "$work/home"

for h in "${hierarchies[@]}"; do
    mkdir "$h/$cgroup"
    chown -R "$account" "$h/$cgroup"
done
# shellcheck disable=SC2016 # expanded by the inner shell
sh -c 'for dir in $1; do echo $$ >"$dir/cgroup.procs"; done; shift; exec "$@"' \
    sh "$(printf '%s ' "${hierarchies[@]/%//$cgroup}")" setpriv --reuid="$account" --regid=video --init-groups -- env -i HOME="$work/home" \
    XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin /lib/systemd/systemd --user --log-target=console \
    >"$work/systemd.log" 2>&1 &
manager=$!
for _ in $(seq 100); do
    state=$(as_user systemctl --user is-system-running 2>/dev/null || true)
    [ "$state" = running ] || [ "$state" = degraded ] && break
    sleep 0.1
done
[ "$state" = running ] || [ "$state" = degraded ] || fail "the user manager did not start ($state)"

as_user systemctl --user start pipewire.service wireplumber.service || fail "PipeWire did not start"
as_user systemctl --user start lumacam.service || fail "lumacam.service did not start"

node=lumaghost.MEDIA_0000
nodes() { as_user pw-cli ls Node 2>/dev/null || true; }
for _ in $(seq 100); do grep -q "$node" <<<"$(nodes)" && break; sleep 0.1; done
grep -q "$node" <<<"$(nodes)" || fail "no PipeWire node $node"
[ "$(as_user systemctl --user is-active lumacam.service)" = active ] || fail "lumacam.service is not active"

# A colour committed by the user reaches a consumer of its session at the camera's rate.
python3 -c 'import sys; sys.stdout.buffer.write(b"P6\n320 240\n255\n" + bytes([200, 60, 40]) * (320 * 240))' \
    >"$work/colour.ppm"
as_user "$commit" "$work/colour.ppm" || fail "commit through the camera link failed"
out=$work/home/consumer
mkdir "$out"
chown "$account:video" "$out"
as_user timeout 30 gst-launch-1.0 -v pipewiresrc target-object=$node do-timestamp=true num-buffers=90 \
    stream-properties="props,media.type=Video,media.category=Capture,media.role=Camera" \
    ! identity silent=false ! videoconvert ! video/x-raw,format=RGB ! filesink location="$out/frames.rgb" \
    >"$work/consumer.log" 2>&1 || fail "the consumer got no frames"
got=$(python3 "$here/../vm/frame_check.py" "$out/frames.rgb" "$work/consumer.log" gst 320x240 200,60,40 89 27 33) ||
    fail "the consumer got: $got"
echo "pipewiresrc: $got"

# The exposure the manager itself reports for the running unit, below 4.0 (OK).
figure=$(as_user systemd-analyze --user security --no-pager lumacam.service 2>&1 |
    sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p')
echo "exposure: user lumacam.service $figure"
[ -n "$figure" ] && awk -v f="$figure" 'BEGIN { exit !(f < 4.0) }' || fail "the user unit is exposed: ${figure:-no figure}"
as_user systemctl --user stop lumacam.service || fail "lumacam.service did not stop"
[ "$(as_user systemctl --user is-active lumacam.service || true)" = inactive ] || fail "lumacam.service is still active"
echo "the user unit in a session passed"
