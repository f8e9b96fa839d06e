#!/usr/bin/env bash
# The programs end to end in an empty root: lumasetup installs the camera, lumacam lists it, a
# frame committed through the camera link comes back byte for byte from lumacam capture, any
# argument removes the device, and without Lumacam.inf lumasetup exits 255 changing nothing.
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

# Without Lumacam.inf: 255, nothing changed.
before=$(sha256sum "$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini")
set +e
(cd "$work/empty" && "$lumasetup"); rc=$?
(cd "$work/empty" && "$lumasetup" x); rc2=$?
set -e
[ $rc -eq 255 ] && [ $rc2 -eq 255 ] || fail "lumasetup without Lumacam.inf exited $rc/$rc2, not 255"
[ "$before" = "$(sha256sum "$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini")" ] || fail "hive changed"

# Any argument removes.
(cd "$work/media" && "$lumasetup" x) || fail "remove exited $?"
[ -z "$("$lumacam" list | grep Lumaghost || true)" ] || fail "Lumaghost still listed after removal"
! ls "$LUMAGHOST_ROOT"/run/lumaghost/*.frames 2>/dev/null || fail "frame channel left behind"
echo "camera round trip passed"
