#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The frame channel with a hostile writer: while producers commit through the camera link,
# lumarenderer feeds the camera, and readers (readLatest loops, lumaghostsrc, lumacam capture)
# take frames, another process damages the channel file again and again (random bytes, odd slot
# sequences, committed slots out of range, other geometry, truncation, growth, removal). Nobody
# crashes, hangs or trips a sanitizer, every frame has the camera's size, and once the channel
# is made anew everybody gets through to it again. Built with AddressSanitizer and
# UndefinedBehaviorSanitizer by `make asan`.
set -euo pipefail
tool=$1 lumacam=$2 seconds=${3:-8}

source "$(dirname "$0")/lib.sh"

use_local_root
# A sanitizer's report fails the run with its own exit code, told apart from a plain failure.
export ASAN_OPTIONS=exitcode=86:abort_on_error=0:detect_leaks=1:${ASAN_OPTIONS:-}
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=87:${UBSAN_OPTIONS:-}

"$tool" install 64 48 || fail "install"
# Signals and sanitizer reports count; a plain "no frame" from lumacam does not.
sanitized() { ! grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$@"; }

participants=()
run() { # name command...
    local name=$1
    shift
    timeout --kill-after=5 $((seconds + 20)) "$@" >"$work/$name.log" 2>&1 &
    participants+=("$!:$name")
    pids+=($!)
}
run scribble "$tool" scribble "$seconds" "${SEED:-$RANDOM}"
run produce1 "$tool" produce $((seconds + 3))
run produce2 "$tool" produce $((seconds + 3))
run consume1 "$tool" consume $((seconds + 3))
run consume2 "$tool" consume $((seconds + 3))
run pipeline "$tool" pipeline $((seconds + 3))

# lumacam capture, again and again while the channel is damaged: a frame or a plain failure.
end=$((SECONDS + seconds))
captures=0 captured=0
while [ $SECONDS -lt $end ]; do
    rc=0
    timeout --kill-after=5 15 "$lumacam" capture --count 2 --output "$work/frames" --timeout 0.5 \
        >"$work/capture.log" 2>&1 || rc=$?
    captures=$((captures + 1))
    [ $rc -eq 0 ] && captured=$((captured + 1))
    { [ $rc -eq 0 ] || [ $rc -eq 1 ]; } && sanitized "$work/capture.log" ||
        fail "lumacam capture exited $rc: $(cat "$work/capture.log")"
    for f in "$work"/frames/*.ppm; do
        [ -e "$f" ] || continue
        [ "$(stat -c %s "$f")" -eq $((13 + 64 * 48 * 3)) ] || fail "lumacam capture wrote $(stat -c %s "$f") bytes"
    done
    rm -rf "$work/frames"
done

for p in "${participants[@]}"; do
    pid=${p%%:*} name=${p#*:}
    rc=0
    wait "$pid" || rc=$?
    [ $rc -ne 124 ] && [ $rc -ne 137 ] || fail "$name hung"
    [ $rc -eq 0 ] && sanitized "$work/$name.log" || fail "$name exited $rc"
    cat "$work/$name.log"
done

# And after the damage: a capture gets a frame again.
"$lumacam" capture --count 1 --output "$work/after" --timeout 20 >"$work/capture.log" 2>&1 &
capture=$!
timeout 30 "$tool" produce 3 >/dev/null || fail "no commit after the damage"
wait $capture || fail "lumacam capture got nothing after the damage: $(cat "$work/capture.log")"
echo "lumacam capture: $captured of $captures runs got their frames while the channel was damaged"
echo "hostile writer passed"
