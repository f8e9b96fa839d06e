#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# gst-launch-1.0 users: with GST_PLUGIN_PATH at the build, a test pattern played into lumarenderer
# reaches the camera, and lumacam capture sees it upright.
set -euo pipefail
lumasetup=$1 lumacam=$2 plugins=$3 res=$4

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export LUMAGHOST_ROOT=$work/root GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin
mkdir -p "$LUMAGHOST_ROOT"
fail() { echo "FAIL: $*" >&2; exit 1; }
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"

gst-inspect-1.0 lumarenderer >/dev/null || fail "the plugin does not load"
"$lumacam" capture --count 2 --output "$work/out" --timeout 20 &
capture=$!
sleep 0.3
gst-launch-1.0 -q videotestsrc num-buffers=90 ! video/x-raw,width=640,height=480 ! videoconvert \
    ! lumarenderer || fail "gst-launch-1.0 failed"
wait $capture || fail "lumacam capture saw no frames"

# The SMPTE bars: a light grey bar at the top left, dark blue at the bottom left.
pixel() { # file x y -> "r g b"
    od -An -tu1 -v -j $(($(head -c 15 "$1" | wc -c) + ($3 * 320 + $2) * 3)) -N3 "$1"
}
header=$(head -c 15 "$work/out/frame-0001.ppm" | tr '\n' ' ')
[ "$header" = "P6 320 240 255 " ] || fail "unexpected frame header: $header"
read -r r g b <<<"$(pixel "$work/out/frame-0001.ppm" 5 5)"
[ "$r" -gt 150 ] && [ "$r" = "$g" ] && [ "$g" = "$b" ] || fail "top left is $r $g $b, not light grey"
read -r r g b <<<"$(pixel "$work/out/frame-0001.ppm" 5 234)"
[ "$b" -gt "$r" ] && [ "$r" -lt 60 ] || fail "bottom left is $r $g $b, not dark blue"
echo "gst-launch round trip passed"
