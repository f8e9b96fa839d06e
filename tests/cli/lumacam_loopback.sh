#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumacam run with v4l2loopback as its only output, as the system unit runs it: where the module
# is not loaded it says so on one line and ends with 0 at once (the unit is not restarted, the
# journal has the line once); where it is loaded it publishes the camera until it is stopped.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"

export LUMAGHOST_ROOT=$work/root XDG_RUNTIME_DIR=$work/xdg
mkdir -p "$LUMAGHOST_ROOT"
mkdir -m 700 "$XDG_RUNTIME_DIR"
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"

start=$(date +%s%N)
"$lumacam" run --seconds 5 --no-pipewire 2>"$work/absent.log" || fail "lumacam run exited $?"
took=$((($(date +%s%N) - start) / 1000000))
[ "$(cat "$work/absent.log")" = "lumacam: v4l2loopback is not loaded: the cameras are shown through PipeWire only" ] ||
    fail "without v4l2loopback lumacam run said: $(cat "$work/absent.log")"
[ "$took" -lt 4000 ] || fail "without v4l2loopback lumacam run kept running for $took ms"

mkdir -p "$LUMAGHOST_ROOT/sys/module/v4l2loopback"
"$lumacam" run --seconds 1 --no-pipewire 2>"$work/present.log" || fail "lumacam run exited $?"
[ "$(cat "$work/present.log")" = "lumacam: \"Lumaghost\" 320x240 from $LUMAGHOST_ROOT/run/lumaghost/MEDIA_0000.frames" ] ||
    fail "with v4l2loopback lumacam run said: $(cat "$work/present.log")"
echo "lumacam run for v4l2loopback passed"
