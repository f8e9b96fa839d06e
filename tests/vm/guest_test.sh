#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Inside the virtual machine (tests/vm/boot.sh), as a user would, without LUMAGHOST_ROOT: the
# package's modprobe files loaded v4l2loopback at boot with the camera's label; lumasetup
# installs the camera, lumacam send puts a colour on it, lumacam run feeds the node; v4l2-ctl
# sees the label, YUYV 320x240 and 30 fps; GStreamer's v4l2src and ffmpeg read the colour at
# the camera's rate; lumacam format changes the size v4l2src reads, and a reader that holds the
# node across a change keeps the old size until it leaves; a reader killed and started again gets frames; lumacam run stopped and
# started ten times with a reader attached and ten times without keeps the frames coming; the
# package installed, then upgraded with a reader attached, feeds the reader again; the
# package's play service, started, reloaded and stopped by systemctl, plays the user's auto-play
# sequence as the account lumaghost and refuses what the user may not read.
# Run by lumaghost-vm-test.service; writes guest.log, status and the logs to /lumaghost-vm.
set -uo pipefail
r=/lumaghost-vm
. "$r/env"
build=$LUMAGHOST_VM_BUILD repo=$LUMAGHOST_VM_REPO
here=$repo/tests/vm
exec > >(tee "$r/guest.log") 2>&1
work=$(mktemp -d)
chmod 777 "$work"  # the readers run as the user
pids=()
passed=0 failed=0
size=320x240
colour=200,60,40 colour2=40,160,80

finish() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    dmesg >"$r/dmesg.txt" 2>&1
    journalctl -b --no-pager -o short-monotonic -u systemd-modules-load.service -u lumacam.service \
        -u LumaghostService.service >"$r/journal.txt" 2>&1
    echo "vm: $passed checks passed, $failed failed"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ] && echo 0 >"$r/status" || echo 1 >"$r/status"
}
trap finish EXIT
ok() {
    echo "ok: $*"
    passed=$((passed + 1))
}
bad() {
    echo "FAILED: $*"
    failed=$((failed + 1))
}
t() { awk '{print $1}' /proc/uptime; }

# A user of group video, as the package's documentation asks; what it starts keeps its PID.
useradd -m -G video tester
as_user() { setpriv --reuid tester --regid tester --init-groups env HOME=/home/tester "$@"; }
# The same in the background, the command itself taking the job's PID (a function would leave a
# subshell there and its command running when the PID is killed).
user_cmd=(setpriv --reuid tester --regid tester --init-groups env HOME=/home/tester)
lumacam=$build/programs/lumacam/lumacam

# The camera's node: the v4l2loopback node with the label, whatever capabilities it shows now.
node() {
    local d
    for d in /dev/video*; do
        [ -e "$d" ] || continue
        v4l2-ctl -d "$d" -D 2>/dev/null | grep -q "Driver name *: v4l2 loopback" &&
            v4l2-ctl -d "$d" -D 2>/dev/null | grep -q "Card type *: Lumaghost$" && { echo "$d"; return 0; }
    done
    return 1
}
caps() { v4l2-ctl -d "$1" -D 2>/dev/null | sed -n '/Device Caps/,$p' | sed -n 2,3p | tr -s ' \t\n' ' '; }

