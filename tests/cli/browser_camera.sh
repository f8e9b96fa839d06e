# SPDX-License-Identifier: LGPL-2.1-or-later
# Helpers for the browser tests, sourced after lib.sh: a desktop session of our own in which a
# browser reaches the camera as on a desktop, through xdg-desktop-portal's Camera interface and
# PipeWire, and the verdict of the page it opens (tests/cli/camera_page.html) on the colour drawn.
# Everything runs privately: a session bus of our own, the permission store, a stand-in for the
# desktop's permission dialog that allows, the portal, PipeWire and WirePlumber, and `lumacam run`
# showing a solid colour that tells red from blue and Y from U and V.
portal=/usr/libexec/xdg-desktop-portal
store=/usr/libexec/xdg-permission-store
colour=(200 90 30)

# Waits until a name has an owner on the session bus.
has_owner() {
    [[ "$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null)" == *"boolean true"* ]]
}
wait_for_name() { # name what
    for _ in $(seq 100); do has_owner "$1" && return 0; sleep 0.1; done
    fail "$2 did not appear on the session bus as $1"
}

# The session, the camera showing the colour, and the portal: LUMASETUP LUMACAM RES. The camera
# is installed from RES's Lumacam.inf (the package's: 1280x720); the page asks for that size.
start_camera_session() {
    local lumasetup=$1 lumacam=$2 res=$3 here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    for program in "$portal" "$store"; do
        [ -x "$program" ] || fail "$program is missing (scripts/install-deps.sh installs it)"
    done
    export HOME=$work/home XDG_RUNTIME_DIR=$work/run LUMAGHOST_ROOT=$work/root
    export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    mkdir -p "$HOME" "$LUMAGHOST_ROOT" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
    unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY

    start_session_bus
    "$store" --replace >"$work/permission-store.log" 2>&1 &
    pids+=($!)
    wait_for_name org.freedesktop.impl.portal.PermissionStore "the permission store"

    # The permission dialog's stand-in, and the portal description that points the portal at it.
    local access=org.freedesktop.impl.portal.desktop.lumaghosttest
    /usr/bin/python3 "$here/access_dialog_allow.py" "$access" >"$work/access.log" 2>&1 &
    pids+=($!)
    wait_for_name "$access" "the permission dialog"
    mkdir -p "$work/portals"
    cat >"$work/portals/lumaghosttest.portal" <<EOF
[portal]
DBusName=$access
Interfaces=org.freedesktop.impl.portal.Access;
UseIn=lumaghosttest
EOF
    export XDG_DESKTOP_PORTAL_DIR=$work/portals XDG_CURRENT_DESKTOP=lumaghosttest

    start_pipewire

    mkdir -p "$work/media"
    cp "$res/Lumacam.inf" "$work/media/"
    (cd "$work/media" && "$lumasetup") || fail "lumasetup exited $?"
    /usr/bin/python3 - "$work/picture.bmp" "${colour[@]}" <<'EOF'
import struct, sys
path, r, g, b = sys.argv[1], *map(int, sys.argv[2:])
width, height = 320, 240
row = bytes((b, g, r)) * width  # 960 bytes: no padding
pixels = row * height
header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(path, "wb").write(header + info + pixels)
EOF
    "$lumacam" run --no-v4l2 >"$work/lumacam.log" 2>&1 &
    pids+=($!)
    "$lumacam" send "$work/picture.bmp" --stretch 1 >"$work/send.log" 2>&1 ||
        fail "lumacam send failed"
    local node=lumaghost.MEDIA_0000
    nodes() { pw-cli ls Node 2>/dev/null || true; }
    for _ in $(seq 100); do grep -q "$node" <<<"$(nodes)" && break; sleep 0.1; done
    grep -q "$node" <<<"$(nodes)" || fail "no PipeWire node $node"

    "$portal" --replace --verbose >"$work/portal.log" 2>&1 &
    pids+=($!)
    wait_for_name org.freedesktop.portal.Desktop "xdg-desktop-portal"

    cp "$here/camera_page.html" "$work/page.html"
    camera_size=$("$lumacam" format | cut -d@ -f1)
    page_url="file://$work/page.html?$camera_size"
}

# Waits for the page's verdict in the browser's log, where its lines follow PREFIX (a regular
# expression: Chromium quotes them, Firefox writes them alone), stops the browser and checks the
# colour drawn against the colour sent: BROWSER PID LOG PREFIX.
check_page() {
    local browser=$1 pid=$2 log=$3 prefix=$4 verdict= word r g b sr sg sb
    for _ in $(seq 600); do
        verdict=$(grep -o -m 1 -E "$prefix(RESULT|ERROR) [^\"]*" "$log" || true)
        [ -n "$verdict" ] && break
        kill -0 "$pid" 2>/dev/null || fail "$browser exited before the page reported"
        sleep 0.1
    done
    [ -n "$verdict" ] || fail "the page reported nothing within 60 s"
    verdict=${verdict//\"/}
    echo "page: $verdict"
    echo "page retries: $(grep -c -E "${prefix}RETRY" "$log" || true)"
    # The browser first, so that none of its processes still writes to its profile at cleanup.
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true

    read -r word r g b _ sr sg sb _ <<<"$verdict"
    [ "$word" = RESULT ] || fail "the page failed: $verdict"
    # The camera's own size: the package's camera is 1280x720.
    local size
    size=$(grep -o 'SIZE [0-9]*x[0-9]*' <<<"$verdict" | cut -d' ' -f2)
    [ "$size" = "$camera_size" ] || fail "$browser's video is $size, the camera $camera_size"
    grep -q 'AccessDialog' "$work/access.log" || fail "the portal never asked the permission dialog"

    # Within what 8-bit YUV with subsampled chroma leaves of a solid colour.
    local expected=("${colour[@]}") got=("$r" "$g" "$b")
    for c in 0 1 2; do
        d=$((got[c] - expected[c]))
        [ ${d#-} -le 8 ] || fail "channel $c of the frame is ${got[c]}, the camera shows ${expected[c]}"
    done
    for s in "$sr" "$sg" "$sb"; do
        [ "$s" -le 8 ] || fail "the frame is not the solid colour sent (spread $sr $sg $sb)"
    done
    echo "$browser received the camera's colour ${got[*]} (sent ${expected[*]})"
}
