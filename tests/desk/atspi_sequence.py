#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Drives lumadesk on a camera through AT-SPI, by the captions a screen reader reads.

Run by atspi_sequence.sh in two sessions:
  user LUMADESK CAMERA_COMMITS WORK: as a member of group video who is not root, sets a picture
      on the camera and compares the frame with the picture's picked region; adds three items,
      gives the second 2000 ms, saves them with "When save the sequence auto set it for play"
      ticked, plays them and measures the display times at the camera; the file must be the one
      an independent writer makes of the frames the camera showed.
  service LUMADESK CAMERA_COMMITS WORK: as root, opens that sequence and presses Service, which
      installs and starts lumaserv under the user manager; the camera must show the sequence;
      Service again stops it.
"""

import pathlib
import re
import signal
import struct
import subprocess
import sys
import time

import pyatspi

sys.dont_write_bytecode = True  # nothing written beside the sources
from atspi_common import application, caption, fail, find, has, press, wait_for, walk  # noqa: E402

MODE, LUMADESK, COMMITS, WORK = sys.argv[1], sys.argv[2], sys.argv[3], pathlib.Path(sys.argv[4])
CAMERA = (320, 240)
SEQUENCE = WORK / "user/home/show.lgs"
USER_FRAMES = WORK / "user/frames"
TIMES = [1000, 2000, 1000]
TOLERANCE_MS = 100


def find_named(root, name):
    root.clear_cache()
    for node in walk(root):
        if caption(node) == name:
            return node
    return None


def click_at(x, y):
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)


def menu_item(frame, menu, item):
    """An item of a menu of the menu bar (the menus hold items of the same caption)."""
    bar = find(frame, pyatspi.ROLE_MENU_BAR)
    parent = bar and find(bar, pyatspi.ROLE_MENU_ITEM, menu, lambda n: n.childCount > 0)
    if parent is None:
        fail("no menu %r" % menu)
    node = find(parent, pyatspi.ROLE_MENU_ITEM, item)
    if node is None:
        fail("no item %r in menu %r" % (item, menu))
    return node


def run_command(frame, menu, item):
    node = menu_item(frame, menu, item)
    wait_for("%s > %s enabled" % (menu, item), lambda: has(node, pyatspi.STATE_ENABLED))
    press(node)


def source_pane(frame, text):
    """Waits until the status bar's source pane names `text` as on the camera."""
    return wait_for("the source pane to say %r" % text,
                    lambda: find(frame, pyatspi.ROLE_LABEL, "On the camera: " + text))


