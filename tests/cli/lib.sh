# SPDX-License-Identifier: LGPL-2.1-or-later
# Helpers for the command-line, desktop and benchmark scripts: a work directory removed at exit,
# background processes (and process groups) ended at exit, failures that show the logs, and a
# private session bus and PipeWire.
work=$(mktemp -d)
# Open to others, as a real root is: the services open what a user names with group video's
# rights only.
chmod 755 "$work"
pids=()
groups=()  # leaders of process groups (setsid), ended with their group
on_fail=:  # a test may name more to show when it fails
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for g in "${groups[@]}"; do kill -- "-$g" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/*.log; do [ -e "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done >&2
    $on_fail >&2 2>&1 || true
    exit 1
}
trap 'fail "line $LINENO: $BASH_COMMAND"' ERR

# A session bus in $XDG_RUNTIME_DIR, which must exist, with a configuration of its own: nothing
# is started on demand, so every service on it is one the test started and stops.
start_session_bus() {
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>$DBUS_SESSION_BUS_ADDRESS</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/bus" ] && return 0; sleep 0.1; done
    fail "the session bus did not start"
}

# PipeWire and WirePlumber on the session bus, in $XDG_RUNTIME_DIR.
start_pipewire() {
    unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
    pipewire >"$work/pipewire.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
    [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] || fail "the private PipeWire daemon did not start"
    wireplumber >"$work/wireplumber.log" 2>&1 &
    pids+=($!)
}

# A runtime directory and a local root in $work, for the programs under test.
use_local_root() {
    export XDG_RUNTIME_DIR=$work/run LUMAGHOST_ROOT=$work/root
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    mkdir -p "$LUMAGHOST_ROOT"
}

# The same with a session bus and PipeWire on it.
start_private_session() {
    use_local_root
    start_session_bus
    start_pipewire
}
