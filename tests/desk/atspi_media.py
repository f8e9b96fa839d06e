#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Drives lumadesk's camera sources through AT-SPI by the captions a screen reader reads.

Run by atspi_media.sh, which provides the X server, the buses, the camera "Lumaghost" and the
real camera "Real Cam". Checks: a movie handed over by another start plays into the camera with
its control bar, seeks when its slider is set, loops at its end and holds while paused; a file
that is no movie is told ("DirectShow FAILED", then "Play File Error") and the camera keeps its
last frame; "Play All Files in Directory" shows the directory's pictures in name order with the
chosen fit and display time; the real camera passes through with the movie fit (ratio not kept:
its red left quarter fills the camera's left quarter); the preview window shows the camera at
the pick frame's place.
"""

import pathlib
import signal
import struct
import subprocess
import sys
import time

import pyatspi

sys.dont_write_bytecode = True  # nothing written beside the sources
from atspi_common import application, fail, find, has, press, wait_for, walk  # noqa: E402
import atspi_common  # noqa: E402

LUMADESK = sys.argv[1]
LUMACAM = sys.argv[2]
WORK = pathlib.Path(sys.argv[3])
WIDTH, HEIGHT = 320, 240


def top_level(app, name):
    app.clear_cache()
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        if window is not None and window.name == name:
            return window
    return None


def read_ppm(path):
    data = path.read_bytes()
    parts = data.split(b"\n", 3)
    width, height = (int(v) for v in parts[1].split())
    return width, height, parts[3]


def pixel(frame, x, y):
    width, _, pixels = frame
    at = (y * width + x) * 3
    return tuple(pixels[at:at + 3])


def near(colour, wanted, slack=40):
    return all(abs(a - b) <= slack for a, b in zip(colour, wanted))


def capture(count, name, timeout=15):
    """The next `count` frames the camera gets, as (width, height, pixels)."""
    out = WORK / name
    result = subprocess.run([LUMACAM, "capture", "--count", str(count), "--output", str(out),
                             "--timeout", str(timeout)], capture_output=True, text=True)
    if result.returncode != 0:
        fail("lumacam capture: %s" % result.stderr.strip())
    return [read_ppm(out / ("frame-%04d.ppm" % i)) for i in range(count)]


def start_capture(count, name, timeout=15):
    out = WORK / name
    process = subprocess.Popen([LUMACAM, "capture", "--count", str(count), "--output", str(out),
                                "--timeout", str(timeout)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    return process, out


def finish_capture(started, count):
    process, out = started
    if process.wait(timeout=30) != 0:
        fail("lumacam capture: %s" % process.stderr.read().strip())
    return [read_ppm(out / ("frame-%04d.ppm" % i)) for i in range(count)]


def snapshot(name):
    """What the camera shows now, committed or repeated: lumaghostsrc's next frame."""
    path = WORK / (name + ".rgb")
    subprocess.run(["gst-launch-1.0", "-q", "lumaghostsrc", "num-buffers=1", "!", "videoconvert",
                    "!", "video/x-raw,format=RGB", "!", "filesink", "location=%s" % path],
                   check=True, timeout=30)
    return WIDTH, HEIGHT, path.read_bytes()


def write_movie(path, patterns, frames=60):
    """A 160 x 120 MJPEG movie at 30 frames a second: `frames` frames of each pattern in turn."""
    caps = "video/x-raw,width=160,height=120,framerate=30/1"
    command = ["gst-launch-1.0", "-q", "concat", "name=c", "!", "jpegenc", "!", "avimux", "!",
               "filesink", "location=%s" % path]
    for pattern in patterns:
        command += ["videotestsrc", "pattern=%s" % pattern, "num-buffers=%d" % frames, "!",
                    caps, "!", "c."]
    subprocess.run(command, check=True, timeout=60)


def slider_value(slider):
    slider.clear_cache()
    return slider.queryValue().currentValue


def write_bmp(path, rgb, width=32, height=24):
    row = bytes((rgb[2], rgb[1], rgb[0])) * width
    pad = (-len(row)) % 4
    pixels = (row + b"\0" * pad) * height
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0,
                       0)
    path.write_bytes(header + info + pixels)


def screen_pixels(x, y, width, height):
    """What the screen shows in a rectangle, grabbed from the X server by ximagesrc."""
    path = WORK / "screen.rgb"
    subprocess.run(["gst-launch-1.0", "-q", "ximagesrc", "use-damage=false", "num-buffers=1",
                    "startx=%d" % x, "starty=%d" % y, "endx=%d" % (x + width - 1),
                    "endy=%d" % (y + height - 1), "!", "videoconvert", "!",
                    "video/x-raw,format=RGB", "!", "filesink", "location=%s" % path],
                   check=True, timeout=30)
    return width, height, path.read_bytes()


def main():
    atspi_common.drive_lumadesk(LUMADESK, WORK / "lumadesk.log", run, "atspi_media.py")


def hand_over(path):
    second = subprocess.run([LUMADESK, str(path)], capture_output=True, text=True, timeout=30)
    if second.returncode != 0:
        fail("second start: exit %d, %r" % (second.returncode, second.stderr))


