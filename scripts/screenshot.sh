#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Takes screenshots of Lumadesk on a private X server (Xvfb), with the camera installed in a
# throw-away local root and an empty settings store. Needs a build (BUILD_DIR, default build).
#
# Usage: scripts/screenshot.sh [OUT.png]
#   SCENE=file-menu (default): the window with its File menu open (docs/lumadesk.png).
#   SCENE=sequence: a sequence of three items playing, with the preview beside the window and
#       the status bar naming the item on the camera.
#   SCENE=preview: the picture mode with Camera > Preview.
#   SCALE=2: Qt's scale factor. STYLE=Adwaita-Dark: a Qt style (Debian's adwaita-qt6 has the
#   Adwaita ones). WM=openbox: a window manager to run first (Debian's openbox; none by default).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$here/$build ;; esac
out=${1:-$here/docs/lumadesk.png}
scene=${SCENE:-file-menu}
scale=${SCALE:-1}
wm=${WM:-}

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
[ "$scale" = 1 ] || export QT_SCALE_FACTOR=$scale QT_ENABLE_HIGHDPI_SCALING=1
[ -z "${STYLE:-}" ] || export QT_STYLE_OVERRIDE=$STYLE
mkdir -p "$LUMAGHOST_ROOT"
(cd "$here/res" && "$build/programs/lumasetup/lumasetup") >/dev/null
# The sequence scene's items are 320 x 240: the camera takes their size.
[ "$scene" != sequence ] || "$build/programs/lumacam/lumacam" format 320x240@30 >/dev/null

source "$here/tests/desk/xvfb.sh"
width=$((700 * scale)) height=$((560 * scale))
[ "$scene" = file-menu ] || { width=$((1000 * scale)); height=$((720 * scale)); }
start_xvfb "$work" "${width}x${height}x24" || { echo "Xvfb did not start" >&2; exit 1; }
pids+=("$XVFB_PID")
if [ -n "$wm" ]; then
    "$wm" >"$work/wm.log" 2>&1 &
    pids+=($!)
    sleep 0.5
fi

arguments=()
if [ "$scene" = sequence ]; then
    # Three items of the camera's size (320 x 240): red, green and blue, 1000 ms each.
    python3 - "$work/show.lgs" <<'EOF'
import struct, sys
w, h = 320, 240
record = 20 + w * h * 3
out = b"QmSq" + struct.pack("<ii", 3, 12 + 3 * record)
for bgr in ((0, 0, 220), (0, 180, 0), (200, 80, 0)):
    out += b"QmLg" + struct.pack("<iiiI", w, h, record, 1000) + bytes(bgr) * (w * h)
open(sys.argv[1], "wb").write(out)
EOF
    arguments=("$work/show.lgs")
fi

"$build/programs/lumadesk/lumadesk" "${arguments[@]}" >"$work/lumadesk.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xdotool search --name " - Lumadesk" >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 1
window=$(xdotool search --name " - Lumadesk" | head -n 1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"

case $scene in
file-menu)
    if [ -n "$wm" ] || [ "$scale" != 1 ]; then
        # Framed or scaled, the window is elsewhere: the File menu by its key.
        xdotool key --window "$window" alt+f
        sleep 0.8
        out_done=1
    else
        # The File menu, opened by a click on its title at the window's top-left.
        xdotool mousemove $((60 * scale)) $((50 * scale)) click 1
    fi
    if [ -z "${out_done:-}" ]; then
        sleep 0.5
        # Over "Open...": the status bar shows its prompt.
        xdotool mousemove 110 70
        sleep 0.3
    fi
    ;;
sequence)
    xdotool key --window "$window" alt+s
    sleep 0.3
    xdotool key p
    sleep 1.6
    ;;
preview)
    xdotool key --window "$window" alt+c
    sleep 0.3
    xdotool key p
    sleep 1
    ;;
esac

mkdir -p "$(dirname "$out")"
if [ "$scene" = file-menu ] && [ "$scale" = 1 ]; then
    crop="startx=30 starty=30 endx=629 endy=509"
else
    crop=""
fi
# shellcheck disable=SC2086
gst-launch-1.0 -q ximagesrc num-buffers=1 use-damage=false $crop ! videoconvert ! pngenc ! \
    filesink location="$out"
echo "Screenshot: $out"
