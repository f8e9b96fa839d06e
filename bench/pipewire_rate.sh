#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The frame rate a PipeWire consumer gets from `lumacam run`'s 30 frames/s camera beside a
# reference source of the same size, format and rate (videotestsrc into a driving pipewiresink) in
# the same run, in a private PipeWire with its own session bus and session manager
# (tests/cli/pipewire_rate_measure.sh): frames per second of each, the camera's as a share of the
# reference's, and the pauses over 50 ms of each; RUNS runs of SECONDS, the median ratio last.
#
#   bench/pipewire_rate.sh BUILD_DIR [SECONDS] [RUNS]
#
# The camera shows a still picture at 320x240; SIZE=WxH measures another size, MOVING=1 has
# lumarenderer commit a moving pattern every 1/30 s (a frame to convert every period);
# LUMACAM=path measures another lumacam binary.
set -euo pipefail
build=$(realpath "$1") seconds=${2:-10} runs=${3:-3}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
lumasetup=$build/programs/lumasetup/lumasetup
lumacam=${LUMACAM:-$build/programs/lumacam/lumacam}
commit=$build/tests/lumaghost_commit_frame
export RATE_SIZE=${SIZE:-320x240}
[ -n "${MOVING:-}" ] && export RATE_PLUGINS=$build/gst

ratios=()
for run in $(seq "$runs"); do
    figures=$("$source_dir/tests/cli/pipewire_rate_measure.sh" "$lumasetup" "$lumacam" "$commit" \
        "$source_dir/res" "$seconds")
    field() { grep "^$1 " <<<"$figures" | grep -o "$2=[0-9.]*" | cut -d= -f2; }
    ours=$(field lumaghost.MEDIA_0000 fps) reference=$(field lumaghost.reference fps)
    ratio=$(awk -v o="$ours" -v r="$reference" 'BEGIN { printf "%.1f", 100 * o / r }')
    ratios+=("$ratio")
    echo "run $run: lumacam $ours frames/s, $(field lumaghost.MEDIA_0000 gaps) pauses over 50 ms" \
        "(longest $(field lumaghost.MEDIA_0000 longest) ms); reference $reference frames/s," \
        "$(field lumaghost.reference gaps) pauses (longest $(field lumaghost.reference longest) ms);" \
        "ratio $ratio %"
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "pipewire rate, $RATE_SIZE${MOVING:+ moving}: lumacam at ${ratios[*]} % of the reference's frames/s; median $median %"
