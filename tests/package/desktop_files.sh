#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The desktop entry and the AppStream metainfo as the build makes them for the package: both
# pass their validators without a single remark (appstreamcli's pedantic hints included; its
# URL checks need the network and are left out), and the icon comes in every hicolor size.
#
#   tests/package/desktop_files.sh BUILD/packaging
set -euo pipefail
dir=$1
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
desktop-file-validate "$dir/lumadesk.desktop" >"$dir/desktop-file-validate.txt" 2>&1 ||
    { cat "$dir/desktop-file-validate.txt"; fail "desktop-file-validate"; }
[ ! -s "$dir/desktop-file-validate.txt" ] || { cat "$dir/desktop-file-validate.txt"; fail "desktop-file-validate has remarks"; }
grep -q '^Keywords=.*webcam;' "$dir/lumadesk.desktop" || fail "the desktop entry has no Keywords"

metainfo=$dir/org.quillmoor.lumadesk.metainfo.xml
report=$(appstreamcli validate --pedantic --explain --no-net "$metainfo" 2>&1) || { echo "$report"; fail "appstreamcli validate"; }
# One line and no remark; its mark is a check sign or, without a UTF-8 locale, a question mark.
[ "$(printf '%s\n' "$report" | wc -l)" = 1 ] && [[ $report == *"Validation was successful." ]] ||
    { echo "$report"; fail "appstreamcli validate has remarks"; }
echo "$report"

for size in 16 22 24 32 48 64 128 256; do
    png=$dir/icons/${size}x$size/lumadesk.png
    # The PNG signature, then the IHDR chunk: width and height, 4 bytes each, big-endian.
    [ "$(od -An -tx1 -N8 "$png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG file"
    got=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 "x" $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [ "$got" = "${size}x$size" ] || fail "$png is $got"
done
echo "1 passed, 0 failed"
