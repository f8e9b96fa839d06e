#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Takes docs/lumadesk.png: Lumadesk with its File menu open, on a private X server (Xvfb), with
# the camera installed in a throw-away local root and an empty settings store. Needs a build
# (BUILD_DIR, default build).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$here/$build ;; esac
out=${1:-$here/docs/lumadesk.png}

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export LUMAGHOST_ROOT=$work/root HOME=$work QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
mkdir -p "$LUMAGHOST_ROOT"
(cd "$here/res" && "$build/programs/lumasetup/lumasetup") >/dev/null

source "$here/tests/desk/xvfb.sh"
start_xvfb "$work" 700x560x24 || { echo "Xvfb did not start" >&2; exit 1; }
pids+=("$XVFB_PID")

"$build/programs/lumadesk/lumadesk" >"$work/lumadesk.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xwininfo -name "Untitled - Lumadesk" >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.5
# The File menu, opened by a click on its title at the window's top-left.
xdotool mousemove 60 50 click 1
sleep 0.5
# Over "Open...": the status bar shows its prompt.
xdotool mousemove 110 70
sleep 0.3
mkdir -p "$(dirname "$out")"
gst-launch-1.0 -q ximagesrc num-buffers=1 use-damage=false startx=30 starty=30 endx=629 endy=509 \
    ! videoconvert ! pngenc ! filesink location="$out"
echo "Screenshot: $out"
