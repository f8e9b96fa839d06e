#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# After a reboot: run/ is a tmpfs and comes up empty while the device tree persists in the
# machine hive. Without lumasetup running again, lumacam list, send and capture, lumacam run and
# lumaserv -d all find the camera: whoever opens its frame channel first makes it again from the
# device's Device Parameters (mode 0660, group video), and the others open that one. A capture
# already waiting follows the channel made again.
set -euo pipefail
lumasetup=$1 lumacam=$2 lumaserv=$3 writeseq=$4 commit=$5 res=$6

source "$(dirname "$0")/lib.sh"

use_local_root
mkdir -p "$work/media"
# A camera of another size than the default, so the size seen after the reboot can only have
# come from its Device Parameters.
sed -e 's/^FrameWidth=.*/FrameWidth=64/' -e 's/^FrameHeight=.*/FrameHeight=48/' \
    -e 's/^FrameRate=.*/FrameRate=25/' "$res/Lumacam.inf" >"$work/media/Lumacam.inf"
(cd "$work/media" && "$lumasetup") || fail "lumasetup exited $?"
channel=$LUMAGHOST_ROOT/run/lumaghost/MEDIA_0000.frames
[ -f "$channel" ] || fail "lumasetup made no frame channel"
hive=$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini
cp "$hive" "$work/hive.installed"

reboot() {
    rm -rf "$LUMAGHOST_ROOT/run"
    mkdir "$LUMAGHOST_ROOT/run"
}
channel_made_by() {
    [ -f "$channel" ] || fail "$1 did not make the frame channel again"
    [ "$(stat -c %a "$channel")" = 660 ] || fail "$1 made the channel with mode $(stat -c %a "$channel")"
    if getent group video >/dev/null && [ "$(id -u)" = 0 ]; then
        [ "$(stat -c %G "$channel")" = video ] || fail "$1 made the channel in group $(stat -c %G "$channel")"
    fi
    ! ls "$LUMAGHOST_ROOT"/run/lumaghost/*.new-* 2>/dev/null || fail "$1 left a temporary file behind"
}
# Commits the picture until the capture started before has finished.
commit_until_captured() { # capture-pid
    for _ in $(seq 200); do
        "$commit" "$work/picture.ppm" || fail "commit through the camera link failed"
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    wait "$1" || fail "lumacam capture failed after a reboot"
}
"$commit" --pattern 64 48 "$work/picture.ppm"

# lumacam list.
reboot
list=$("$lumacam" list)
grep -qx $'Lumaghost\tlumaghost\t64x48' <<<"$list" || fail "lumacam list after a reboot shows: $list"
channel_made_by "lumacam list"

# lumacam capture opens first; a frame committed through the camera link comes back whole.
reboot
"$lumacam" capture --count 1 --output "$work/out" --timeout 20 &
capture=$!
for _ in $(seq 100); do [ -f "$channel" ] && break; sleep 0.05; done
channel_made_by "lumacam capture"
commit_until_captured $capture
cmp "$work/picture.ppm" "$work/out/frame-0000.ppm" || fail "captured frame differs from the committed picture"

# A capture waiting across a reboot follows the channel made again after it.
"$lumacam" capture --count 1 --output "$work/across" --timeout 20 &
capture=$!
sleep 0.5
reboot
commit_until_captured $capture
cmp "$work/picture.ppm" "$work/across/frame-0000.ppm" ||
    fail "the frame captured across a reboot differs from the committed picture"

# lumacam send opens first; what it sends reaches a capture.
reboot
"$lumacam" send "$work/picture.ppm" || fail "lumacam send after a reboot exited $?"
channel_made_by "lumacam send"
"$lumacam" capture --count 1 --output "$work/sent" --timeout 20 &
capture=$!
for _ in $(seq 100); do
    "$lumacam" send "$work/picture.ppm" || fail "lumacam send exited $?"
    kill -0 $capture 2>/dev/null || break
    sleep 0.1
done
wait $capture || fail "no frame of lumacam send reached lumacam capture"
[ "$(head -c 8 "$work/sent/frame-0000.ppm")" = $'P6\n64 48' ] || fail "the sent frame is not 64x48"

# lumacam run publishes the camera from its re-made channel.
reboot
"$lumacam" run --seconds 1 --no-v4l2 --no-pipewire 2>"$work/run.log" || fail "lumacam run exited $?"
[ "$(cat "$work/run.log")" = "lumacam: \"Lumaghost\" 64x48 from $channel" ] ||
    fail "lumacam run after a reboot said: $(cat "$work/run.log")"
channel_made_by "lumacam run"

# lumaserv -d opens the camera once, at its start, and plays the auto-play sequence into it.
reboot
"$writeseq" "$work/two.lgs" 64 48 1000:10 3000:20
cp "$work/hive.installed" "$hive"
printf '\n[Software\\Quillmoor\\Lumadesk\\Settings]\n"AutoPlay"="%s"\n"AutoPlayType"=dword:%08x\n' \
    "$work/two.lgs" 1 >>"$hive"
"$lumaserv" -d >"$work/serv.log" 2>&1 &
serv=$!
pids+=($serv)
for _ in $(seq 100); do [ -f "$channel" ] && break; sleep 0.05; done
channel_made_by "lumaserv -d"
"$lumacam" capture --count 2 --output "$work/serv" --timeout 12 || fail "lumaserv played nothing after a reboot"
kill -0 $serv 2>/dev/null || fail "lumaserv stopped"
kill -INT $serv
rc=0
wait $serv || rc=$?
[ $rc -eq 1 ] || fail "lumaserv exited $rc, not 1"
# An update run of lumasetup keeps the channel, frames and all, and puts its mode and group right.
"$commit" "$work/picture.ppm" || fail "commit before the update failed"
inode=$(stat -c %i "$channel")
chmod 0600 "$channel"
[ "$(id -u)" = 0 ] && chgrp root "$channel"
cp "$work/hive.installed" "$hive"
(cd "$work/media" && "$lumasetup") || fail "the update run of lumasetup exited $?"
[ "$(stat -c %i "$channel")" = "$inode" ] || fail "the update replaced the channel"
channel_made_by "the update run of lumasetup"
echo "reboot passed"
