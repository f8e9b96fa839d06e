#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Lumadesk's camera sources end to end, as assistive technology drives them: a private X server
# (Xvfb), session bus and accessibility bus, a camera "Lumaghost" installed by lumasetup in a
# private root and a second Lumaghost device "Real Cam" fed by gst-launch-1.0 as the real
# camera; tests/desk/atspi_media.py plays a movie, a file that is no movie, a directory and the
# real camera into the camera, opens the preview, and checks the frames with lumacam capture.
# Every process started here is ended by its id (the accessibility bus launcher with the bus and
# registry it starts, by its process group) when the test ends.
# Usage: atspi_media.sh LUMADESK LUMASETUP LUMACAM PLUGIN_DIR RES_DIR
set -euo pipefail
lumadesk=$1 lumasetup=$2 lumacam=$3 plugins=$4 res=$5
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../cli/lib.sh"
source "$here/xvfb.sh"

mkdir -m 700 "$work/run"
mkdir -p "$work/config" "$work/data" "$work/root" "$work/media"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export LUMAGHOST_ROOT=$work/root HOME=$work
export GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin
unset WAYLAND_DISPLAY

# The camera, then the real camera beside it: a second instance of 160 x 60.
cp "$res/Lumacam.inf" "$work/media/"
(cd "$work/media" && "$lumasetup") || fail "lumasetup exited $?"
cat >>"$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini" <<'EOF'

[SYSTEM\CurrentControlSet\Enum\Root\MEDIA\0001]
"Class"="MEDIA"
"HardwareID"=multi:"Lumacam"
"FriendlyName"="Real Cam"
"Service"="lumacam"

[SYSTEM\CurrentControlSet\Enum\Root\MEDIA\0001\Device Parameters]
"FrameWidth"=dword:000000a0
"FrameHeight"=dword:0000003c
"FrameRate"=dword:0000001e
EOF
# The movie fit fills the camera without keeping the ratio.
mkdir -p "$XDG_CONFIG_HOME/Quillmoor"
cat >"$XDG_CONFIG_HOME/Quillmoor/Lumadesk.conf" <<'EOF'
[Software\Quillmoor\Lumadesk\Settings]
"KeepRatio"=dword:00000000
EOF

# The real camera shows its left quarter red, the rest white.
gst-launch-1.0 -q compositor name=mix background=white ! video/x-raw,width=160,height=60 \
    ! videoconvert ! lumarenderer device="Real Cam" stretch=false \
    videotestsrc is-live=true pattern=red ! video/x-raw,width=40,height=60,framerate=30/1 \
    ! mix. >"$work/realcam.log" 2>&1 &
pids+=($!)

start_session_bus
start_accessible_x "$work"

start=$(date +%s.%N)
/usr/bin/python3 "$here/atspi_media.py" "$lumadesk" "$lumacam" "$work" ||
    fail "the accessibility test failed"
echo "atspi_media: passed in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
