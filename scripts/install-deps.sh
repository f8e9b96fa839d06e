#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the Debian packages a set needs, when any is missing:
#   install-deps.sh run    building the programs and the plugin, and running them (make run)
#   install-deps.sh        that and the tests, the benchmarks and the package (make test)
#   install-deps.sh fuzz   all of it and clang for the fuzz targets (make fuzz)
# apt's output goes to a log file, shown only when it fails.
set -euo pipefail

# Building the programs and the plugin, and what they run.
run=(
    g++ cmake make pkg-config
    # dpkg-buildflags: Debian's hardening flags for the build.
    dpkg-dev
    qt6-base-dev qt6-svg-dev libwmf-dev libemf2svg-dev gsfonts
    # Qt's own texts (standard buttons, file dialogs) in the language packs' languages.
    qt6-translations-l10n
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
    libpipewire-0.3-dev libsystemd-dev
)

packages=(
    python3
    libgtest-dev libgmock-dev libbenchmark-dev
    # The benchmarks' peers: Pillow (bench/compare_pillow.sh) and libyuv (scaling, conversions).
    python3-pil libyuv-dev
    gstreamer1.0-tools
    # x264enc for the movie benchmark's H.264 movie; rmdemux plays RealMedia files.
    gstreamer1.0-plugins-ugly
    pipewire pipewire-bin wireplumber gstreamer1.0-pipewire dbus-daemon
    systemd util-linux
    # The browser test: Chromium takes the camera through xdg-desktop-portal, whose permission
    # dialog a small D-Bus service in Python stands in for.
    chromium xdg-desktop-portal dbus-bin python3-dbus python3-gi
    firefox-esr
    # Lumadesk's accessibility test and screenshot: a private X server driven through AT-SPI;
    # update-mime-database for the .lgs type.
    xvfb at-spi2-core python3-pyatspi xdotool x11-utils shared-mime-info
    # The German session's test tells English words by the English and German word lists.
    wamerican wngerman
    # The Debian package (make deb: dpkg-shlibdeps; its icons rendered by rsvg-convert) and its
    # tests: the desktop entry and the metainfo checked, lintian and hardening-check (devscripts),
    # and a fresh Debian 12 root to install it into.
    librsvg2-bin desktop-file-utils appstream lintian devscripts debootstrap
)

case ${1:-} in
    run) packages=("${run[@]}") ;;
    '') packages=("${run[@]}" "${packages[@]}") ;;
    # The fuzz targets need clang and its sanitizer runtimes.
    fuzz) packages=("${run[@]}" "${packages[@]}" clang-14 libclang-rt-14-dev) ;;
    *) echo "usage: $0 [run|fuzz]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = 'install ok installed' ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

log=${LUMAGHOST_DEPS_LOG:-${TMPDIR:-/tmp}/lumaghost-install-deps.log}
echo "Installing ${#missing[@]} packages: ${missing[*]}"
started=$(date +%s)
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! { "${sudo[@]}" apt-get update -qq && "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "apt-get failed; its whole output is in $log" >&2
    exit 1
fi
elapsed=$(($(date +%s) - started))
echo "Installed in $((elapsed / 60)) min $((elapsed % 60)) s"
