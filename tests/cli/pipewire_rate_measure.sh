#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The frames a PipeWire consumer gets from the camera, beside a reference source of the same size,
# format and rate in the same run: in a private PipeWire (with its own session bus and session
# manager) `lumacam run` publishes a 320x240 camera at 30 frames/s showing a committed picture,
# and `videotestsrc is-live=true ! pipewiresink mode=provide` publishes the reference, a driving
# Video/Source node as ours is. One consumer for each takes frames at once
# (tests/cli/frame_arrivals.py) and prints a line for each:
#
#   NODE frames=N fps=F gaps=G longest=MS
#
#   pipewire_rate_measure.sh LUMASETUP LUMACAM COMMIT_FRAME RES [SECONDS]
#
# The camera's node is lumaghost.MEDIA_0000, the reference's lumaghost.reference.
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 res=$4 seconds=${5:-10}

here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

export XDG_RUNTIME_DIR=$work/run LUMAGHOST_ROOT=$work/root
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$LUMAGHOST_ROOT" "$work/media"
start_session_bus
start_pipewire

cp "$res/Lumacam.inf" "$work/media/"
(cd "$work/media" && "$lumasetup" >"$work/lumasetup.log" 2>&1) || fail "lumasetup exited $?"
"$commit" --pattern 320 240 "$work/picture.ppm"
"$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 &
pids+=($!)
"$commit" "$work/picture.ppm" || fail "commit through the camera link failed"

ours=lumaghost.MEDIA_0000 reference=lumaghost.reference
gst-launch-1.0 -q videotestsrc is-live=true \
    ! video/x-raw,format=YUY2,width=320,height=240,framerate=30/1 \
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