def run(first):
    app = wait_for("lumadesk on the accessibility bus", lambda: application(first.pid))
    frame = wait_for("the main window", lambda: find(app, pyatspi.ROLE_FRAME,
                                                     "Untitled - Lumadesk"))
    time.sleep(0.3)
    if find(app, pyatspi.ROLE_ALERT) is not None:
        fail("a message at start: %r" % find(find(app, pyatspi.ROLE_ALERT),
                                              pyatspi.ROLE_LABEL).name)
    stop_above = find(frame, pyatspi.ROLE_MENU_ITEM, "Stop Above")
    play_movie = find(frame, pyatspi.ROLE_MENU_ITEM, "Play Movie")
    bar = find(frame, pyatspi.ROLE_TOOL_BAR, "Movie control bar")
    if has(stop_above, pyatspi.STATE_ENABLED) or has(bar, pyatspi.STATE_SHOWING):
        fail("Stop Above enabled or the control bar shown before any movie")

    # A movie handed over by another start plays into the camera, with its control bar: three
    # seconds of red, then three of blue, over and over.
    movie = WORK / "red-blue.avi"
    write_movie(movie, ("red", "blue"), frames=90)
    hand_over(movie)
    wait_for("the movie's title", lambda: find(app, pyatspi.ROLE_FRAME,
                                               "%s - Lumadesk" % movie))
    wait_for("the control bar", lambda: has(bar, pyatspi.STATE_SHOWING))
    if not has(stop_above, pyatspi.STATE_ENABLED) or has(play_movie, pyatspi.STATE_ENABLED):
        fail("Stop Above or Play Movie in the wrong state while a movie plays")
    shot = capture(1, "movie")[0]
    if shot[:2] != (WIDTH, HEIGHT) or not near(pixel(shot, 160, 120), (255, 0, 0)):
        fail("the movie does not reach the camera: %r" % (pixel(shot, 160, 120),))
    position = find(bar, pyatspi.ROLE_SLIDER, "Position")
    if position is None or not has(position, pyatspi.STATE_ENABLED):
        fail("no position slider for a movie that can seek")
    if abs(position.queryValue().maximumValue - 6000) > 100:
        fail("the slider's range: %r" % position.queryValue().maximumValue)

    # Seek: the slider set as a screen reader sets it moves the movie into its blue half at
    # once, long before it would get there by itself.
    wait_for("the movie's start", lambda: slider_value(position) < 1500)
    position.queryValue().currentValue = 4500
    wait_for("blue after the seek", lambda: near(pixel(snapshot("seek"), 160, 120), (0, 0, 255)),
             timeout=2.5)
    if slider_value(position) < 4000:
        fail("the slider after the seek: %r" % slider_value(position))

    # The end loops to the start: red again, the slider back near 0.
    wait_for("red after the end", lambda: near(pixel(snapshot("loop"), 160, 120), (255, 0, 0)),
             timeout=6)
    wait_for("the slider back at the start", lambda: slider_value(position) < 3000)

    # Pause holds the movie where it is; a second press plays on.
    pause = find(bar, pyatspi.ROLE_CHECK_BOX, "Pause") or find(bar, pyatspi.ROLE_TOGGLE_BUTTON,
                                                                   "Pause")
    if pause is None:
        fail("no Pause button: %r" % [(n.getRoleName(), n.name) for n in walk(bar)])
    press(pause)
    wait_for("the pause button pressed", lambda: has(pause, pyatspi.STATE_CHECKED))
    time.sleep(0.5)
    held = slider_value(position)
    time.sleep(1.0)
    # The pipeline settles on the frame after the pause at most: a frame, not a second.
    if abs(slider_value(position) - held) > 100:
        fail("the paused movie moved: %r then %r" % (held, slider_value(position)))
    press(pause)
    wait_for("the movie playing on", lambda: slider_value(position) > held + 300
             or slider_value(position) < held)
    if has(pause, pyatspi.STATE_CHECKED):
        fail("the pause button stays pressed")

    # A file that is no movie: told twice; the movie has gone and the camera keeps its frame.
    noise = WORK / "noise.avi"
    noise.write_bytes(b"\x42" * 4096)
    hand_over(noise)
    for caption_text, text in (("DirectShow FAILED", "Lumaghost can't render your moive file!"),
                               ("Play File Error", None)):
        alert = wait_for("the message %r" % caption_text,
                         lambda: find(app, pyatspi.ROLE_ALERT, caption_text) or
                         find(app, pyatspi.ROLE_DIALOG, caption_text))
        label = find(alert, pyatspi.ROLE_LABEL)
        if text is not None and label.name != text:
            fail("message %r: %r" % (caption_text, label.name))
        if text is None and "Can't play movie file %s" % noise not in label.name:
            fail("message %r: %r" % (caption_text, label.name))
        press(find(alert, pyatspi.ROLE_PUSH_BUTTON, "OK"))
        wait_for("the message to go", lambda: find(app, pyatspi.ROLE_ALERT, caption_text) is None
                 and find(app, pyatspi.ROLE_DIALOG, caption_text) is None)
    wait_for("the control bar to go", lambda: not has(bar, pyatspi.STATE_SHOWING))
    kept = pixel(snapshot("kept"), 160, 120)
    if not (near(kept, (255, 0, 0)) or near(kept, (0, 0, 255))):
        fail("the camera lost the movie's last frame: %r" % (kept,))

    # A directory of three wide pictures, letterboxed with the ratio kept, one a second, in
    # order, without loop: the last stays on the camera.
    pictures = WORK / "pictures"
    pictures.mkdir()
    colours = ((0, 255, 0), (0, 0, 255), (255, 255, 0))
    for name, colour in zip(("1-green.bmp", "2-blue.BMP", "3-yellow.bmp"), colours):
        write_bmp(pictures / name, colour, width=64, height=24)
    (pictures / "notes.txt").write_text("not a picture")
    (pictures / "0-folder.jpg").mkdir()
    press(find(frame, pyatspi.ROLE_MENU_ITEM, "Play All Files in Directory"))
    dialog = wait_for("Select a Directory",
                      lambda: find(app, pyatspi.ROLE_DIALOG, "Select a Directory"))
    combo = find(dialog, pyatspi.ROLE_COMBO_BOX, "Directory")
    directory = find(combo, pyatspi.ROLE_TEXT) or find(combo, pyatspi.ROLE_ENTRY)
    directory.queryEditableText().setTextContents(str(pictures))
    for box, wanted in (("Stretch", True), ("Retain Aspect Ratio", True),
                        ("Center (Letterbox/pan & scan)", False), ("Loop", False)):
        node = find(dialog, pyatspi.ROLE_CHECK_BOX, box)
        if node is None:
            fail("no check box %r" % box)
        if has(node, pyatspi.STATE_CHECKED) != wanted:
            press(node)
            wait_for("%r set" % box, lambda: has(node, pyatspi.STATE_CHECKED) == wanted)
    seconds = find(dialog, pyatspi.ROLE_SPIN_BUTTON, "Display Time(sec)")
    seconds.queryValue().currentValue = 1
    started = start_capture(3, "directory")
    time.sleep(0.3)
    shown_at = time.monotonic()
    press(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    shown = finish_capture(started, 3)
    took = time.monotonic() - shown_at
    for shot, colour in zip(shown, colours):
        # 64 x 24 in 320 x 240 with the ratio kept: 320 x 120, centred, black above and below.
        if not near(pixel(shot, 160, 120), colour) or not near(pixel(shot, 160, 30), (0, 0, 0)):
            fail("the directory's pictures in turn: %r" % ([(pixel(f, 160, 120),
                                                             pixel(f, 160, 30))
                                                            for f in shown],))
    if not 1.5 <= took <= 6:
        fail("three pictures one a second took %.1f s" % took)
    time.sleep(1.5)
    if not near(pixel(snapshot("directory-end"), 160, 120), colours[-1]):
        fail("the last picture did not stay without loop")

    # The real camera, with the ratio not kept: its red left quarter is the camera's.
    item = wait_for("the camera item", lambda: find(frame, pyatspi.ROLE_MENU_ITEM,
                                                    "Camera - Real Cam"))
    press(item)
    wait_for("Stop Above for the real camera", lambda: has(stop_above, pyatspi.STATE_ENABLED))
    shot = capture(1, "real")[0]
    if not (near(pixel(shot, 40, 120), (255, 0, 0)) and near(pixel(shot, 240, 120),
                                                              (255, 255, 255))):
        fail("the real camera's frame: %r %r" % (pixel(shot, 40, 120), pixel(shot, 240, 120)))

    # The preview: of the camera's size beside the window, clear of its menu bar, showing the
    # camera.
    press(find(frame, pyatspi.ROLE_MENU_ITEM, "Preview"))
    preview = wait_for("the preview window", lambda: top_level(app, "PreView"))
    extents = tuple(preview.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
    fx, fy, fw, fh = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    beside = extents[0] >= fx + fw or extents[0] + extents[2] <= fx or \
        extents[1] >= fy + fh or extents[1] + extents[3] <= fy
    if extents[2:] != (WIDTH, HEIGHT) or not beside:
        fail("preview extents %r beside the window's %r" % (extents, (fx, fy, fw, fh)))
    wait_for("the camera in the preview", lambda: (lambda p: near(pixel(p, 40, 120), (255, 0, 0))
                                                   and near(pixel(p, 240, 120), (255, 255, 255)))
             (screen_pixels(*extents)))
    # The Camera menu's Stop: the one beside Preview.
    press(find(frame, pyatspi.ROLE_MENU_ITEM, "Stop",
               lambda n: find(n.parent, pyatspi.ROLE_MENU_ITEM, "Preview") is not None))
    wait_for("the preview to go", lambda: not has(preview, pyatspi.STATE_SHOWING))

    # Stop Above ends the passthrough.
    press(stop_above)
    wait_for("Stop Above disabled", lambda: not has(stop_above, pyatspi.STATE_ENABLED))

    first.send_signal(signal.SIGTERM)
    if first.wait(timeout=15) != 0:
        fail("lumadesk ended with %d" % first.returncode)


if __name__ == "__main__":
    main()