# Frames N read by ffmpeg or GStreamer (as the user) into NAME.rgb, checked against a colour:
# at least N-1 frames, at 20-36 fps where RATE is given (the camera's 30 with room for a loaded
# machine under TCG), else at any rate: such a check is about frames coming at all.
check_frames() { # NAME ffmpeg|gst N COLOUR [RATE]
    [ -s "$work/$1.rgb" ] || { echo "no frames: $(tail -n 3 "$work/$1.log" | tr '\n' ' ')"; return 1; }
    python3 "$here/frame_check.py" "$work/$1.rgb" "$work/$1.log" "$2" $size "$4" $(($3 - 1)) $([ "${5:-}" = rate ] && echo 20 36 || echo 1 1000)
}
read_ffmpeg() { # NAME N COLOUR [rate]
    as_user timeout 30 ffmpeg -nostdin -hide_banner -loglevel info -f v4l2 -use_wallclock_as_timestamps 1 \
        -i "$dev" -frames:v "$2" -vf showinfo -pix_fmt rgb24 -f rawvideo -y "$work/$1.rgb" \
        >"$work/$1.log" 2>&1
    check_frames "$1" ffmpeg "$2" "$3" "${4:-}"
}
read_gst() { # NAME N COLOUR [rate]
    as_user timeout 30 gst-launch-1.0 -v v4l2src device="$dev" num-buffers="$2" do-timestamp=true \
        ! identity silent=false ! videoconvert ! video/x-raw,format=RGB ! filesink location="$work/$1.rgb" \
        >"$work/$1.log" 2>&1
    check_frames "$1" gst "$2" "$3" "${4:-}"
}
# A reader that stays: ffmpeg logging every frame it gets to NAME.log.
start_reader() { # NAME
    "${user_cmd[@]}" ffmpeg -nostdin -hide_banner -loglevel info -f v4l2 -i "$dev" -vf showinfo -f null - \
        >"$work/$1.log" 2>&1 &
    reader=$!
    pids+=("$reader")
}
frames_of() { grep -c '\] n: *[0-9]' "$work/$1.log" 2>/dev/null || true; }
# Waits up to SECONDS for NAME's reader to have more than COUNT frames + 14.
reader_gets_frames() { # NAME COUNT SECONDS
    local end=$((SECONDS + $3))
    while [ "$SECONDS" -lt "$end" ]; do
        [ "$(frames_of "$1")" -gt $(($2 + 14)) ] && return 0
        sleep 0.2
    done
    return 1
}

# lumacam run from the build tree, as the user, until stop_lumacam; true when it says it feeds
# the node within 10 s.
start_lumacam() { # LOG
    "${user_cmd[@]}" "$lumacam" run --no-pipewire 2>"$work/$1" &
    daemon=$!
    pids+=("$daemon")
    local end=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$end" ]; do
        grep -q " on /dev/video" "$work/$1" && return 0
        kill -0 "$daemon" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}
stop_lumacam() {
    kill "$daemon" 2>/dev/null
    local end=$((SECONDS + 10))
    while kill -0 "$daemon" 2>/dev/null && [ "$(ps -o stat= -p "$daemon")" != Z ]; do
        [ "$SECONDS" -lt "$end" ] || { bad "lumacam run did not stop within 10 s of SIGTERM"; kill -9 "$daemon"; break; }
        sleep 0.2
    done
    wait "$daemon" 2>/dev/null
}

echo "== $(t) s since boot: kernel $(uname -r), systemd $(systemctl --version | head -1 | cut -d' ' -f2) as PID 1 ($(cat /proc/1/comm))"
systemd-analyze 2>/dev/null | head -1

# -- the module, loaded at boot by the package's files
if [ -d /sys/module/v4l2loopback ] && systemctl -q is-active systemd-modules-load.service; then
    ok "systemd-modules-load loaded $LUMAGHOST_VM_LOOPBACK at boot"
else
    bad "v4l2loopback not loaded at boot: $(systemctl is-active systemd-modules-load.service)"
fi
echo "modprobe's options: $(modprobe -c | grep '^options v4l2loopback')"
if dev=$(node); then
    ok "$dev is v4l2loopback's node labelled Lumaghost (caps now:$(caps "$dev"))"
else
    bad "no v4l2loopback node labelled Lumaghost"
    v4l2-ctl --list-devices
    exit 1
fi

# -- the camera installed and fed from the build tree
echo "== $(t) s: lumasetup, lumacam send, lumacam run"
(cd "$build/tests/res" && "$build/programs/lumasetup/lumasetup") && ok "lumasetup installed the camera" ||
    bad "lumasetup exited $?"
ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=0xc83c28:s=$size" -frames:v 1 "$work/colour.png"
ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=0x28a050:s=$size" -frames:v 1 "$work/colour2.png"
as_user "$lumacam" send "$work/colour.png" && ok "lumacam send" || bad "lumacam send exited $?"
as_user "$lumacam" list
if start_lumacam run-first.log; then
    ok "lumacam run: $(grep " on " "$work/run-first.log")"
else
    bad "lumacam run did not feed the node: $(cat "$work/run-first.log")"
fi
echo "caps while fed:$(caps "$dev")"

