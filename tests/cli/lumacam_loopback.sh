#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumacam run with v4l2loopback as its only output, as the system unit runs it: where the module
# is not loaded it says so once (the journal has the line once) and keeps looking for the node
# until it is stopped, so that a module loaded later is fed; a missing node is said once too.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"

use_local_root
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"

channel="lumacam: \"Lumaghost\" 320x240 from $LUMAGHOST_ROOT/run/lumaghost/MEDIA_0000.frames"
no_node='lumacam: "Lumaghost": no v4l2loopback node is labelled "Lumaghost" yet'
start=$(date +%s%N)
"$lumacam" run --seconds 5 --no-pipewire 2>"$work/absent.log" || fail "lumacam run exited $?"
took=$((($(date +%s%N) - start) / 1000000))
expected=$(printf '%s\n' "lumacam: v4l2loopback is not loaded: the cameras are shown through PipeWire only" \
    "$channel" "$no_node")
[ "$(cat "$work/absent.log")" = "$expected" ] ||
    fail "without v4l2loopback lumacam run said: $(cat "$work/absent.log")"
[ "$took" -ge 4500 ] || fail "without v4l2loopback lumacam run ended after $took ms"

mkdir -p "$LUMAGHOST_ROOT/sys/module/v4l2loopback"
"$lumacam" run --seconds 3 --no-pipewire 2>"$work/present.log" || fail "lumacam run exited $?"
[ "$(cat "$work/present.log")" = "$(printf '%s\n' "$channel" "$no_node")" ] ||
    fail "with v4l2loopback lumacam run said: $(cat "$work/present.log")"
echo "lumacam run for v4l2loopback passed"
