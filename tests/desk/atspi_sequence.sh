#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Lumadesk end to end on a camera, through AT-SPI under Xvfb, in two sessions that share one
# private root:
#  1. as a user who is not root, only a member of group video (an account that exists only in
#     this test's mount namespace): a picture set on the camera, three items added, timed, saved
#     as the auto-play sequence and played (tests/desk/atspi_sequence.py user);
#  2. as root, with a systemd user manager of its own (a tmpfs over /run/systemd, as
#     tests/cli/systemd_service.sh does): the Service command installs and starts lumaserv, which
#     plays the sequence the user saved, and stops it (atspi_sequence.py service).
# Each session has its own X server, session bus and accessibility bus; every process started
# here is ended by its id (the accessibility bus launcher with its group) when the test ends.
# Usage: atspi_sequence.sh LUMADESK LUMASETUP CAMERA_COMMITS RES
set -euo pipefail
lumadesk=$1 lumasetup=$2 commits=$3 res=$4
here=$(cd "$(dirname "$0")" && pwd)

if [ "${LUMAGHOST_IN_NAMESPACE:-}" != 1 ]; then
    exec env LUMAGHOST_IN_NAMESPACE=1 unshare --mount --fork "$0" "$@"
fi

start=$(date +%s.%N)
source "$here/../cli/lib.sh"
chmod 755 "$work"
user_logs() {
    for f in "$work"/user/*.log; do [ -e "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done
}
on_fail=user_logs

# The user: uid and gid 64123, a member of group video, known by name only in this namespace.
user=64123
video=$(getent group video | cut -d: -f3)
[ -n "$video" ] || fail "no group video"
cp /etc/passwd "$work/passwd"
echo "lumatest:x:$user:$user:Lumaghost test:$work/user/home:/bin/sh" >>"$work/passwd"
cp /etc/group "$work/group"
echo "lumatest:x:$user:" >>"$work/group"
mount --bind "$work/passwd" /etc/passwd
mount --bind "$work/group" /etc/group

# The camera, installed by root; the state directory is group video's.
export LUMAGHOST_ROOT=$work/root
mkdir -p "$LUMAGHOST_ROOT"
(cd "$res" && "$lumasetup") >"$work/lumasetup.log" 2>&1 || fail "lumasetup exited $?"
state=$LUMAGHOST_ROOT/var/lib/lumaghost
[ "$(stat -c %a:%g "$state")" = "2775:$video" ] || fail "state directory $(stat -c %a:%g "$state")"

# 1. The user's session.
mkdir -p "$work/user/home"
mkdir -m 700 "$work/user/run"
chown -R "$user:$user" "$work/user"
cat >"$work/user/session.sh" <<'EOT'
#!/usr/bin/env bash
# The user's X server, buses and the driver; all ended when the driver is done.
set -euo pipefail
pids=()
trap 'for p in "${pids[@]}"; do kill -- "$p" 2>/dev/null || true; done; wait 2>/dev/null || true' EXIT
source "$HERE/xvfb.sh"
start_xvfb "$WORK/user" || { echo "Xvfb did not start" >&2; exit 1; }
pids+=("$XVFB_PID")
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile >"$WORK/user/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/bus" ] && break; sleep 0.05; done
setsid /usr/libexec/at-spi-bus-launcher --launch-immediately >"$WORK/user/atspi.log" 2>&1 &
pids+=(-$!)
/usr/bin/python3 "$HERE/atspi_sequence.py" user "$LUMADESK" "$COMMITS" "$WORK"
EOT
chmod 755 "$work/user/session.sh"
setpriv --reuid "$user" --regid "$user" --groups "$video" \
    env -i PATH="$PATH" HOME="$work/user/home" XDG_RUNTIME_DIR="$work/user/run" \
    XDG_CONFIG_HOME="$work/user/home/config" XDG_DATA_HOME="$work/user/home/data" \
    LUMAGHOST_ROOT="$LUMAGHOST_ROOT" WORK="$work" HERE="$here" LUMADESK="$lumadesk" \
    COMMITS="$commits" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 \
    QT_QPA_PLATFORM=xcb "$work/user/session.sh" || fail "the user's session failed"
# What the user wrote as root's files' neighbour: the stored image, the hive kept group video's.
[ "$(stat -c %u "$state/LastLgImage.lgi")" = "$user" ] || fail "the stored image is not the user's"
[ "$(stat -c %g "$state/machine.ini")" = "$video" ] || fail "the hive left group video"

# 2. Root's session, with a systemd user manager that runs the play service.
mkdir -p /run/systemd
mount -t tmpfs tmpfs /run/systemd
mkdir -p /run/systemd/system  # the user manager wants to see a system manager
mkdir -m 700 "$work/run"
export HOME=$work/root-home XDG_RUNTIME_DIR=$work/run LUMAGHOST_SERVICE_MANAGER=user
export XDG_CONFIG_HOME=$work/root-home/config XDG_DATA_HOME=$work/root-home/data
mkdir -p "$HOME"
start_session_bus
/lib/systemd/systemd --user --log-target=console >"$work/systemd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    manager=$(systemctl --user is-system-running 2>/dev/null || true)
    [ "$manager" = running ] || [ "$manager" = degraded ] && break
    sleep 0.1
done
[ "$manager" = running ] || [ "$manager" = degraded ] || fail "the user manager did not start ($manager)"
source "$here/xvfb.sh"
start_accessible_x "$work"
/usr/bin/python3 "$here/atspi_sequence.py" service "$lumadesk" "$commits" "$work" ||
    fail "root's session failed"
echo "atspi_sequence: passed in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
