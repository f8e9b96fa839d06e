#!/usr/bin/env bash
# Lumadesk end to end, as assistive technology sees it: a private X server (Xvfb), a private
# session bus and accessibility bus, and tests/desk/atspi_desk.py driving lumadesk through
# AT-SPI. Every process started here is ended by its id (the accessibility bus launcher with
# the bus and registry it starts, by its process group) when the test ends.
# Usage: atspi_desk.sh LUMADESK
set -euo pipefail
lumadesk=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../cli/lib.sh"
source "$here/xvfb.sh"

mkdir -m 700 "$work/run"
mkdir -p "$work/config" "$work/data" "$work/root"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export LUMAGHOST_ROOT=$work/root  # no camera is installed there
export HOME=$work
unset WAYLAND_DISPLAY

# The X server picks a free display and answers before anything connects.
start_xvfb "$work" || fail "Xvfb did not start"
pids+=("$XVFB_PID")

start_session_bus

# The launcher starts the accessibility bus and, on demand, the registry, in its own group.
setsid /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
groups+=($!)

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 QT_QPA_PLATFORM=xcb
start=$(date +%s.%N)
/usr/bin/python3 "$here/atspi_desk.py" "$lumadesk" "$work" || fail "the accessibility test failed"
echo "atspi_desk: passed in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
