#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
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

start_session_bus
start_accessible_x "$work"

start=$(date +%s.%N)
/usr/bin/python3 "$here/atspi_desk.py" "$lumadesk" "$work" || fail "the accessibility test failed"
echo "atspi_desk: passed in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
