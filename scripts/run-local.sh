#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs Lumaghost inside a local root (LUMAGHOST_ROOT): installs the camera device there without
# root privileges or a kernel module. With a display (DISPLAY or WAYLAND_DISPLAY) it then starts
# Lumadesk on that camera; without one it puts the default picture on the camera and captures
# what the camera shows.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$here/$build ;; esac
: "${LUMAGHOST_ROOT:?LUMAGHOST_ROOT must name the local root}"
export LUMAGHOST_ROOT
mkdir -p "$LUMAGHOST_ROOT"
lumacam=$build/programs/lumacam/lumacam
# Without a session (no XDG_RUNTIME_DIR) Qt and Lumadesk's single-instance lock get a private
# runtime folder in the root.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$LUMAGHOST_ROOT/run/user
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
fi

echo "Lumaghost root: $LUMAGHOST_ROOT"
(cd "$here/res" && "$build/programs/lumasetup/lumasetup") || {
    echo "lumasetup failed with exit code $?" >&2
    exit 1
}
echo "Camera device installed. Video input devices:"
"$lumacam" list

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting Lumadesk on this camera; closing its window ends it."
    exec "$build/programs/lumadesk/lumadesk"
fi

out=$LUMAGHOST_ROOT/capture
"$lumacam" capture --count 1 --output "$out" --timeout 10 &
capture=$!
sleep 0.2
"$lumacam" send "$here/res/default.jpg"
wait $capture
echo
echo "The camera shows the default picture; captured as $out/frame-0000.ppm"
echo "Put another picture on it with:"
echo "  LUMAGHOST_ROOT=$LUMAGHOST_ROOT $lumacam send PICTURE [--stretch 0|1] [--keep-ratio 0|1] [--center 0|1]"
