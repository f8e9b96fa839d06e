#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Lumadesk in a German session, as assistive technology reads it: a private X server (Xvfb), a
# private session bus and accessibility bus, and tests/desk/atspi_german.py walking the window,
# its menus, dialogs, file dialogs and message boxes, failing on any English word. Every process
# started here is ended by its id when the test ends.
# Usage: atspi_german.sh LUMADESK LUMASETUP RES
set -euo pipefail
lumadesk=$1 lumasetup=$(realpath "$2") res=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../cli/lib.sh"
source "$here/xvfb.sh"

for list in /usr/share/dict/american-english /usr/share/dict/ngerman; do
    [ -r "$list" ] || fail "$list is missing (wamerican, wngerman: scripts/install-deps.sh)"
done
[ -r /usr/share/qt6/translations/qtbase_de.qm ] ||
    fail "Qt's German translation is missing (qt6-translations-l10n: scripts/install-deps.sh)"

mkdir -m 700 "$work/run"
mkdir -p "$work/config" "$work/data" "$work/root" "$work/leer" "$work/bin"
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export LUMAGHOST_ROOT=$work/root  # no camera is installed there
export HOME=$work
unset WAYLAND_DISPLAY LC_ALL LC_MESSAGES LANGUAGE
export LANG=de_DE.UTF-8

start_session_bus
start_accessible_x "$work"

start=$(date +%s.%N)
/usr/bin/python3 "$here/atspi_german.py" "$lumadesk" "$work" none ||
    fail "the German session without a camera has English left"
# The camera's commands and dialogs: with a camera installed in the private root.
mkdir -p "$work/setup"
cp "$res/Lumacam.inf" "$work/setup/"
(cd "$work/setup" && "$lumasetup") >"$work/lumasetup.log" 2>&1 || fail "lumasetup exited $?"
/usr/bin/python3 "$here/atspi_german.py" "$lumadesk" "$work" camera ||
    fail "the German session with a camera has English left"
echo "atspi_german: passed in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s"