def extents(node):
    return tuple(node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def no_message(app):
    alert = find(app, pyatspi.ROLE_ALERT)
    if alert is not None:
        label = find(alert, pyatspi.ROLE_LABEL)
        fail("unexpected message: %r" % (label.name if label else alert.name))


def write_pattern(path, width, height):
    """A 24-bit BMP whose pixel (x, y) is red x, green y, blue 3x + y (each mod 256)."""
    row = (width * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            line += bytes([(3 * x + y) & 255, y & 255, x & 255])
        data += line + b"\0" * (row - width * 3)
    header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54) + struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    path.write_bytes(header + data)


def pattern_region(left, top, width, height):
    """The camera frame of the pattern's region: bottom row first, blue, green, red."""
    out = bytearray()
    for y in range(top + height - 1, top - 1, -1):
        for x in range(left, left + width):
            out += bytes([(3 * x + y) & 255, y & 255, x & 255])
    return bytes(out)


class Reader:
    """The frames the camera is shown next, with the time each came."""

    def __init__(self, count, timeout_ms, directory):
        self.directory = pathlib.Path(directory)
        self.process = subprocess.Popen([COMMITS, str(count), str(timeout_ms), str(directory)],
                                        stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            fail("the camera reader did not start")

    def collect(self, timeout):
        out, _ = self.process.communicate(timeout=timeout)
        if self.process.returncode != 0:
            fail("the camera reader ended with %d" % self.process.returncode)
        times = [int(line.split()[1]) for line in out.splitlines() if line.strip()]
        frames = [(self.directory / ("frame-%d.bgr" % n)).read_bytes() for n in range(len(times))]
        return frames, times


def sequence_file(frames, times):
    """A .lgs file of the frames, written here from the format alone."""
    w, h = CAMERA
    record = 20 + w * h * 3
    out = b"QmSq" + struct.pack("<ii", len(frames), 12 + len(frames) * record)
    for frame, ms in zip(frames, times):
        out += b"QmLg" + struct.pack("<iiiI", w, h, record, ms) + frame
    return out


def start_lumadesk(*arguments):
    log = open(WORK / ("lumadesk-%s.log" % MODE) if MODE == "service" else
               WORK / "user/lumadesk.log", "w")
    process = subprocess.Popen([LUMADESK, *arguments], stdout=log, stderr=subprocess.STDOUT)
    app = wait_for("lumadesk on the accessibility bus", lambda: application(process.pid))
    return process, app


def stop_lumadesk(process):
    process.send_signal(signal.SIGTERM)
    if process.wait(timeout=15) != 0:
        fail("lumadesk ended with %d" % process.returncode)


def user():
    pictures = WORK / "user/home/pictures"
    pictures.mkdir(parents=True)
    write_pattern(pictures / "pattern.bmp", 640, 480)
    process, app = start_lumadesk(str(pictures / "pattern.bmp"))
    try:
        frame = wait_for("the picture's window", lambda: find(app, pyatspi.ROLE_FRAME,
                                                              "pattern.bmp - Lumadesk"))
        time.sleep(0.5)
        no_message(app)
        source_pane(frame, "the stored image")

        # Setup: saving a sequence makes it the auto-play item.
        press(find(frame, pyatspi.ROLE_MENU_ITEM, "Setup"))
        setup = wait_for("the Setup dialog", lambda: find(app, pyatspi.ROLE_DIALOG, "Setup"))
        box = find(setup, pyatspi.ROLE_CHECK_BOX, "When save the sequence auto set it for play")
        press(box)
        wait_for("the box ticked", lambda: has(box, pyatspi.STATE_CHECKED))
        press(find(setup, pyatspi.ROLE_PUSH_BUTTON, "OK"))
        wait_for("the Setup dialog to go", lambda: find(app, pyatspi.ROLE_DIALOG, "Setup") is None)

        # Set picture: a frame of the camera's size around (210, 170), over the picture drawn
        # from the window's corner at its natural size.
        reader = Reader(1, 10000, WORK / "user/set")
        run_command(frame, "Option", "Set Lumaghost Picture")
        frames, _ = reader.collect(15)
        if frames[0] != pattern_region(50, 50, *CAMERA):
            fail("the camera does not show the picked region")
        source_pane(frame, "picture pattern.bmp")
        stored = (WORK / "root/var/lib/lumaghost/LastLgImage.lgi").read_bytes()
        if stored[20:] != frames[0] or struct.unpack("<4siiiI", stored[:20])[4] != 5000:
            fail("the stored image is not the frame set")
        no_message(app)

        # Three items: as set, then zoomed in once and twice.
        press(menu_item(frame, "View", "Sequence"))
        strip = wait_for("the sequence strip", lambda: find_named(frame, "Sequence items"))
        wait_for("the strip shown", lambda: has(strip, pyatspi.STATE_SHOWING))
        for n in range(3):
            if n:
                run_command(frame, "View", "Zoom In")
            run_command(frame, "Sequence", "Add")
            wait_for("item %d" % (n + 1),
                     lambda: (strip.clear_cache() or True) and
                     strip.description.startswith("%d items" % (n + 1)))

        # The second item shown for 2000 ms.
        x, y, _, _ = strip.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        click_at(x + 145 + 60, y + 50)
        wait_for("item 2 selected", lambda: (strip.clear_cache() or True) and
                 strip.description.endswith("item 2 selected"))
        edit = wait_for("the display time", lambda: find_named(frame, "Display time in ms"))
        wait_for("the display time bar enabled", lambda: has(edit, pyatspi.STATE_ENABLED))
        edit.queryComponent().grabFocus()
        wait_for("the display time focused", lambda: has(edit, pyatspi.STATE_FOCUSED))
        edit.queryEditableText().setTextContents("2000")
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        wait_for("the display time taken", lambda: not has(edit, pyatspi.STATE_FOCUSED))

        # Saved: no question, the setting says so.
        run_command(frame, "File", "Save")
        dialog = wait_for("the Save As dialog", lambda: find(app, pyatspi.ROLE_DIALOG, "Save As"))
        name = wait_for("the file name box", lambda: find(
            dialog, pyatspi.ROLE_TEXT, where=lambda n: has(n, pyatspi.STATE_EDITABLE) and
            has(n, pyatspi.STATE_SHOWING)))
        name.queryEditableText().setTextContents(str(SEQUENCE))
        press(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Save"))
        wait_for("the sequence file", lambda: SEQUENCE.exists() and SEQUENCE.stat().st_size > 0)
        time.sleep(0.3)
        no_message(app)
        hive = (WORK / "root/var/lib/lumaghost/machine.ini").read_text()
        if '"AutoPlay"="%s"' % SEQUENCE not in hive or '"AutoPlayType"=dword:00000001' not in hive:
            fail("the auto-play pair was not written:\n" + hive)
        if '"LastLgImage"=' not in hive:
            fail("the stored image was not named to the driver")

        # Played: in order, each for its time, round again.
        reader = Reader(4, 12000, USER_FRAMES)
        run_command(frame, "Sequence", "Play")
        # The preview that comes with it stands beside the window, clear of its menu bar.
        preview = wait_for("the preview", lambda: find_named(app, "PreView"))
        wait_for("the preview shown", lambda: has(preview, pyatspi.STATE_SHOWING))
        bar = find(frame, pyatspi.ROLE_MENU_BAR)
        if overlap(extents(preview), extents(bar)) or overlap(extents(preview), extents(frame)):
            fail("the preview %r covers the window %r" % (extents(preview), extents(frame)))
        frames, times = reader.collect(20)
        wait_for("the source pane to name an item of 3", lambda: find(
            frame, pyatspi.ROLE_LABEL,
            where=lambda n: re.fullmatch(r"On the camera: sequence item [123] of 3", n.name or "")))
        run_command(frame, "Sequence", "Stop")
        source_pane(frame, "nothing plays")
        if len(set(frames[:3])) != 3 or frames[3] != frames[0]:
            fail("the sequence did not play its three items in turn")
        shown = [(b - a) / 1000.0 for a, b in zip(times, times[1:])]
        print("atspi_sequence.py: display times at the camera %s ms (items %s ms)" %
              (", ".join("%.1f" % s for s in shown), ", ".join(map(str, TIMES))))
        for got, want in zip(shown, TIMES):
            if abs(got - want) > TOLERANCE_MS:
                fail("display times %r, not %r" % (shown, TIMES))
        if SEQUENCE.read_bytes() != sequence_file(frames[:3], TIMES):
            fail("the saved file is not the independent writer's of the frames played")
    finally:
        if process.poll() is None:
            stop_lumadesk(process)


def service():
    process, app = start_lumadesk(str(SEQUENCE))
    try:
        frame = wait_for("the sequence's window",
                         lambda: find(app, pyatspi.ROLE_FRAME, "%s - Lumadesk" % SEQUENCE))
        time.sleep(0.5)
        no_message(app)
        items = [(USER_FRAMES / ("frame-%d.bgr" % n)).read_bytes() for n in range(3)]

        reader = Reader(3, 20000, WORK / "service-frames")
        run_command(frame, "Sequence", "Service")
        frames, _ = reader.collect(30)
        if frames != items:
            fail("the service does not play the saved sequence")
        source_pane(frame, "the play service")
        state = subprocess.run(["systemctl", "--user", "is-active", "LumaghostService"],
                               capture_output=True, text=True).stdout.strip()
        if state != "active":
            fail("the service is %s" % state)
        enabled = subprocess.run(["systemctl", "--user", "is-enabled", "LumaghostService"],
                                 capture_output=True, text=True).stdout.strip()
        if enabled != "enabled":
            fail("the service starts %s, not with the system" % enabled)
        no_message(app)

        run_command(frame, "Sequence", "Service")
        wait_for("the service to stop", lambda: subprocess.run(
            ["systemctl", "--user", "is-active", "LumaghostService"],
            capture_output=True, text=True).stdout.strip() in ("inactive", "failed"))
    finally:
        if process.poll() is None:
            stop_lumadesk(process)


def main():
    began = time.monotonic()
    {"user": user, "service": service}[MODE]()
    print("atspi_sequence.py %s: %.1f s" % (MODE, time.monotonic() - began))


if __name__ == "__main__":
    main()
