#!/usr/bin/env bash
# Runs Lumaghost inside a local root (LUMAGHOST_ROOT): installs the camera device there without
# root privileges or a kernel module, and shows the cameras that video programs would see.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in /*) ;; *) build=$here/$build ;; esac
: "${LUMAGHOST_ROOT:?LUMAGHOST_ROOT must name the local root}"
export LUMAGHOST_ROOT
mkdir -p "$LUMAGHOST_ROOT"

echo "Lumaghost root: $LUMAGHOST_ROOT"
(cd "$here/res" && "$build/setup/lumasetup") || {
    echo "lumasetup failed with exit code $?" >&2
    exit 1
}
echo "Camera device installed. Video input devices:"
"$build/driver/lumacam" list
echo
echo "Capture what the camera shows with:"
echo "  LUMAGHOST_ROOT=$LUMAGHOST_ROOT $build/driver/lumacam capture --count 1 --output DIR"
