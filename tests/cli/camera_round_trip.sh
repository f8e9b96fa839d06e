#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The programs end to end in an empty root: lumasetup installs the camera, lumacam lists it, a
# frame committed through the camera link comes back byte for byte from lumacam capture, any
# argument removes the device. Without a usable Lumacam.inf (none, a FIFO, frames beyond a
# camera's) lumasetup exits 255, without the driver's sections or with a damaged hive 1; each
# time it says why in one line on standard error and changes nothing.
set -euo pipefail
lumasetup=$1 lumacam=$2 commit=$3 res=$4

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export LUMAGHOST_ROOT=$work/root
mkdir -p "$LUMAGHOST_ROOT" "$work/media" "$work/empty"
cp "$res/Lumacam.inf" "$work/media/"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Install.
(cd "$work/media" && "$lumasetup") || fail "install exited $?"
list=$("$lumacam" list)
echo "$list"
grep -qx $'Lumaghost\tlumaghost\t320x240' <<<"$list" || fail "lumacam list does not show Lumaghost at 320x240"

# An upright 320x240 picture with a different value in every row and column.
"$commit" --pattern 320 240 "$work/picture.ppm"

"$lumacam" capture --count 1 --output "$work/out" --timeout 20 &
capture=$!
# Commit until the capture has seen a frame (it only takes frames committed after it started).
for _ in $(seq 100); do
    "$commit" "$work/picture.ppm" || fail "commit through the camera link failed"
    kill -0 $capture 2>/dev/null || break
    sleep 0.1
done
wait $capture || fail "lumacam capture failed"
cmp "$work/picture.ppm" "$work/out/frame-0000.ppm" || fail "captured frame differs from the committed picture"

# y4m to standard output carries the stream header.
"$lumacam" capture --count 1 --output - --timeout 20 >"$work/out.y4m" &
capture=$!
for _ in $(seq 100); do
    "$commit" "$work/picture.ppm"
    kill -0 $capture 2>/dev/null || break
    sleep 0.1
done
wait $capture || fail "y4m capture failed"
[ "$(head -c 9 "$work/out.y4m")" = YUV4MPEG2 ] || fail "no y4m header"
[ "$(stat -c %s "$work/out.y4m")" -eq $((59 + 6 + 320 * 240 * 3)) ] || fail "y4m size"

# An update run keeps the camera as it is.
(cd "$work/media" && "$lumasetup") || fail "update exited $?"
[ "$("$lumacam" list)" = "$list" ] || fail "lumacam list changed by the update"

hive=$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini
before=$(sha256sum "$hive")
# Runs lumasetup in directory $1 with arguments $3...; expects exit code $2, one line on
# standard error that holds each of the strings in $want, and an unchanged hive.
expect_refusal() {
    local dir=$1 code=$2 rc
    shift 2
    set +e
    (cd "$dir" && timeout 20 "$lumasetup" "$@") 2>"$work/stderr"
    rc=$?
    set -e
    [ $rc -eq "$code" ] || fail "lumasetup in $dir exited $rc, not $code: $(cat "$work/stderr")"
    [ "$(wc -l <"$work/stderr")" -eq 1 ] || fail "not one line on standard error: $(cat "$work/stderr")"
    for w in "${want[@]}"; do
        grep -qF -- "$w" "$work/stderr" || fail "standard error lacks '$w': $(cat "$work/stderr")"
    done
    [ "$before" = "$(sha256sum "$hive")" ] || fail "hive changed"
}

# Without Lumacam.inf, or with a FIFO of that name: 255, nothing changed.
want=("$work/empty/Lumacam.inf")
expect_refusal "$work/empty" 255
expect_refusal "$work/empty" 255 x
mkdir "$work/fifo" && mkfifo "$work/fifo/Lumacam.inf"
want=("$work/fifo/Lumacam.inf" "not a regular file")
expect_refusal "$work/fifo" 255

# Frames no camera delivers: 255, naming the INF and the value.
mkdir "$work/huge"
sed 's/^FrameWidth=320/FrameWidth=16384/; s/^FrameHeight=240/FrameHeight=16384/' \
    "$res/Lumacam.inf" >"$work/huge/Lumacam.inf"
want=("Unusable INF $work/huge/Lumacam.inf" "FrameWidth=16384")
expect_refusal "$work/huge" 255

# No [Manufacturer] section: 1.
mkdir "$work/nomaker"
grep -v '^\[Manufacturer\]' "$res/Lumacam.inf" | grep -v '^%Quillmoor%=Quillmoor' >"$work/nomaker/Lumacam.inf"
want=("$work/nomaker/Lumacam.inf" "[Manufacturer]")
expect_refusal "$work/nomaker" 1
[ "$("$lumacam" list)" = "$list" ] || fail "lumacam list changed"

# A damaged hive: 1, naming the file and the line; the file stays as it is.
cp "$hive" "$work/hive.good"
echo '"Broken"=dword:xyz' >>"$hive"
before=$(sha256sum "$hive")
want=("$hive, line $(wc -l <"$hive"): malformed value data")
expect_refusal "$work/media" 1
expect_refusal "$work/media" 1 x
cp "$work/hive.good" "$hive"

# Any argument removes.
(cd "$work/media" && "$lumasetup" x) || fail "remove exited $?"
[ -z "$("$lumacam" list | grep Lumaghost || true)" ] || fail "Lumaghost still listed after removal"
! ls "$LUMAGHOST_ROOT"/run/lumaghost/*.frames 2>/dev/null || fail "frame channel left behind"
echo "camera round trip passed"
