#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# A browser sees the camera: headless Chromium reaches PipeWire cameras through xdg-desktop-portal's
# Camera interface, as on a desktop. Everything runs privately: a session bus of our own, the
# permission store, a stand-in for the desktop's permission dialog that allows, the portal,
# PipeWire and WirePlumber, and `lumacam run`. A page finds the video input labelled Lumaghost,
# opens it and draws a frame to a canvas; its colour must be the one `lumacam send` put on the
# camera.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
chromium=${CHROMIUM:-/usr/bin/chromium}
portal=/usr/libexec/xdg-desktop-portal
store=/usr/libexec/xdg-permission-store
for program in "$chromium" "$portal" "$store"; do
    [ -x "$program" ] || fail "$program is missing (scripts/install-deps.sh installs it)"
done

export HOME=$work/home XDG_RUNTIME_DIR=$work/run LUMAGHOST_ROOT=$work/root
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$HOME" "$LUMAGHOST_ROOT" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY

start_session_bus

# Waits until a name has an owner on the session bus.
has_owner() {
    [[ "$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null)" == *"boolean true"* ]]
}
wait_for_name() { # name what
    for _ in $(seq 100); do has_owner "$1" && return 0; sleep 0.1; done
    fail "$2 did not appear on the session bus as $1"
}

"$store" --replace >"$work/permission-store.log" 2>&1 &
pids+=($!)
wait_for_name org.freedesktop.impl.portal.PermissionStore "the permission store"

# The permission dialog's stand-in, and the portal description that points the portal at it.
access=org.freedesktop.impl.portal.desktop.lumaghosttest
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

# The camera, showing a solid colour that tells red from blue and Y from U and V.
mkdir -p "$work/media"
cp "$res/Lumacam.inf" "$work/media/"
(cd "$work/media" && "$lumasetup") || fail "lumasetup exited $?"
colour=(200 90 30)
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
"$lumacam" send "$work/picture.bmp" --stretch 1 >"$work/send.log" 2>&1 || fail "lumacam send failed"
node=lumaghost.MEDIA_0000
nodes() { pw-cli ls Node 2>/dev/null || true; }
for _ in $(seq 100); do grep -q "$node" <<<"$(nodes)" && break; sleep 0.1; done
grep -q "$node" <<<"$(nodes)" || fail "no PipeWire node $node"

"$portal" --replace --verbose >"$work/portal.log" 2>&1 &
pids+=($!)
wait_for_name org.freedesktop.portal.Desktop "xdg-desktop-portal"

# The page reports through the console: RESULT r g b (the mean over the frame's middle) and the
# spread of each channel there, or ERROR and what went wrong.
cat >"$work/page.html" <<'EOF'
<!DOCTYPE html>
<html><body><canvas id="canvas" width="320" height="240"></canvas><script>
// Opens the Lumaghost camera as a video-call page does: it asks for a camera and keeps the
// stream when it is Lumaghost's, otherwise it opens Lumaghost's by its id. The first enumeration
// may miss the camera: the portal hands Chromium its PipeWire connection while the session
// manager may still be granting that connection the camera nodes, and Chromium sees nodes that
// arrive later, so the page asks again. Chromium's capture service may also fail a start
// ("NotReadableError") and restart itself; the page asks again then too, as call pages do.
async function openCamera() {
  for (let attempt = 1;; ++attempt) {
    let inputs = [];
    try {
      const any = await navigator.mediaDevices.getUserMedia({video: true});
      const track = any.getVideoTracks()[0];
      if (track && track.label.includes('Lumaghost'))
        return [any, track.label, attempt];
      any.getTracks().forEach(t => t.stop());
      // Labels are shown once a camera was granted.
      const devices = await navigator.mediaDevices.enumerateDevices();
      inputs = devices.filter(d => d.kind === 'videoinput');
      const camera = inputs.find(d => d.label.includes('Lumaghost'));
      if (camera) {
        const stream = await navigator.mediaDevices.getUserMedia(
            {video: {deviceId: {exact: camera.deviceId}}});
        return [stream, camera.label, attempt];
      }
    } catch (e) {
      const retried = e.name === 'NotFoundError' || e.name === 'NotReadableError';
      if (!retried || attempt >= 20)
        throw e;
      console.log('RETRY after ' + e.name);
    }
    if (attempt >= 20)
      throw new Error('no Lumaghost video input among [' + inputs.map(d => d.label).join(', ') + ']');
    await new Promise(resolve => setTimeout(resolve, 250));
  }
}

