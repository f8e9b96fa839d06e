#!/usr/bin/env bash
# lumaserv -d in a private root: a two-frame sequence plays into the camera in an endless loop;
# Ctrl+C stops it at once with "Stopping Quillmoor Lumaghost Play Service." and exit code 1;
# a malformed sequence file is never played; an auto-play movie is played into the camera.
set -euo pipefail
lumasetup=$1 lumacam=$2 lumaserv=$3 writeseq=$4 res=$5

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work"/serv.out >&2 2>/dev/null || true; exit 1; }
export LUMAGHOST_ROOT=$work/root
mkdir -p "$LUMAGHOST_ROOT"
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
hive=$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini
cp "$hive" "$work/hive.orig"
autoplay() { # path type
    cp "$work/hive.orig" "$hive"
    printf '\n[Software\\Quillmoor\\Lumadesk\\Settings]\n"AutoPlay"="%s"\n"AutoPlayType"=dword:%08x\n' "$1" "$2" >>"$hive"
}
value() { od -An -tu1 -j15 -N1 "$1" | tr -d ' '; }

# The endless loop of two frames.
"$writeseq" "$work/two.lgs" 320 240 1000:10 3000:20
autoplay "$work/two.lgs" 1
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
"$lumacam" capture --count 3 --output "$work/loop" --timeout 12 || fail "the service played nothing"
a=$(value "$work/loop/frame-0000.ppm") b=$(value "$work/loop/frame-0001.ppm") c=$(value "$work/loop/frame-0002.ppm")
[ "$a" != "$b" ] && [ "$a" = "$c" ] && { [ "$a" = 10 ] || [ "$a" = 20 ]; } || fail "frames $a $b $c do not loop"

# Ctrl+C, during a display time: at once.
kill -INT $serv
for _ in $(seq 20); do kill -0 $serv 2>/dev/null || break; sleep 0.05; done
kill -0 $serv 2>/dev/null && fail "still running a second after Ctrl+C"
rc=0
wait $serv || rc=$?
[ $rc -eq 1 ] || fail "exit code $rc, not 1"
[ "$(cat "$work/serv.out")" = "Debugging Quillmoor Lumaghost Play Service.
Stopping Quillmoor Lumaghost Play Service." ] || fail "unexpected output"

# A malformed sequence is never played.
cp "$work/two.lgs" "$work/bad.lgs"
printf 'x' >>"$work/bad.lgs"
autoplay "$work/bad.lgs" 1
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
if "$lumacam" capture --count 1 --output "$work/bad" --timeout 2 2>/dev/null; then
    fail "a malformed sequence was played"
fi
kill -TERM $serv
wait $serv || true

# A movie as the auto-play item (type 2) plays into the camera.
gst-launch-1.0 -q videotestsrc num-buffers=15 ! video/x-raw,width=160,height=120,framerate=30/1 \
    ! jpegenc ! avimux ! filesink location="$work/clip.avi"
autoplay "$work/clip.avi" 2
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
"$lumacam" capture --count 20 --output "$work/movie" --timeout 15 || fail "the movie did not play (or loop)"
kill -INT $serv
wait $serv || true
echo "lumaserv foreground passed"
