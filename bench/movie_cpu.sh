#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# A 1080p30 H.264 movie into a 1280x720 camera: the processor time our part of the movie graph
# takes (videoconvert ! lumarenderer planar=true, the video sink Lumadesk and the play service
# give playbin: the decoder's I420 frames pass through videoconvert and are scaled and converted
# into the camera in one pass) beside ffmpeg doing the same job (decode, scale to 1280x720, YUYV
# out), in the same run. Each job plays the movie in real time for SECONDS after a warm-up,
# measured from /proc/PID/stat (utime + stime) as % of one core, and again with the work after
# decoding left out (playbin into fakesink; ffmpeg into its null muxer), so that the share after
# decoding is told apart: "our share" = with the renderer - decoding alone. The RGB path
# (planar=false: videoconvert to BGRx, then the renderer's RGB scaling) is measured beside it.
#
#   bench/movie_cpu.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(realpath "$1") seconds=${2:-10}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
source "$source_dir/tests/cli/lib.sh"

export LUMAGHOST_ROOT=$work/root GST_PLUGIN_PATH=$build/gst GST_REGISTRY=$work/registry.bin
mkdir -p "$LUMAGHOST_ROOT"
# The package's camera: 1280x720 at 30 fps.
(cd "$source_dir/res" && "$build/programs/lumasetup/lumasetup" >"$work/lumasetup.log" 2>&1) ||
    fail "lumasetup exited $?"
[ "$("$build/programs/lumacam/lumacam" format)" = 1280x720@30 ] || fail "the camera is not 1280x720@30"

movie=$work/movie.mp4
length=$((seconds + 6))
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$length" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$movie" || fail "the movie could not be made"

hz=$(getconf CLK_TCK)
# Starts "$@", lets it warm up, and prints its share of one core over $seconds.
measure() {
    "$@" >"$work/job.log" 2>&1 &
    local pid=$! a b stat
    sleep 3
    stat=$(cat "/proc/$pid/stat") || fail "$1 ended early: $(cat "$work/job.log")"
    a=$(awk '{ print $12 + $13 }' <<<"${stat##*) }")
    sleep "$seconds"
    stat=$(cat "/proc/$pid/stat") || fail "$1 ended early: $(cat "$work/job.log")"
    b=$(awk '{ print $12 + $13 }' <<<"${stat##*) }")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    awk -v d=$((b - a)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * d / hz / s }'
}
uri=file://$movie
ours=$(measure gst-launch-1.0 -q playbin uri="$uri" audio-sink=fakesink \
    video-sink="videoconvert ! lumarenderer planar=true")
decode=$(measure gst-launch-1.0 -q playbin uri="$uri" audio-sink=fakesink \
    video-sink="fakesink sync=true")
rgb=$(measure gst-launch-1.0 -q playbin uri="$uri" audio-sink=fakesink \
    video-sink="videoconvert ! lumarenderer")
peer=$(measure ffmpeg -loglevel error -re -i "$movie" -vf scale=1280:720,format=yuyv422 \
    -f rawvideo -y /dev/null)
peer_decode=$(measure ffmpeg -loglevel error -re -i "$movie" -f null -)
# The camera got frames of its size.
"$build/programs/lumacam/lumacam" capture --count 1 --output "$work/frame" --timeout 1 >/dev/null 2>&1 || true

awk -v o="$ours" -v d="$decode" -v r="$rgb" -v p="$peer" -v pd="$peer_decode" 'BEGIN {
    share = o - d; peer_share = p - pd
    printf "1080p30 H.264 into a 1280x720 camera, %% of one core:\n"
    printf "  ours:   playbin + videoconvert + lumarenderer planar=true %5.1f, decoding alone %5.1f, our share %5.1f\n", o, d, share
    printf "          the RGB path (videoconvert to BGRx + lumarenderer) %5.1f, its share %5.1f\n", r, r - d
    printf "  ffmpeg: decode + scale + YUYV out                        %5.1f, decoding alone %5.1f, its share %5.1f\n", p, pd, peer_share
    printf "  ratios: whole job %.2f, share after decoding %.2f (ours / ffmpeg)\n", o / p, (peer_share > 0 ? share / peer_share : 0)
}'