# -- what V4L2 programs see
v4l2-ctl -d "$dev" --all >"$work/v4l2-all.txt" 2>&1
v4l2-ctl -d "$dev" --list-formats-ext >"$work/formats.txt" 2>&1
grep -q "Card type *: Lumaghost$" "$work/v4l2-all.txt" && ok "v4l2-ctl: card Lumaghost" ||
    bad "v4l2-ctl: card $(grep 'Card type' "$work/v4l2-all.txt")"
grep -q "'YUYV'" "$work/formats.txt" && grep -q "Size: Discrete 320x240" "$work/formats.txt" &&
    ok "v4l2-ctl: YUYV 320x240" || bad "v4l2-ctl formats: $(tr '\n' ' ' <"$work/formats.txt")"
fps=$(v4l2-ctl -d "$dev" --get-parm 2>&1 | sed -n 's/.*Frames per second: *\([0-9.]*\).*/\1/p')
[ "${fps%%.*}" = 30 ] && ok "v4l2-ctl: $fps frames per second" || bad "v4l2-ctl: rate '$fps'"

echo "== $(t) s: readers"
out=$(read_gst gst 90 $colour rate) && ok "v4l2src: $out" || bad "v4l2src: $out"
out=$(read_ffmpeg ffmpeg 90 $colour rate) && ok "ffmpeg: $out" || bad "ffmpeg: $out"

# -- the camera given another format while lumacam run feeds the node: v4l2src takes it
format_change_checks() {
    local kept=$size wanted
    for wanted in 1280x720 320x240; do
        echo "== $(t) s: the camera given $wanted"
        "$lumacam" format "$wanted@30" >/dev/null && ok "lumacam format $wanted@30" ||
            bad "lumacam format $wanted@30 exited $?"
        as_user "$lumacam" send "$work/colour.png" || bad "lumacam send at $wanted exited $?"
        size=$wanted
        for _ in $(seq 50); do
            v4l2-ctl -d "$dev" --list-formats-ext 2>/dev/null | grep -q "Size: Discrete $wanted" && break
            sleep 0.2
        done
        # Size and colour at every size; the rate at 320x240 only: the emulated processor
        # (TCG) does not convert and copy 1280x720 frames 30 times a second.
        out=$(read_gst "gst-$wanted" 60 $colour $([ "$wanted" = "$kept" ] && echo rate)) &&
            ok "v4l2src at $wanted: $out" || bad "v4l2src at $wanted: $out"
    done
    size=$kept
}
format_change_checks

# -- a new format while a reader holds the node: the reader keeps the old size, scaled, and the
# node takes the new one as soon as it is free
held_format_checks() {
    local count line
    echo "== $(t) s: the camera given 640x480 while a reader holds the node"
    start_reader held
    reader_gets_frames held 0 15 || { bad "the holding reader got $(frames_of held) frames"; return; }
    "$lumacam" format 640x480@30 >/dev/null || bad "lumacam format 640x480@30 exited $?"
    as_user "$lumacam" send "$work/colour.png" || bad "lumacam send at 640x480 exited $?"
    count=$(frames_of held)
    line="keeps the format 320x240 YUYV instead of 640x480 YUYV"
    if reader_gets_frames held "$count" 15 && grep -q "$line" "$work/run-first.log" &&
        [ "$(grep '\] n: *[0-9]' "$work/held.log" | tail -n 5 | grep -c 's:320x240')" = 5 ]; then
        ok "a reader holding the node across a change to 640x480 keeps getting 320x240 frames ($count -> $(frames_of held)); lumacam says it $line"
    else
        bad "the holding reader across the change: $(frames_of held) frames (had $count), last: $(grep '\] n:' "$work/held.log" | tail -n 1); lumacam: $(tail -n 2 "$work/run-first.log" | tr '\n' ' ')"
    fi
    kill "$reader" 2>/dev/null
    wait "$reader" 2>/dev/null
    for _ in $(seq 50); do
        v4l2-ctl -d "$dev" --list-formats-ext 2>/dev/null | grep -q "Size: Discrete 640x480" && break
        sleep 0.2
    done
    size=640x480
    out=$(read_gst gst-freed 30 $colour) && ok "once the reader left, v4l2src reads 640x480: $out" ||
        bad "after the holding reader left: $out"
    size=320x240
    "$lumacam" format 320x240@30 >/dev/null || bad "lumacam format 320x240@30 exited $?"
    as_user "$lumacam" send "$work/colour.png" || bad "lumacam send at 320x240 exited $?"
    for _ in $(seq 50); do
        v4l2-ctl -d "$dev" --list-formats-ext 2>/dev/null | grep -q "Size: Discrete 320x240" && break
        sleep 0.2
    done
}
held_format_checks

