#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumacam and the machine hive: a device whose Service value differs in case is published by
# lumacam run as lumacam list shows it; a hive with a line that cannot be read is left as it is,
# and lumacam list, capture, send and run each say on one line which file and line, and exit
# non-zero.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"

use_local_root
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
hive=$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini
channel=$LUMAGHOST_ROOT/run/lumaghost/MEDIA_0000.frames

# The Service value in another case: listed and published alike.
sed -i 's/^"Service"="lumacam"$/"Service"="LumaCam"/' "$hive"
grep -qx '"Service"="LumaCam"' "$hive" || fail "the hive holds no Service value to change"
list=$("$lumacam" list)
grep -qx $'Lumaghost\tlumaghost\t320x240' <<<"$list" || fail "lumacam list shows: $list"
"$lumacam" run --seconds 1 --no-v4l2 --no-pipewire 2>"$work/run.log" || fail "lumacam run exited $?"
[ "$(cat "$work/run.log")" = "lumacam: \"Lumaghost\" 320x240 from $channel" ] ||
    fail "lumacam run does not publish the listed camera; it said: $(cat "$work/run.log")"

# One line that cannot be read.
line=$(($(wc -l <"$hive") + 1))
printf '"Broken"=nonsense\n' >>"$hive"
before=$(sha256sum "$hive")
printf 'P6\n2 2\n255\n%012d' 0 >"$work/picture.ppm"
expected="lumacam: $hive, line $line: malformed value data"
for command in "list" "capture --count 1 --output $work/out --timeout 2" "send $work/picture.ppm" \
    "run --seconds 1 --no-v4l2 --no-pipewire"; do
    rc=0
    # shellcheck disable=SC2086
    "$lumacam" $command >"$work/stdout.txt" 2>"$work/stderr.txt" || rc=$?
    [ $rc -ne 0 ] || fail "lumacam $command exited 0 with a hive it cannot read"
    [ "$(cat "$work/stderr.txt")" = "$expected" ] ||
        fail "lumacam $command said: $(cat "$work/stderr.txt")"
    [ ! -s "$work/stdout.txt" ] || fail "lumacam $command printed: $(cat "$work/stdout.txt")"
done
[ "$before" = "$(sha256sum "$hive")" ] || fail "the damaged hive was changed"
echo "lumacam and the machine hive passed"
