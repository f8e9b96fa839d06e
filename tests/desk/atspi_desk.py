#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Drives lumadesk through AT-SPI by the captions a screen reader reads.

Run by atspi_desk.sh, which provides the X server, the session bus and the accessibility bus.
Starts lumadesk with an empty settings store and no camera, and checks: the driver message and
its OK button; the window's place; the camera commands disabled; the Sequence command's check
mark and toolbars; a second start handing its file to the first, which comes to the front and
opens it; the Setup dialog's boxes and the switch to German; the settings stored at the end.
"""

import pathlib
import signal
import struct
import subprocess
import sys

import pyatspi

sys.dont_write_bytecode = True  # nothing written beside the sources
from atspi_common import application, caption, fail, find, has, press, wait_for, walk  # noqa: E402
import atspi_common  # noqa: E402

atspi_common.WAIT_SECONDS = 15.0

LUMADESK = sys.argv[1]
WORK = pathlib.Path(sys.argv[2])


def click(node):
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                   check=True)


def lumadesk_apps():
    return [a for a in pyatspi.Registry.getDesktop(0)
            if a is not None and a.name == "lumadesk"]


def stacking_order():
    """Top-level X windows, topmost first (as xwininfo lists them), as (id, name)."""
    out = subprocess.run(["xwininfo", "-root", "-children"], check=True, capture_output=True,
                         text=True).stdout
    windows = []
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("0x"):
            wid, _, rest = line.partition(" ")
            name = rest.split('"')[1] if rest.count('"') >= 2 else ""
            windows.append((wid, name))
    return windows


def window_geometry(title):
    out = subprocess.run(["xwininfo", "-name", title], check=True, capture_output=True,
                         text=True).stdout
    values = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def main():
    atspi_common.drive_lumadesk(LUMADESK, WORK / "lumadesk.log", run, "atspi_desk.py")


def run(first):
    app = wait_for("lumadesk on the accessibility bus", lambda: application(first.pid))

    # Without a camera the driver message comes, and its OK button takes it away.
    alert = wait_for("the driver message", lambda: find(app, pyatspi.ROLE_ALERT))
    text = find(alert, pyatspi.ROLE_LABEL).name
    # The design's text first, then what installs the camera on this system.
    if not text.startswith("Can't find Lumaghost driver.\n\nPlease reinstall Lumaghost again!\n"
                           "No Lumaghost camera is installed."):
        fail("driver message: %r" % text)
    press(find(alert, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    wait_for("the driver message to go", lambda: find(app, pyatspi.ROLE_ALERT) is None)

    # An empty store puts the window at (40, 40), 580 x 460.
    frame = find(app, pyatspi.ROLE_FRAME)
    if frame.name != "Untitled - Lumadesk":
        fail("window title %r" % frame.name)
    extents = tuple(frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
    if extents != (40, 40, 580, 460):
        fail("window extents %r" % (extents,))
    if window_geometry("Untitled - Lumadesk") != (40, 40, 580, 460):
        fail("X11 geometry %r" % (window_geometry("Untitled - Lumadesk"),))

    # The status bar says there is no camera; no lock-key panes that cannot know their state.
    pane = wait_for("the source pane", lambda: find(frame, pyatspi.ROLE_LABEL, "No camera"))
    if not has(pane, pyatspi.STATE_SHOWING):
        fail("the source pane is not shown")
    for lock in ("CAP", "NUM", "SCRL"):
        if find(frame, pyatspi.ROLE_LABEL, lock) is not None:
            fail("a %s pane that is always off" % lock)

    # Linux keys: Ctrl+Q quits, no key opens the maker's page.
    def keys(node):
        action = node.queryAction()
        return [action.getKeyBinding(i) for i in range(action.nActions)]

    exit_item = find(frame, pyatspi.ROLE_MENU_ITEM, "Exit")
    if exit_item is None or "Ctrl+Q" not in keys(exit_item):
        fail("Exit's keys: %r" % (exit_item and keys(exit_item)))
    homepage = find(frame, pyatspi.ROLE_MENU_ITEM, "Quillmoor Homepage...")
    if homepage is None or any("Home" in k for k in keys(homepage)):
        fail("the homepage's keys: %r" % (homepage and keys(homepage)))

    # The camera's commands are disabled, in the menus and on the toolbar.
    for name in ("Set Lumaghost Picture", "Preview", "Show pick frame"):
        item = find(frame, pyatspi.ROLE_MENU_ITEM, name)
        button = find(frame, pyatspi.ROLE_PUSH_BUTTON, name)
        if item is None or button is None:
            fail("no menu item or button %r" % name)
        if has(item, pyatspi.STATE_ENABLED) or has(button, pyatspi.STATE_ENABLED):
            fail("%r is enabled without a camera" % name)
    if not has(find(frame, pyatspi.ROLE_MENU_ITEM, "Setup"), pyatspi.STATE_ENABLED):
        fail("Setup is disabled")

    # The Sequence command switches the mode: its check mark and the toolbars follow.
    sequence = find(frame, pyatspi.ROLE_MENU_ITEM, "Sequence", lambda n: n.childCount == 0)
    main_bar = find(frame, pyatspi.ROLE_TOOL_BAR, "Main toolbar")
    sequence_bar = find(frame, pyatspi.ROLE_TOOL_BAR, "Sequence toolbar")
    strip = find(frame, pyatspi.ROLE_FRAME, "Sequence strip") or find(
        frame, pyatspi.ROLE_FILLER, "Sequence strip")
    for turn in (True, False):
        press(sequence)
        wait_for("Sequence checked: %s" % turn,
                 lambda: has(sequence, pyatspi.STATE_CHECKED) == turn and
                 has(sequence_bar, pyatspi.STATE_SHOWING) == turn and
                 has(main_bar, pyatspi.STATE_SHOWING) != turn and
                 has(strip, pyatspi.STATE_SHOWING) == turn)
        if turn:
            # Tall enough for the 240-px pick frame at (50, 50) above the strip, on the screen.
            view = find(frame, pyatspi.ROLE_SCROLL_PANE, "Picture view") or find(
                frame, pyatspi.ROLE_FILLER, "Picture view")
            wait_for("the view to grow", lambda: view.queryComponent().getExtents(
                pyatspi.DESKTOP_COORDS)[3] >= 340)
            grown = tuple(frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
            sx, sy, sw, sh = strip.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            if grown[1] + grown[3] > 768 or sy + sh > grown[1] + grown[3]:
                fail("window %r, strip %r" % (grown, (sx, sy, sw, sh)))
            if find(frame, pyatspi.ROLE_LABEL, "No camera") is None:
                fail("the source pane is gone in sequence mode")

    # Another start with a file: the first comes to the front (above its About box) and opens
    # the file; the second ends at once and shows nothing.
    press(find(frame, pyatspi.ROLE_MENU_ITEM, "About Lumaghost..."))
    about = wait_for("the About box", lambda: find(app, pyatspi.ROLE_DIALOG, "About Lumadesk"))
    version = find(about, pyatspi.ROLE_LABEL, "Lumaghost version 0.9.0.0 beta Build 0530")
    if version is None:
        fail("no version line in the About box")
    order = [name for _, name in stacking_order()]
    if order.index("About Lumadesk") > order.index("Untitled - Lumadesk"):
        fail("the About box is not in front of the window: %r" % order)
    photo = WORK / "photo.jpg"
    # A picture of 2 x 2 pixels (BMP data: the kind is told from the data, the name says JPG).
    photo.write_bytes(b"BM" + struct.pack("<IHHI", 70, 0, 0, 54) +
                      struct.pack("<IiiHHIIiiII", 40, 2, 2, 1, 24, 0, 16, 2835, 2835, 0, 0) +
                      b"\x00\x00\xff\x00\xff\x00\x00\x00" * 2)
    second = subprocess.run([LUMADESK, str(photo)], capture_output=True, text=True, timeout=30)
    if second.returncode != 0 or second.stdout or second.stderr:
        fail("second start: exit %d, %r %r" % (second.returncode, second.stdout, second.stderr))
    wait_for("the first window to open photo.jpg",
             lambda: find(app, pyatspi.ROLE_FRAME, "photo.jpg - Lumadesk"))
    if len(lumadesk_apps()) != 1:
        fail("more than one lumadesk on the accessibility bus")
    order = [name for _, name in stacking_order()]
    if order.index("photo.jpg - Lumadesk") > order.index("About Lumadesk"):
        fail("the window is not in front: %r" % order)
    press(find(about, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    wait_for("the About box to go",
             lambda: find(app, pyatspi.ROLE_DIALOG, "About Lumadesk") is None)

    # Setup: every box ticked but one; German chosen and confirmed re-labels the window.
    press(find(frame, pyatspi.ROLE_MENU_ITEM, "Setup"))
    setup = wait_for("the Setup dialog", lambda: find(app, pyatspi.ROLE_DIALOG, "Setup"))
    boxes = {caption(n): has(n, pyatspi.STATE_CHECKED)
             for n in walk(setup) if n.getRole() == pyatspi.ROLE_CHECK_BOX}
    expected = {name: name != "When save the sequence auto set it for play" for name in boxes}
    if len(boxes) != 7 or boxes != expected:
        fail("Setup boxes %r" % boxes)
    combo = find(setup, pyatspi.ROLE_COMBO_BOX)
    click(combo)
    german = wait_for("the language list", lambda: find(combo, pyatspi.ROLE_LIST_ITEM, "Deutsch")
                      if has(find(combo, pyatspi.ROLE_LIST_ITEM, "Deutsch"),
                             pyatspi.STATE_SHOWING) else None)
    click(german)
    wait_for("Deutsch chosen", lambda: (combo.clear_cache() or True) and combo.name == "Deutsch")
    press(find(setup, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    wait_for("the Setup dialog to go", lambda: find(app, pyatspi.ROLE_DIALOG, "Setup") is None)
    wait_for("German menus", lambda: find(frame, pyatspi.ROLE_MENU_ITEM, "Datei"))
    for name in ("Einstellungen", "Lumaghost-Bild setzen", "Vergrößern"):
        if find(frame, pyatspi.ROLE_MENU_ITEM, name) is None:
            fail("no German menu item %r" % name)
    if find(frame, pyatspi.ROLE_PUSH_BUTTON, "Einstellungen") is None:
        fail("the toolbar kept its English captions")
    wait_for("the German idle text", lambda: find(frame, pyatspi.ROLE_STATUS_BAR, "Bereit"))

    # Ended by its signal, it stores its place and language.
    first.send_signal(signal.SIGTERM)
    if first.wait(timeout=15) != 0:
        fail("lumadesk ended with %d" % first.returncode)
    store = (WORK / "config/Quillmoor/Lumadesk.conf").read_text()
    for line in ('"LastX"=dword:00000028', '"LastY"=dword:00000028', '"LastCx"=dword:00000244',
                 '"LastCy"=dword:%08x' % grown[3], '"Language"=dword:00000407'):
        if line not in store:
            fail("%r not stored:\n%s" % (line, store))


if __name__ == "__main__":
    main()
