#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The desktop tests' set-up: once start_accessible_x has returned, the accessibility bus and
# its registry answer at the first call, as the program's start needs them. Run a few times,
# since the launcher is quick on an idle machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../cli/lib.sh"
source "$here/xvfb.sh"

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run HOME=$work
unset WAYLAND_DISPLAY

for round in 1 2 3; do
    start_session_bus
    start_accessible_x "$work"
    accessibility_bus_answers || fail "round $round: the accessibility bus did not answer at once"
    # What this round started ends before the next, by its ids.
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for g in "${groups[@]}"; do kill -- "-$g" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=() groups=()
    rm -f "$XDG_RUNTIME_DIR/bus"
done
echo "atspi_bus: passed"
