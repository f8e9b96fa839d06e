#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The frames a PipeWire consumer gets from the camera, beside a reference source of the same size,
# format and rate in the same run: in a private PipeWire (with its own session bus and session
# manager) `lumacam run` publishes a camera at 30 frames/s, 320x240 unless RATE_SIZE=WxH says
# otherwise, showing a committed picture, or with RATE_PLUGINS=DIR (the build's GStreamer plugins)
# a pattern that moves, committed every 1/30 s by lumarenderer; `videotestsrc is-live=true !
# pipewiresink mode=provide` publishes the reference, a driving Video/Source node as ours is. One
# consumer for each takes frames at once (tests/cli/frame_arrivals.py) and prints a line for each:
#
#   NODE frames=N fps=F gaps=G longest=MS
#
#   pipewire_rate_measure.sh LUMASETUP LUMACAM COMMIT_FRAME RES [SECONDS]
#
# The camera's node is lumaghost.MEDIA_0000, the reference's lumaghost.reference.
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 res=$4 seconds=${5:-10}
size=${RATE_SIZE:-320x240}
width=${size%x*} height=${size#*x}

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

start_private_session
mkdir -p "$work/media"

sed -e "s/^FrameWidth=.*/FrameWidth=$width/" -e "s/^FrameHeight=.*/FrameHeight=$height/" \
    -e 's/^FrameRate=.*/FrameRate=30/' "$res/Lumacam.inf" >"$work/media/Lumacam.inf"
(cd "$work/media" && "$lumasetup" >"$work/lumasetup.log" 2>&1) || fail "lumasetup exited $?"
"$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 &
pids+=($!)
if [ -n "${RATE_PLUGINS:-}" ]; then
    GST_PLUGIN_PATH=$RATE_PLUGINS GST_REGISTRY=$work/registry.bin gst-launch-1.0 -q \
        videotestsrc is-live=true pattern=ball \
        ! "video/x-raw,format=BGRx,width=$width,height=$height,framerate=30/1" ! lumarenderer \
        >"$work/producer.log" 2>&1 &
    pids+=($!)
else
    "$commit" --pattern "$width" "$height" "$work/picture.ppm"
    "$commit" "$work/picture.ppm" || fail "commit through the camera link failed"
fi

ours=lumaghost.MEDIA_0000 reference=lumaghost.reference
gst-launch-1.0 -q videotestsrc is-live=true \
    ! "video/x-raw,format=YUY2,width=$width,height=$height,framerate=30/1" \
    ! pipewiresink mode=provide \
    stream-properties="props,media.class=Video/Source,media.role=Camera,node.name=$reference" \
    >"$work/reference.log" 2>&1 &
pids+=($!)

nodes() { pw-cli ls Node 2>/dev/null || true; }
for _ in $(seq 100); do
    listing=$(nodes)
    grep -q "$ours" <<<"$listing" && grep -q "$reference" <<<"$listing" && break
    sleep 0.1
done
listing=$(nodes)
grep -q "$ours" <<<"$listing" || fail "no PipeWire node $ours"
grep -q "$reference" <<<"$listing" || fail "no PipeWire node $reference"

/usr/bin/python3 "$here/frame_arrivals.py" "$seconds" "$ours" "$reference" ||
    fail "the consumers failed"