async function run() {
  const [stream, label, attempts] = await openCamera();
  const video = document.createElement('video');
  video.muted = true;
  video.srcObject = stream;
  await video.play();
  // A few frames in, so the picture is the committed one.
  for (let i = 0; i < 5; ++i)
    await new Promise(resolve => video.requestVideoFrameCallback(resolve));
  const canvas = document.getElementById('canvas');
  const context = canvas.getContext('2d', {willReadFrequently: true});
  context.drawImage(video, 0, 0, canvas.width, canvas.height);
  const pixels = context.getImageData(80, 60, 160, 120).data;
  const sum = [0, 0, 0], low = [255, 255, 255], high = [0, 0, 0];
  for (let i = 0; i < pixels.length; i += 4)
    for (let c = 0; c < 3; ++c) {
      sum[c] += pixels[i + c];
      low[c] = Math.min(low[c], pixels[i + c]);
      high[c] = Math.max(high[c], pixels[i + c]);
    }
  const n = pixels.length / 4;
  console.log('RESULT ' + sum.map(s => Math.round(s / n)).join(' ') + ' SPREAD ' +
              high.map((h, c) => h - low[c]).join(' ') + ' LABEL ' + label + ' SIZE ' +
              video.videoWidth + 'x' + video.videoHeight + ' ATTEMPTS ' + attempts);
}
run().catch(e => console.log('ERROR ' + e));
</script></body></html>
EOF

"$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium-profile" --use-fake-ui-for-media-stream \
    --enable-features=WebRtcPipeWireCamera --autoplay-policy=no-user-gesture-required \
    --enable-logging=stderr --v=0 "file://$work/page.html" >"$work/chromium.log" 2>&1 &
chromium_pid=$!
pids+=($chromium_pid)

verdict=
for _ in $(seq 600); do
    verdict=$(grep -o -m 1 -E '"(RESULT|ERROR) [^"]*"' "$work/chromium.log" || true)
    [ -n "$verdict" ] && break
    kill -0 $chromium_pid 2>/dev/null || fail "Chromium exited before the page reported"
    sleep 0.1
done
[ -n "$verdict" ] || fail "the page reported nothing within 60 s"
echo "page: $verdict"
echo "page retries: $(grep -c '"RETRY' "$work/chromium.log" || true)"
# The browser first, so that none of its processes still writes to its profile at cleanup.
kill $chromium_pid 2>/dev/null || true
wait $chromium_pid 2>/dev/null || true
read -r word r g b _ sr sg sb _ <<<"${verdict//\"/}"
[ "$word" = RESULT ] || fail "the page failed: $verdict"
grep -q 'AccessDialog' "$work/access.log" || fail "the portal never asked the permission dialog"

# Within what 8-bit YUV with subsampled chroma leaves of a solid colour.
expected=("${colour[@]}")
got=("$r" "$g" "$b")
for c in 0 1 2; do
    d=$((got[c] - expected[c]))
    [ ${d#-} -le 8 ] || fail "channel $c of the frame is ${got[c]}, the camera shows ${expected[c]}"
done
for s in "$sr" "$sg" "$sb"; do
    [ "$s" -le 8 ] || fail "the frame is not the solid colour sent (spread $sr $sg $sb)"
done
echo "Chromium received the camera's colour ${got[*]} (sent ${expected[*]})"