# -- a reader killed and started again
start_reader killed
if reader_gets_frames killed 0 15; then
    kill -9 "$reader"
    wait "$reader" 2>/dev/null
    out=$(read_ffmpeg after-kill 30 $colour) && ok "a reader after a killed one: $out" ||
        bad "a reader after a killed one: $out"
else
    bad "the reader to be killed got $(frames_of killed) frames"
fi

# -- lumacam run stopped and started ten times with a reader attached, then ten without
echo "== $(t) s: restarts with a reader attached"
start_reader attached
attached=$reader
restart_set() { # with|without
    local i good=0 lost=0 count
    for i in $(seq 10); do
        count=$(frames_of attached)
        stop_lumacam
        if ! start_lumacam "run-$1-$i.log"; then
            echo "restart $i ($1 reader): lumacam run did not feed the node: $(tr '\n' ' ' <"$work/run-$1-$i.log") caps:$(caps "$dev")"
            lost=$((lost + 1))
        elif [ "$1" = with ] && ! reader_gets_frames attached "$count" 10; then
            echo "restart $i ($1 reader): the attached reader stays at $(frames_of attached) frames (had $count) caps:$(caps "$dev")"
            lost=$((lost + 1))
        elif [ "$1" = without ] && ! out=$(read_ffmpeg "new-reader-$i" 15 $colour); then
            echo "restart $i ($1 reader): a new reader: $out caps:$(caps "$dev")"
            lost=$((lost + 1))
        else
            good=$((good + 1))
        fi
        # Two restarts in a row without frames: the rest would only repeat it.
        [ "$lost" -ge 2 ] && [ "$good" -eq 0 ] && break
    done
    [ "$good" -eq 10 ] && ok "lumacam run restarted 10 times $1 a reader attached, frames kept coming" ||
        bad "lumacam run restarted $1 a reader attached: frames after $good of $i restarts"
}
restart_set with
kill "$attached" 2>/dev/null
wait "$attached" 2>/dev/null
echo "== $(t) s: restarts without a reader"
restart_set without
stop_lumacam
echo "caps with no writer:$(caps "$dev")"

# -- the package, on a fresh module as after a reboot
echo "== $(t) s: the package"
for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
wait "${pids[@]}" 2>/dev/null
end=$((SECONDS + 10))
until modprobe -r v4l2loopback 2>"$work/modprobe.log"; do
    [ "$SECONDS" -lt "$end" ] || { bad "v4l2loopback stays in use: $(fuser -v /dev/video* 2>&1 | tr '\n' ' ')"; break; }
    sleep 0.5
done
modprobe v4l2loopback || bad "v4l2loopback cannot be loaded again"
dev=$(node) || bad "no node labelled Lumaghost after loading v4l2loopback again"
echo "== $(t) s: v4l2loopback loaded again, caps:$(caps "$dev")"
# dpkg rather than apt (the dependencies are this machine's); man-db's index is not rebuilt.
export DEBIAN_FRONTEND=noninteractive
rm -f /var/lib/man-db/auto-update
dpkg -i "$LUMAGHOST_VM_DEB" >"$work/install.log" 2>&1 &&
    ok "dpkg installed $(dpkg-query -W -f '${Package} ${Version}' lumaghost)" ||
    { bad "dpkg -i: $(tail -n 5 "$work/install.log")"; exit 1; }
# The lines of lumacam.service's journal that say it feeds the node.
feeding() { journalctl -q -u lumacam.service -o cat 2>/dev/null | grep -c " on /dev/video" || true; }
# Waits up to 15 s for more than COUNT such lines.
service_feeds() { # COUNT
    local end=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$end" ]; do
        [ "$(feeding)" -gt "$1" ] && return 0
        sleep 0.2
    done
    return 1
}
installed_at=$(t)
if service_feeds 0 && systemctl -q is-active lumacam.service; then
    ok "lumacam.service feeds the node: $(journalctl -q -u lumacam.service -o cat | grep ' on /dev/video' | tail -1)"
else
    bad "lumacam.service: $(systemctl is-active lumacam.service): $(journalctl -q -u lumacam.service -o cat | tail -n 3 | tr '\n' ' ')"
