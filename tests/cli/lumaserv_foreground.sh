#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumaserv -d in a private root: a two-frame sequence plays into the camera in an endless loop;
# Ctrl+C stops it at once with "Stopping Quillmoor Lumaghost Play Service." and exit code 1,
# whatever it is waiting for: a setting, a file to load again, a FIFO it must not open, the next
# of many frames of display time 0; a malformed sequence file is never played; an auto-play
# movie is played into the camera. A machine hive that cannot be read is named with its line,
# and a missing system bus is named as such.
set -euo pipefail
lumasetup=$1 lumacam=$2 lumaserv=$3 writeseq=$4 res=$5

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work"/serv.out >&2 2>/dev/null || true; exit 1; }
# Open to others, as a real root is: the service opens the auto-play item with group video's
# rights only.
chmod 755 "$work"
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
# Ctrl+C ends the service within a second, with exit code 1; a service that does not is killed.
stops_at_once() { # pid what
    kill -INT "$1"
    for _ in $(seq 20); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    if kill -0 "$1" 2>/dev/null; then
        kill -KILL "$1"
        fail "still running a second after Ctrl+C $2"
    fi
    local rc=0
    wait "$1" || rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc after Ctrl+C $2"
}

# The endless loop of two frames.
"$writeseq" "$work/two.lgs" 320 240 1000:10 3000:20
autoplay "$work/two.lgs" 1
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
"$lumacam" capture --count 3 --output "$work/loop" --timeout 12 || fail "the service played nothing"
a=$(value "$work/loop/frame-0000.ppm") b=$(value "$work/loop/frame-0001.ppm") c=$(value "$work/loop/frame-0002.ppm")
[ "$a" != "$b" ] && [ "$a" = "$c" ] && { [ "$a" = 10 ] || [ "$a" = 20 ]; } || fail "frames $a $b $c do not loop"

# Ctrl+C, during a display time: at once.
stops_at_once $serv "during a display time"
[ "$(cat "$work/serv.out")" = "Debugging Quillmoor Lumaghost Play Service.
Stopping Quillmoor Lumaghost Play Service." ] || fail "unexpected output"

# Ctrl+C while no AutoPlay is set (the 5 s retry): at once.
cp "$work/hive.orig" "$hive"
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
sleep 0.5
stops_at_once $serv "while waiting for a setting"

# An AutoPlay naming a FIFO, as a sequence and as a movie: it is not opened, nothing blocks.
mkfifo "$work/item.fifo"
for type in 1 2; do
    autoplay "$work/item.fifo" $type
    "$lumaserv" -d >"$work/serv.out" 2>&1 &
    serv=$!
    sleep 0.5
    stops_at_once $serv "with a FIFO of type $type"
done

# Many frames of display time 0 are paced by the camera: Ctrl+C during the pass ends it at once.
# shellcheck disable=SC2046 # one argument per frame
"$writeseq" "$work/zero-times.lgs" 1 1 $(yes 0:0 | head -n 20000)
autoplay "$work/zero-times.lgs" 1
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
"$lumacam" capture --count 2 --output "$work/zero-times" --timeout 5 || fail "the sequence of display time 0 was not played"
stops_at_once $serv "during a pass of display time 0"

# A malformed sequence is never played.
cp "$work/two.lgs" "$work/bad.lgs"
printf 'x' >>"$work/bad.lgs"
autoplay "$work/bad.lgs" 1
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
if "$lumacam" capture --count 1 --output "$work/bad" --timeout 2 2>/dev/null; then
    fail "a malformed sequence was played"
fi
stops_at_once $serv "while the rejected file waits to be loaded again (10 s)"

# A movie as the auto-play item (type 2) plays into the camera.
gst-launch-1.0 -q videotestsrc num-buffers=15 ! video/x-raw,width=160,height=120,framerate=30/1 \
    ! jpegenc ! avimux ! filesink location="$work/clip.avi"
autoplay "$work/clip.avi" 2
"$lumaserv" -d >"$work/serv.out" 2>&1 &
serv=$!
"$lumacam" capture --count 20 --output "$work/movie" --timeout 15 || fail "the movie did not play (or loop)"
kill -INT $serv
wait $serv || true

# One unreadable line in the machine hive: one line naming the file and the line, exit code 2.
cp "$work/hive.orig" "$hive"
printf '[broken\n' >>"$hive"
line=$(wc -l <"$hive")
rc=0
out=$("$lumaserv" -d 2>&1) || rc=$?
[ $rc -eq 2 ] || fail "exit code $rc with a broken hive"
case $out in "Cannot read $hive, line $line: "*) ;; *) fail "with a broken hive it said: $out" ;; esac
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || fail "more than one line: $out"

# Without a system bus the service manager cannot be reached, and that is what is said.
cp "$work/hive.orig" "$hive"
for mode in -i -u -s -e; do
    rc=0
    out=$(DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus "$lumaserv" $mode 2>&1) || rc=$?
    [ $rc -eq 0 ] || fail "lumaserv $mode exited $rc without a bus"
    [ "$out" = "OpenSCManager failed - The service manager cannot be reached: cannot connect to the system bus at unix:path=$work/no-bus (No such file or directory)." ] ||
        fail "lumaserv $mode without a bus said: $out"
done
echo "lumaserv foreground passed"
