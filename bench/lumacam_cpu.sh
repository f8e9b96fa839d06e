#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The CPU time `lumacam run` takes to publish a 1280x720 camera at 30 frames a second while a
# producer (videotestsrc into lumarenderer) commits a new frame every 1/30 s, as % of one core
# from /proc/PID/stat (utime + stime), in windows of SECONDS after a warm-up; the median last.
#
#   bench/lumacam_cpu.sh BUILD_DIR MODE [SECONDS] [WINDOWS]
#
# MODE: pipewire  lumacam run --no-v4l2 with one consumer (pipewiresrc ! fakesink), then, as
#                 the peers, GStreamer PipeWire producers of the same format (videotestsrc
#                 filling each frame black, and drawing a ball ! pipewiresink) with the same
#                 consumer
#       v4l2      lumaghost_lumacam_bench --no-pipewire: the loopback writer on a stand-in node
#       both      lumaghost_lumacam_bench: the stand-in node and one PipeWire consumer
#       idle      lumacam run --no-v4l2 with no consumer
# LUMACAM=path measures another lumacam binary (pipewire and idle); FORMAT=YUY2|I420|BGRx
# makes the consumer ask for that format; PERF=1 shows perf's profile of the daemon first. Everything runs in a private PipeWire with its own
# session bus and session manager, under a private root; only what was started is stopped.
set -euo pipefail
build=$(realpath "$1") mode=$2 seconds=${3:-10} windows=${4:-3}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
lumasetup=$build/programs/lumasetup/lumasetup
lumacam=${LUMACAM:-$build/programs/lumacam/lumacam}
bench=$build/bench/lumaghost_lumacam_bench

source "$source_dir/tests/cli/lib.sh"

export XDG_RUNTIME_DIR=$work/run LUMAGHOST_ROOT=$work/root GST_PLUGIN_PATH=$build/gst
export GST_REGISTRY=$work/registry.bin
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$LUMAGHOST_ROOT/sys/module/v4l2loopback" "$work/media"

start_session_bus
start_pipewire

sed -e 's/^FrameWidth=.*/FrameWidth=1280/' -e 's/^FrameHeight=.*/FrameHeight=720/' \
    -e 's/^FrameRate=.*/FrameRate=30/' "$source_dir/res/Lumacam.inf" >"$work/media/Lumacam.inf"
(cd "$work/media" && "$lumasetup" >"$work/lumasetup.log" 2>&1) || fail "lumasetup exited $?"

case $mode in
    pipewire | idle) "$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 & ;;
    v4l2) "$bench" --no-pipewire >"$work/lumacam.log" 2>&1 & ;;
    both) "$bench" >"$work/lumacam.log" 2>&1 & ;;
    *) fail "unknown mode $mode" ;;
esac
daemon=$!
pids+=($daemon)

gst-launch-1.0 -q videotestsrc is-live=true pattern=ball \
    ! video/x-raw,format=BGRx,width=1280,height=720,framerate=30/1 ! lumarenderer \
    >"$work/producer.log" 2>&1 &
pids+=($!)

# Ends process $1, which this script started.
stop_pid() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# One consumer of node $1, logging every frame it takes.
start_consumer() {
    local caps=video/x-raw
    [ -n "${FORMAT:-}" ] && caps="video/x-raw,format=$FORMAT"
    gst-launch-1.0 -v pipewiresrc target-object="$1" \
        stream-properties="props,media.type=Video,media.category=Capture,media.role=Camera" \
        ! "$caps" ! fakesink silent=false sync=false \
        >"$work/consumer.log" 2>&1 &
    consumer=$!
    pids+=($consumer)
}

if [ "$mode" = pipewire ] || [ "$mode" = both ]; then
    node=lumaghost.MEDIA_0000
    for _ in $(seq 100); do
        grep -q "$node" <<<"$(pw-cli ls Node 2>/dev/null || true)" && break
        sleep 0.1
    done
    start_consumer "$node"
fi

ticks() { # utime + stime of process $1: fields 14 and 15, 12 and 13 after its name
    local stat
    stat=$(cat "/proc/$1/stat") || fail "process $1 ended"
    awk '{ print $12 + $13 }' <<<"${stat##*) }"
}
hz=$(getconf CLK_TCK)
sleep 4  # start, negotiation, first frames
# PERF=1: where the daemon's time goes, from perf over one window.
if [ -n "${PERF:-}" ]; then
    perf record -q -g -p "$daemon" -o "$work/perf.data" -- sleep "$seconds" >/dev/null 2>&1 ||
        fail "perf record failed"
    perf report -i "$work/perf.data" --stdio --no-children --percent-limit 2 2>/dev/null |
        grep -v '^$' | grep -v '^#' | head -n 60
fi
frames() { grep -c 'chain' "$work/consumer.log" 2>/dev/null || true; }
# The % of one core process $1 takes in each of $windows windows, then their median.
windowed() {
    local a b results=()
    for _ in $(seq "$windows"); do
        a=$(ticks "$1")
        sleep "$seconds"
        b=$(ticks "$1")
        results+=("$(awk -v d=$((b - a)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * d / hz / s }')")
    done
    echo "${results[*]}"
}
median() { tr ' ' '\n' <<<"$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Frames a second the consumer took since $1 frames, and the format it took.
took() {
    [ -f "$work/consumer.log" ] || return 0
    local fps format
    fps=$(awk -v n=$(($(frames) - $1)) -v s=$((seconds * windows)) 'BEGIN { printf "%.1f", n / s }')
    format=$(grep -o 'format=(string)[A-Za-z0-9]*' "$work/consumer.log" | tail -n 1 || true)
    echo "; the consumer took ${format#format=(string)} at $fps frames/s"
}
first=$(frames)
results=$(windowed "$daemon")
ours=$(median "$results")
[ -n "${VERBOSE:-}" ] && tail -n 5 "$work"/*.log >&2
echo "lumacam $mode: $results % of one core; median $ours %$(took "$first")"
[ "$mode" = pipewire ] || exit 0

# The peers: the same format and consumer, from GStreamer producers that fill a new frame each
# period: with black (little more than PipeWire's own share), and with a moving ball drawn.
stop_pid "$consumer"
stop_pid "$daemon"
peer_format=${FORMAT:-YUY2}
for pattern in black ball; do
    gst-launch-1.0 -q videotestsrc is-live=true pattern=$pattern \
        ! "video/x-raw,format=$peer_format,width=1280,height=720,framerate=30/1" \
        ! pipewiresink mode=provide client-name=peer \
        stream-properties="props,media.class=Video/Source,node.name=peer.$pattern" \
        >"$work/peer.log" 2>&1 &
    peer=$!
    pids+=($peer)
    for _ in $(seq 100); do
        grep -q "peer.$pattern" <<<"$(pw-cli ls Node 2>/dev/null || true)" && break
        sleep 0.1
    done
    start_consumer "peer.$pattern"
    sleep 4
    first=$(frames)
    results=$(windowed "$peer")
    theirs=$(median "$results")
    echo "peer videotestsrc pattern=$pattern ! pipewiresink: $results % of one core; median $theirs %$(took "$first")"
    awk -v o="$ours" -v p="$theirs" 'BEGIN { printf "  ratio: %.2f (lumacam / this peer)\n", (p > 0 ? o / p : 0) }'
    stop_pid "$consumer"
    stop_pid "$peer"
done
