#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# lumaserv under a real systemd: install, start, query, stop, uninstall. systemd runs as a user
# manager in a mount namespace of its own, with a tmpfs over /run/systemd, so nothing of the
# host's systemd state is touched; the service, its camera and its settings live in a private root.
# The program's path holds spaces, "$" and "%", and the root a quote and a backslash too, so the
# unit's ExecStart= and Environment= must reach systemd exactly; a program path systemd would
# refuse (a quote in it) is refused at install.
set -euo pipefail
lumasetup=$1 lumacam=$2 lumaserv=$3 writeseq=$4 res=$5

if [ "${LUMAGHOST_IN_NAMESPACE:-}" != 1 ]; then
    exec env LUMAGHOST_IN_NAMESPACE=1 unshare --mount --fork "$0" "$@"
fi

source "$(dirname "$0")/lib.sh"
on_fail="systemctl --user status LumaghostService --no-pager"

mkdir -p /run/systemd
mount -t tmpfs tmpfs /run/systemd
mkdir -p /run/systemd/system  # the user manager wants to see a system manager
export HOME=$work/home XDG_RUNTIME_DIR=$work/run LUMAGHOST_SERVICE_MANAGER=user
export LUMAGHOST_ROOT="$work/root dir \"q\" \\ \$x %n"
mkdir -p "$HOME" "$LUMAGHOST_ROOT"
bin="$work/bin dir \$x 100%"
mkdir -p "$bin"
cp "$lumaserv" "$bin/lumaserv"
lumaserv=$bin/lumaserv
mkdir -m 700 "$XDG_RUNTIME_DIR"
start_session_bus
/lib/systemd/systemd --user --log-target=console >"$work/systemd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    state=$(systemctl --user is-system-running 2>/dev/null || true)
    [ "$state" = running ] || [ "$state" = degraded ] && break
    sleep 0.1
done
[ "$state" = running ] || [ "$state" = degraded ] || fail "the user manager did not start ($state)"

# A camera, a two-frame sequence and the auto-play setting.
(cd "$res" && "$lumasetup") || fail "lumasetup exited $?"
"$writeseq" "$work/two.lgs" 320 240 1000:10 3000:20
cat >>"$LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini" <<EOT

[Software\\Quillmoor\\Lumadesk\\Settings]
"AutoPlay"="$work/two.lgs"
"AutoPlayType"=dword:00000001
EOT

# lumaserv's exit code is 1 for success and 0 for failure.
serv() {
    rc=0
    out=$("$lumaserv" "$@") || rc=$?
}
# systemd does not start a program whose path holds a quote: refused, and nothing is written.
mkdir -p "$work/it's"
cp "$lumaserv" "$work/it's/lumaserv"
rc=0
out=$("$work/it's/lumaserv" -i) || rc=$?
[ $rc -eq 0 ] || fail "install from a path with a quote exited $rc: $out"
[ "$out" = "CreateService failed - The specified path is invalid: systemd does not start a program whose path is not absolute or holds a quote, a backslash or a control character: $work/it's/lumaserv." ] ||
    fail "install from a path with a quote said: $out"
unit=$LUMAGHOST_ROOT/etc/systemd/system/LumaghostService.service
[ ! -e "$unit" ] || fail "a unit was written for a path systemd refuses"

serv -i
[ $rc -eq 1 ] || fail "install exited $rc: $out"
[ "$out" = "Quillmoor Lumaghost Play Service installed." ] || fail "install said: $out"
grep -q '^Type=notify$' "$unit" || fail "the unit is not Type=notify"
# The unit the package ships is printed by --unit: the same text as -i wrote.
"$lumaserv" --unit >"$work/printed.service" || fail "lumaserv --unit exited $?"
cmp -s "$unit" "$work/printed.service" || fail "lumaserv --unit differs from the unit -i wrote: $(diff "$unit" "$work/printed.service")"
"$lumaserv" --unit "$lumaserv" | cmp -s "$unit" - || fail "lumaserv --unit PROGRAM differs from the unit -i wrote"
rc=0
"$lumaserv" --unit "/opt/it's/lumaserv" >/dev/null 2>"$work/refused.txt" || rc=$?
[ $rc -eq 2 ] && grep -q "/opt/it's/lumaserv" "$work/refused.txt" || fail "--unit with a path systemd refuses exited $rc"
# systemd read the program's path as it is.
exec_start=$(systemctl --user show -p ExecStart LumaghostService)
case $exec_start in *"path=$lumaserv ;"*) ;; *) fail "systemd runs: $exec_start" ;; esac
grep -q '^Description=Quillmoor Lumaghost Play Service$' "$unit" || fail "the unit's description"
[ "$(systemctl --user is-enabled LumaghostService)" = enabled ] || fail "not enabled"

serv -s
[ $rc -eq 1 ] || fail "start exited $rc: $out"
case $out in "Starting up Quillmoor Lumaghost Play Service."*"Quillmoor Lumaghost Play Service started.") ;;
    *) fail "start said: $out" ;; esac
[ "$(systemctl --user is-active LumaghostService)" = active ] || fail "not active after start"

# The service plays the sequence into the camera.
"$lumacam" capture --count 2 --output "$work/frames" --timeout 10 || fail "no frames from the service"
first=$(od -An -tu1 -j15 -N1 "$work/frames/frame-0000.ppm" | tr -d ' ')
second=$(od -An -tu1 -j15 -N1 "$work/frames/frame-0001.ppm" | tr -d ' ')
[ "$first$second" = 1020 ] || [ "$first$second" = 2010 ] || fail "frames $first, $second"

# A reload reads the setting again.
systemctl --user reload LumaghostService || fail "reload"
[ "$(systemctl --user is-active LumaghostService)" = active ] || fail "not active after reload"

# Another camera format restarts the running service, which then plays at the new size.
main_pid=$(systemctl --user show -p MainPID --value LumaghostService)
"$lumacam" format 640x480 >"$work/format.out" 2>&1 || fail "lumacam format exited $?: $(cat "$work/format.out")"
grep -qF "LumaghostService restarted for the new format" "$work/format.out" ||
    fail "lumacam format did not restart the service: $(cat "$work/format.out")"
for _ in $(seq 100); do
    now_pid=$(systemctl --user show -p MainPID --value LumaghostService)
    [ "$now_pid" != "$main_pid" ] && [ "$now_pid" != 0 ] && break
    sleep 0.1
done
[ "$now_pid" != "$main_pid" ] || fail "the service was not restarted"
"$lumacam" capture --count 1 --output "$work/resized" --timeout 10 || fail "no frames after the new format"
[ "$(head -c 15 "$work/resized/frame-0000.ppm" | sed -n 2p)" = "640 480" ] ||
    fail "the service's frame is not 640x480: $(head -c 15 "$work/resized/frame-0000.ppm" | sed -n 2p)"

serv -e
[ $rc -eq 1 ] || fail "stop exited $rc: $out"
case $out in "Stopping Quillmoor Lumaghost Play Service."*"Quillmoor Lumaghost Play Service stopped.") ;;
    *) fail "stop said: $out" ;; esac
[ "$(systemctl --user is-active LumaghostService || true)" = inactive ] || fail "still active after stop"

serv -u
[ $rc -eq 1 ] || fail "uninstall exited $rc: $out"
[ "$out" = "Quillmoor Lumaghost Play Service removed." ] || fail "uninstall said: $out"
[ ! -e "$unit" ] || fail "the unit file is still there"

# Started by hand, not by the manager: it cannot connect, and exits with 0.
serv
[ $rc -eq 0 ] || fail "lumaserv without the manager exited $rc"
echo "systemd service round trip passed"
