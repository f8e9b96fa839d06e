#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# What a member of group video may name, against the programs that run as root. A real account
# of the group (made here, removed at the end) points the auto-play item and the stored image at
# a root-only file, at its own symbolic link to one, at a FIFO, at /proc and at /dev: root's
# lumaserv -d puts nothing of them on the camera and keeps running, lumacam run says why it does
# not show the stored image. The account's lock-file and hive symbolic links into a root-only
# folder leave that folder as it was when root's lumasetup writes the hive, and the hive keeps
# its own mode (0664, group video), so the account still lists the camera.
set -euo pipefail
lumasetup=$1 lumacam=$2 lumaserv=$3 writeseq=$4 res=$5

source "$(dirname "$0")/lib.sh"

account=lgvideo$$
useradd --system --gid video --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
    "$account" || fail "cannot make the test account"
trap 'userdel "$account" 2>/dev/null || true; cleanup' EXIT
as_member() { setpriv --reuid="$account" --regid=video --clear-groups -- "$@"; }

chmod 755 "$work"  # as a real root is: the account reaches the machine's folders
use_local_root
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
hive=$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini
cp "$hive" "$work/hive.orig"
as_member "$lumacam" list >/dev/null || fail "the member cannot list the camera"

# Root's files, and a folder the account owns for its links and FIFO.
"$writeseq" "$work/private.lgs" 320 240 1000:33
"$writeseq" "$work/open.lgs" 320 240 1000:44
chmod 600 "$work/private.lgs"
chmod 644 "$work/open.lgs"
if as_member cat "$work/private.lgs" >/dev/null 2>&1; then fail "the member may read the private file"; fi
mine=$work/member
mkdir "$mine"
chown "$account:video" "$mine"
as_member ln -s "$work/private.lgs" "$mine/link.lgs"
as_member mkfifo "$mine/item.fifo"

# The member writes the hive, as group video may: a copy with a section added at its end put
# in its place.
member_adds() { # format arguments...
    # shellcheck disable=SC2059 # the format is the caller's
    printf "$@" | as_member sh -c 'cat "$1" - >"$1.new" && mv -f "$1.new" "$1"' sh "$hive"
}
member_autoplay() { # path type
    cp "$work/hive.orig" "$hive"
    member_adds '\n[Software\\Quillmoor\\Lumadesk\\Settings]\n"AutoPlay"="%s"\n"AutoPlayType"=dword:%08x\n' "$1" "$2"
}
value() { od -An -tu1 -j15 -N1 "$1" | tr -d ' '; }

for item in "$work/private.lgs:1" "$work/private.lgs:2" "$mine/link.lgs:1" "$mine/link.lgs:2" \
    "$mine/item.fifo:1" "$mine/item.fifo:2" "/proc/1/environ:1" "/proc/self/status:1" \
    "/proc/self/status:2" "/dev/zero:1" "/dev/zero:2"; do
    path=${item%:*} type=${item##*:}
    member_autoplay "$path" "$type"
    "$lumaserv" -d >"$work/serv.log" 2>&1 &
    serv=$!
    pids+=($serv)
    rm -rf "$work/frames"
    if "$lumacam" capture --count 1 --output "$work/frames" --timeout 2 2>/dev/null; then
        fail "root's service put $path (type $type) on the camera: value $(value "$work/frames/frame-0000.ppm")"
    fi
    kill -0 $serv 2>/dev/null || fail "the service ended with $path (type $type)"
    kill -INT $serv
    rc=0
    wait $serv || rc=$?
    [ $rc -eq 1 ] || fail "the service exited $rc with $path (type $type)"
done

# What the group may read plays, from the same place.
member_autoplay "$work/open.lgs" 1
"$lumaserv" -d >"$work/serv.log" 2>&1 &
serv=$!
"$lumacam" capture --count 1 --output "$work/frames" --timeout 10 || fail "a readable sequence did not play"
[ "$(value "$work/frames/frame-0000.ppm")" = 44 ] || fail "the readable sequence showed $(value "$work/frames/frame-0000.ppm")"
kill -INT $serv
wait $serv || true

# The stored image: lumacam run shows black and says why.
cp "$work/hive.orig" "$hive"
{
    printf 'QmLg'
    printf '\x40\x01\x00\x00\xf0\x00\x00\x00\x14\x84\x03\x00\x88\x13\x00\x00'
    head -c 230400 /dev/zero | tr '\0' '\041'
} >"$work/private.lgi"
chmod 600 "$work/private.lgi"
as_member ln -s "$work/private.lgi" "$mine/link.lgi"
for pair in "$work/private.lgi:group video may not read it" "$mine/link.lgi:it is a symbolic link" \
    "$mine/item.fifo:it is not a regular file" "/proc/self/status:it lies on a file system of the kernel" \
    "/dev/zero:it is not a regular file"; do
    path=${pair%%:*} reason=${pair#*:}
    cp "$work/hive.orig" "$hive"
    member_adds '\n[SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000\\Device Parameters]\n"LastLgImage"="%s"\n' "$path"
    "$lumacam" run --seconds 1 --no-v4l2 --no-pipewire 2>"$work/run.log" || fail "lumacam run exited $?"
    grep -qxF "lumacam: the stored image $path is not shown: $reason" "$work/run.log" ||
        fail "lumacam run with the stored image $path said: $(cat "$work/run.log")"
done

# The lock file and the hive made symbolic links into a root-only folder by the member.
cp "$work/hive.orig" "$hive"
locked=$work/root-only
mkdir -m 700 "$locked"
printf '; root only\n' >"$locked/secret.ini"
chmod 600 "$locked/secret.ini"
as_member rm -f "$hive.lock"
as_member ln -s "$locked/nologin" "$hive.lock"
(cd "$res" && "$lumasetup") || fail "lumasetup exited $? with the lock file a link"
[ -z "$(ls -A "$locked" | grep -v '^secret.ini$')" ] || fail "root's lumasetup made $(ls "$locked") in the root-only folder"
as_member sh -c 'mv "$1" "$1.kept" && ln -s "$2" "$1"' sh "$hive" "$locked/secret.ini"
(cd "$res" && "$lumasetup") || fail "lumasetup exited $? with the hive a link"
[ "$(cat "$locked/secret.ini")" = "; root only" ] || fail "the root-only file the hive pointed at changed"
[ "$(stat -c %a "$locked/secret.ini")" = 600 ] || fail "the root-only file's mode changed"
[ -f "$hive" ] && [ ! -L "$hive" ] || fail "the hive is still a link"
[ "$(stat -c '%a %G' "$hive")" = "664 video" ] || fail "the hive is $(stat -c '%a %U:%G' "$hive")"
as_member "$lumacam" list >"$work/list.txt" 2>&1 || fail "the member cannot list the camera: $(cat "$work/list.txt")"
grep -q '^Lumaghost' "$work/list.txt" || fail "the member lists: $(cat "$work/list.txt")"
[ "$(ls -A "$locked")" = secret.ini ] || fail "the root-only folder holds $(ls -A "$locked")"
echo "files group video names passed"
