#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Firefox beside Chromium: headless Firefox ESR, with a private profile that lets it take cameras
# through PipeWire (and asks nobody), reaches the camera through xdg-desktop-portal's Camera
# interface, as on a desktop, in a private session (tests/cli/browser_camera.sh). A page finds the
# video input labelled Lumaghost, opens it and draws a frame to a canvas; its colour must be the
# one `lumacam send` put on the camera.
set -euo pipefail
lumasetup=$1 lumacam=$2 res=$3

source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/browser_camera.sh"
firefox=${FIREFOX:-/usr/bin/firefox-esr}
[ -x "$firefox" ] || fail "$firefox is missing (scripts/install-deps.sh installs it)"

start_camera_session "$lumasetup" "$lumacam" "$res"

# Real cameras only, through the portal and PipeWire; no prompt; no network, not even names;
# dump() writes the page's lines to standard output.
mkdir -p "$work/firefox-profile"
cat >"$work/firefox-profile/user.js" <<'EOF'
user_pref("media.webrtc.camera.allow-pipewire", true);
user_pref("media.navigator.permission.disabled", true);
user_pref("media.navigator.streams.fake", false);
user_pref("network.dns.disabled", true);
user_pref("browser.dom.window.dump.enabled", true);
user_pref("media.autoplay.default", 0);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reporting.enabled", false);
user_pref("app.update.disabledForTesting", true);
EOF
"$firefox" --headless --no-remote --profile "$work/firefox-profile" "$page_url" \
    >"$work/firefox.log" 2>&1 &
firefox_pid=$!
pids+=($firefox_pid)

check_page Firefox $firefox_pid "$work/firefox.log" '^'
