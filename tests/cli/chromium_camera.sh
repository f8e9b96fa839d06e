#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# A browser sees the camera: headless Chromium reaches PipeWire cameras through xdg-desktop-portal's
# Camera interface, as on a desktop, in a private session (tests/cli/browser_camera.sh). A page
# finds the video input labelled Lumaghost, opens it and draws a frame to a canvas; its colour
# must be the one `lumacam send` put on the camera.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/browser_camera.sh"
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || fail "$chromium is missing (scripts/install-deps.sh installs it)"

start_camera_session "$lumasetup" "$lumacam" "$res"

"$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium-profile" --use-fake-ui-for-media-stream \
    --enable-features=WebRtcPipeWireCamera --autoplay-policy=no-user-gesture-required \
    --enable-logging=stderr --v=0 "$page_url" >"$work/chromium.log" 2>&1 &
chromium_pid=$!
pids+=($chromium_pid)

check_page Chromium $chromium_pid "$work/chromium.log" '"'
