#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumacam run publishes the camera to PipeWire: in a private PipeWire (with its own session bus
# and session manager), pipewiresrc receives the committed frame byte for byte, a consumer killed
# mid-stream does not stop the next one, and two consumers get frames at once.
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 res=$4

source "$(dirname "$0")/lib.sh"

start_private_session

(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
"$commit" --pattern 320 240 "$work/picture.ppm"
"$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 &
pids+=($!)
"$commit" "$work/picture.ppm" || fail "commit through the camera link failed"

node=lumaghost.MEDIA_0000
# (Whole listings are taken before grepping: with pipefail, grep -q closing the pipe early
# would fail the lister with SIGPIPE.)
nodes() { pw-cli ls Node 2>/dev/null || true; }
for _ in $(seq 100); do grep -q "$node" <<<"$(nodes)" && break; sleep 0.1; done
grep -q "$node" <<<"$(nodes)" || fail "no PipeWire node $node"

consume() { # output-file buffers
    gst-launch-1.0 -q pipewiresrc target-object=$node \
        stream-properties="props,media.type=Video,media.category=Capture,media.role=Camera" \
        num-buffers="$2" ! video/x-raw,format=BGRx ! videoconvert ! video/x-raw,format=RGB \
        ! filesink location="$1"
}

# The committed frame arrives byte for byte, upright.
timeout 30 bash -c "$(declare -f consume); node=$node; consume '$work/first.raw' 3" ||
    fail "pipewiresrc received no frames"
frame=$((320 * 240 * 3))
tail -c $frame "$work/picture.ppm" >"$work/expected.raw"
tail -c $frame "$work/first.raw" | cmp - "$work/expected.raw" || fail "the frame differs from the committed one"

# A consumer killed in the middle of its stream does not stop the next.
timeout 60 bash -c "$(declare -f consume); node=$node; consume '$work/killed.raw' 100000" &
victim=$!
for _ in $(seq 100); do [ -s "$work/killed.raw" ] && break; sleep 0.1; done
[ -s "$work/killed.raw" ] || fail "the first consumer got nothing"
pkill -KILL -f "$work/killed.raw" || true
wait $victim 2>/dev/null || true
timeout 30 bash -c "$(declare -f consume); node=$node; consume '$work/after.raw' 5" ||
    fail "no frames for the consumer after the killed one"
[ "$(stat -c %s "$work/after.raw")" -eq $((5 * frame)) ] || fail "short stream after churn"

# Two consumers at once.
timeout 30 bash -c "$(declare -f consume); node=$node; consume '$work/a.raw' 10" &
a=$!
timeout 30 bash -c "$(declare -f consume); node=$node; consume '$work/b.raw' 10" &
b=$!
wait $a || fail "the first of two consumers failed"
wait $b || fail "the second of two consumers failed"
tail -c $frame "$work/b.raw" | cmp - "$work/expected.raw" || fail "the second consumer's frame differs"
echo "PipeWire round trips passed"
