#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the quick start need, when any is missing.
set -euo pipefail

packages=(
    g++ cmake make pkg-config python3
    libgtest-dev libgmock-dev libbenchmark-dev
    # The benchmarks' peers: Pillow (bench/compare_pillow.sh) and libyuv (scaling, conversions).
    python3-pil libyuv-dev
    qt6-base-dev qt6-svg-dev libwmf-dev libemf2svg-dev gsfonts
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    # x264enc for the movie benchmark's H.264 movie; rmdemux plays RealMedia files.
    gstreamer1.0-plugins-ugly
    libpipewire-0.3-dev pipewire pipewire-bin wireplumber gstreamer1.0-pipewire dbus-daemon
    libsystemd-dev systemd util-linux
    # The browser test: Chromium takes the camera through xdg-desktop-portal, whose permission
    # dialog a small D-Bus service in Python stands in for.
    chromium xdg-desktop-portal dbus-bin python3-dbus python3-gi
    firefox-esr
    # Lumadesk's accessibility test and screenshot: a private X server driven through AT-SPI;
    # update-mime-database for the .lgs type.
    xvfb at-spi2-core python3-pyatspi xdotool x11-utils shared-mime-info
    # The Debian package (make deb: dpkg-shlibdeps) and its test: lintian, and a fresh Debian 12
    # root to install it into.
    dpkg-dev lintian debootstrap
)

# The fuzz targets need clang and its sanitizer runtimes.
if [ "${1:-}" = fuzz ]; then
    packages+=(clang-14 libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = 'install ok installed' ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
