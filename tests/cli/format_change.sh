#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumacam format gives an installed camera another format while lumacam run publishes it: the
# format is printed, anything but a usual size or one within the INF's limits at 1 to 60 fps is
# refused with nothing changed, only root may change it, a PipeWire consumer that runs across
# the change takes the new format with no frame of a wrong size, the stored image of the old size
# gives way to black, and fresh pipewiresrc consumers get the committed frame byte for byte at
# 640x480, 1280x720 and 1920x1080.
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 consumer=$4 res=$5

source "$(dirname "$0")/lib.sh"

start_private_session

(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
state=$LUMAGHOST_ROOT/var/lib/lumaghost
hive=$state/machine.ini
channel=$LUMAGHOST_ROOT/run/lumaghost/MEDIA_0000.frames
[ "$("$lumacam" format)" = 320x240@30 ] || fail "lumacam format printed $("$lumacam" format)"
[ "$("$lumacam" format Lumaghost)" = 320x240@30 ] || fail "lumacam format Lumaghost printed otherwise"

# Refused, and nothing changed: the hive and the channel file stay as they are.
before=$(md5sum <"$hive") inode=$(stat -c %i "$channel")
refused() { # exit-code words... -- arguments...
    local code=$1 words=()
    shift
    while [ "$1" != -- ]; do words+=("$1"); shift; done
    shift
    local rc=0
    "$lumacam" format "$@" >"$work/out" 2>"$work/err" || rc=$?
    [ $rc -eq "$code" ] || fail "lumacam format $* exited $rc, not $code: $(cat "$work/err")"
    for w in "${words[@]}"; do
        grep -qF -- "$w" "$work/err" || fail "lumacam format $* did not say \"$w\": $(cat "$work/err")"
    done
    [ "$(md5sum <"$hive")" = "$before" ] || fail "lumacam format $* changed the hive"
    [ "$(stat -c %i "$channel")" = "$inode" ] || fail "lumacam format $* made the channel again"
}
refused 1 "The size 4000x3000 is not one of" "1920x1080" -- 4000x3000
refused 1 "The size 100x100" "160x120 to 1920x1080" -- 100x100@30
refused 1 "The frame rate 61" "1 to 60" -- 640x480@61
refused 1 "The frame rate 0" -- 640x480@0
refused 2 "is no format" "WIDTHxHEIGHT" -- Lumaghost 640x480fps
refused 1 "No installed camera named \"Other\"" -- Other 640x480
refused 2 "Usage" -- Lumaghost 640x480 extra
# A user who is not root may look, not change.
rc=0
setpriv --reuid=65534 --regid=65534 --clear-groups "$lumacam" format 640x480 2>"$work/err" || rc=$?
[ $rc -eq 1 ] && grep -qF "needs the rights of installing it" "$work/err" ||
    fail "a user who is not root changed the format (exit $rc: $(cat "$work/err"))"
[ "$(md5sum <"$hive")" = "$before" ] || fail "the refused user changed the hive"
# Under pkexec only the format line is taken, before anything is read.
rc=0
PKEXEC_UID=1000 "$lumacam" list 2>"$work/err" || rc=$?
[ $rc -eq 2 ] && grep -qF "under pkexec only format" "$work/err" ||
    fail "lumacam list ran under pkexec (exit $rc: $(cat "$work/err"))"

# A stored image of 320x240 (grey 33) is on show until the first commit.
python3 -c 'import sys; sys.stdout.buffer.write(b"P6\n320 240\n255\n" + bytes([33]) * 230400)' >"$work/grey.ppm"
"$commit" --store "$work/grey.ppm" || fail "the stored image could not be kept"
"$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 &
pids+=($!)
node=lumaghost.MEDIA_0000
nodes() { pw-cli ls Node 2>/dev/null || true; }
for _ in $(seq 100); do grep -q "$node" <<<"$(nodes)" && break; sleep 0.1; done
grep -q "$node" <<<"$(nodes)" || fail "no PipeWire node $node"

# A producer that fetched a frame at 320x240 and fills it after the change is refused.
"$commit" --pattern 320 240 "$work/old.ppm"
rc=0
"$commit" --wait-for "$work/changed" "$work/old.ppm" 2>"$work/slow.log" &
slow=$!

# A consumer that runs across the change to 640x480.
"$consumer" "$node" 8 >"$work/consumer.out" 2>"$work/consumer.log" &
running=$!
for _ in $(seq 100); do grep -q '^FORMAT' "$work/consumer.out" && break; sleep 0.1; done
sleep 1
"$lumacam" format 640x480 >"$work/format.out" 2>"$work/format.log" || fail "lumacam format 640x480 exited $?"
[ "$(cat "$work/format.out")" = 640x480@30 ] || fail "lumacam format 640x480 printed $(cat "$work/format.out")"
[ "$("$lumacam" format)" = 640x480@30 ] || fail "the camera's format is $("$lumacam" format)"
touch "$work/changed"
wait $slow || rc=$?
[ $rc -eq 1 ] && grep -q "Commit failed: .*8004022A" "$work/slow.log" ||
    fail "the frame of the old size was not refused (exit $rc: $(cat "$work/slow.log"))"
wait $running || fail "the running consumer failed: $(cat "$work/consumer.log")"
cat "$work/consumer.out"
grep -qx 'FORMAT 320x240' "$work/consumer.out" || fail "the consumer never had 320x240"
grep -qx 'FORMAT 640x480' "$work/consumer.out" || fail "the running consumer never took 640x480"
read -r _ _ old _ old_missized _ old_mean <<<"$(grep '^FRAMES 320x240' "$work/consumer.out")"
read -r _ _ new _ new_missized _ new_mean <<<"$(grep '^FRAMES 640x480' "$work/consumer.out")"
[ "$old" -gt 10 ] && [ "$new" -gt 10 ] || fail "too few frames before ($old) or after ($new) the change"
[ "$old_missized" -eq 0 ] && [ "$new_missized" -eq 0 ] || fail "frames of a wrong size reached the consumer"
# Luma of the stored image's grey 33 before; black (16) once the size changed.
[ "${old_mean%.*}" -ge 40 ] && [ "${old_mean%.*}" -le 50 ] || fail "the stored image was not on show (luma $old_mean)"
[ "${new_mean%.*}" -le 17 ] || fail "the stored image of the old size was shown at the new one (luma $new_mean)"
grep -q "the stored image $state/LastLgImage.lgi is not shown" "$work/lumacam.log" ||
    fail "lumacam run did not say why the stored image is not shown"

# Fresh consumers at each size get the frame committed at it, byte for byte.
consume() { # output-file buffers
    gst-launch-1.0 -q pipewiresrc target-object=$node \
        stream-properties="props,media.type=Video,media.category=Capture,media.role=Camera" \
        num-buffers="$2" ! video/x-raw,format=BGRx ! videoconvert ! video/x-raw,format=RGB \
        ! filesink location="$1"
}
for size in 640x480 1280x720 1920x1080; do
    w=${size%x*} h=${size#*x}
    "$lumacam" format "$size@30" >/dev/null || fail "lumacam format $size exited $?"
    for _ in $(seq 50); do grep -q "is now $size@30" "$work/lumacam.log" && break; sleep 0.1; done
    [ "$size" = 640x480 ] || grep -q "is now $size@30" "$work/lumacam.log" || fail "lumacam run did not follow to $size"
    "$commit" --pattern "$w" "$h" "$work/$size.ppm"
    "$commit" "$work/$size.ppm" || fail "the commit at $size failed"
    timeout 30 bash -c "$(declare -f consume); node=$node; consume '$work/$size.raw' 3" ||
        fail "pipewiresrc received no frames at $size"
    frame=$((w * h * 3))
    [ "$(stat -c %s "$work/$size.raw")" -eq $((3 * frame)) ] || fail "pipewiresrc's frames are not $size"
    tail -c $frame "$work/$size.ppm" | cmp -s - <(tail -c $frame "$work/$size.raw") ||
        fail "the frame at $size differs from the committed one"
    echo "pipewiresrc received the committed $size frame"
done
echo "Format changes passed"