fi
as_user /usr/bin/lumacam send "$work/colour2.png" || bad "/usr/bin/lumacam send exited $?"
out=$(read_ffmpeg package 30 $colour2) && ok "a reader of the package's camera: $out" ||
    bad "a reader of the package's camera: $out"
start_reader attached
attached=$reader
reader_gets_frames attached 0 15 || bad "the reader attached before the upgrade got $(frames_of attached) frames"
pid_before=$(systemctl show -p MainPID --value lumacam.service)
fed=$(feeding)
upgrade_at=$(t)
dpkg -i "$LUMAGHOST_VM_DEB_UPGRADE" >"$work/upgrade.log" 2>&1 &&
    ok "dpkg upgraded to $(dpkg-query -W -f '${Version}' lumaghost) in $(($(t | cut -d. -f1) - ${upgrade_at%.*})) s" ||
    bad "dpkg upgrade: $(tail -n 5 "$work/upgrade.log")"
# Frames counted from here on come from the restarted service.
count=$(frames_of attached)
pid_after=$(systemctl show -p MainPID --value lumacam.service)
[ "$pid_after" != "$pid_before" ] && [ "$pid_after" != 0 ] &&
    ok "the upgrade restarted lumacam.service ($pid_before -> $pid_after)" ||
    bad "lumacam.service after the upgrade: PID $pid_before -> $pid_after"
service_feeds "$fed" && ok "the restarted lumacam.service feeds the node" ||
    bad "the restarted lumacam.service does not feed the node: $(journalctl -q -u lumacam.service -o cat | tail -n 2 | tr '\n' ' ')"
if reader_gets_frames attached "$count" 15; then
    ok "the reader attached across the upgrade gets frames again ($count -> $(frames_of attached))"
else
    bad "the reader attached across the upgrade stays at $(frames_of attached) frames (had $count); lumacam.service: $(journalctl -q -u lumacam.service -o cat | tail -n 2 | tr '\n' ' ') caps:$(caps "$dev")"
fi
kill "$attached" 2>/dev/null
out=$(read_ffmpeg after-upgrade 30 $colour2) && ok "a new reader after the upgrade: $out" ||
    bad "a new reader after the upgrade: $out"

# -- the play service under the system manager, as the package installs it
echo "== $(t) s: the play service"
hive=/var/lib/lumaghost/machine.ini state=/var/lib/lumaghost
write_sequence=$build/tests/lumaghost_write_sequence
# The auto-play pair, set by the user in the machine hive as Lumadesk sets it (the section last).
autoplay() { # PATH TYPE
    as_user sed -i '/^\[Software\\Quillmoor\\Lumadesk\\Settings\]$/,$d' "$hive"
    printf '[Software\\Quillmoor\\Lumadesk\\Settings]\n"AutoPlay"="%s"\n"AutoPlayType"=dword:%08x\n' "$1" "$2" |
        as_user tee -a "$hive" >/dev/null
}
# Frames of COLOUR from the camera, tried three times: the service may take a moment to play.
shows() { # NAME N COLOUR [rate]
    local i
    for i in 1 2 3; do
        out=$(read_ffmpeg "$1-$i" "$2" "$3" "${4:-}") && return 0
    done
    return 1
}
main_pid() { systemctl show -p MainPID --value "$1"; }
account_of() { ps -o user= -p "$(main_pid "$1")" | xargs; }
service_says() { # TEXT: waits up to 10 s for the line in the play service's journal
    local end=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$end" ]; do
        journalctl -q -u LumaghostService.service -o cat 2>/dev/null | grep -qxF "$1" && return 0
        sleep 0.2
    done
    return 1
}
systemctl -q is-active LumaghostService.service && ok "the package started LumaghostService.service" ||
    bad "LumaghostService.service after the installation: $(systemctl is-active LumaghostService.service)"
as_user "$write_sequence" "$state/show.lgs" 320 240 1000:200
as_user "$write_sequence" "$state/next.lgs" 320 240 1000:90
"$write_sequence" /srv/private.lgs 320 240 1000:33
chmod 600 /srv/private.lgs
as_user ln -s /srv/private.lgs "$state/link.lgs"
as_user mkfifo "$state/item.fifo"
autoplay "$state/show.lgs" 1
systemctl stop LumaghostService.service
started_at=$(t)
if systemctl start LumaghostService.service && systemctl -q is-active LumaghostService.service; then
    ok "systemctl start LumaghostService.service ($(systemctl show -p User --value LumaghostService.service), in ${started_at%.*}-$(t | cut -d. -f1) s)"
else
    bad "systemctl start LumaghostService.service: $(journalctl -q -u LumaghostService.service -o cat | tail -n 3 | tr '\n' ' ')"
fi
for unit in LumaghostService.service lumacam.service; do
    user=$(systemctl show -p User --value "$unit") ran=$(account_of "$unit")
    [ "$user" = lumaghost ] && [ "$ran" = lumaghost ] && ok "$unit runs as $ran" ||
        bad "$unit: User=$user, its process runs as '$ran'"
done
shows played 60 200,200,200 rate && ok "the play service plays the auto-play sequence: $out" ||
    bad "the play service's sequence: $out; $(journalctl -q -u LumaghostService.service -o cat | tail -n 3 | tr '\n' ' ')"
pid=$(main_pid LumaghostService.service)
autoplay "$state/next.lgs" 1
if systemctl reload LumaghostService.service && systemctl -q is-active LumaghostService.service &&
    [ "$(main_pid LumaghostService.service)" = "$pid" ]; then
    ok "systemctl reload LumaghostService.service (PID $pid kept)"
else
    bad "systemctl reload: $(systemctl is-active LumaghostService.service), PID $pid -> $(main_pid LumaghostService.service)"
fi
shows reloaded 30 90,90,90 && ok "after the reload it plays the new auto-play item: $out" ||
    bad "after the reload: $out"
# What the user may not read, or what is no plain file, is refused with its reason; the service
# keeps running and the camera keeps the last item.
for item in "/srv/private.lgs:1:group video may not read it" "$state/link.lgs:1:it is a symbolic link" \
    "$state/link.lgs:2:it is a symbolic link" "$state/item.fifo:1:it is not a regular file" \
    "/proc/self/environ:1:it lies on a file system of the kernel" "/dev/zero:2:it is not a regular file"; do
    path=${item%%:*} rest=${item#*:}
    type=${rest%%:*} reason=${rest#*:}
    autoplay "$path" "$type"
    systemctl reload LumaghostService.service
    if service_says "The auto-play item $path cannot be opened: $reason" &&
        systemctl -q is-active LumaghostService.service && [ "$(main_pid LumaghostService.service)" = "$pid" ]; then
        ok "auto-play $path (type $type) refused: $reason"
    else
        bad "auto-play $path (type $type): $(systemctl is-active LumaghostService.service), PID $(main_pid LumaghostService.service): $(journalctl -q -u LumaghostService.service -o cat | tail -n 2 | tr '\n' ' ')"
    fi
done
out=$(read_ffmpeg refused 15 90,90,90) && ok "nothing of them reached the camera: $out" ||
    bad "after the refused items the camera shows: $out"
stop_at=$(date +%s%N)
systemctl stop LumaghostService.service
stop_ms=$((($(date +%s%N) - stop_at) / 1000000))
result=$(systemctl show -p Result --value LumaghostService.service)
state_now=$(systemctl is-active LumaghostService.service || true)
[ "$state_now" = inactive ] && [ "$result" = success ] &&
    ok "systemctl stop LumaghostService.service: $state_now, $result, exit status $(systemctl show -p ExecMainStatus --value LumaghostService.service), in $stop_ms ms" ||
    bad "systemctl stop: $state_now, $result in $stop_ms ms"
# Each unit's exposure as the manager sees it (the user unit's from its file), below 4.0 (OK).
for unit in LumaghostService.service lumacam.service /usr/lib/systemd/user/lumacam.service; do
    case $unit in /*) offline=--offline=yes ;; *) offline= ;; esac
    figure=$(systemd-analyze security $offline --no-pager "$unit" 2>&1 | sed -n 's/^→ Overall exposure level for [^:]*: //p')
    awk -v f="${figure%% *}" 'BEGIN { exit !(f != "" && f < 4.0) }' && ok "exposure: $unit $figure" ||
        bad "exposure: $unit ${figure:-none}"
done

echo "== $(t) s: done (installed at $installed_at s, upgraded at $upgrade_at s)"
