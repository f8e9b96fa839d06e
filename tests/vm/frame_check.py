#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""What a V4L2 reader got: frames in a raw RGB file, their rate from the reader's log, and the
colour of the last frame's middle.

    frame_check.py RGBFILE LOG ffmpeg|gst WIDTHxHEIGHT R,G,B MIN_FRAMES MIN_FPS MAX_FPS

The rate comes from the arrival times the reader logged (ffmpeg: showinfo's pts_time with
wall-clock timestamps; gst-launch -v: identity's pts with do-timestamp), first to last frame,
so the reader's own start-up does not count. Colour tolerance covers YUV rounding.
"""
import re
import sys

TOLERANCE = 12


def arrival_times(log, kind):
    text = open(log, errors="replace").read()
    if kind == "ffmpeg":
        return [float(t) for t in re.findall(r"\] n:\s*\d+ pts:\s*\d+ pts_time:([0-9.]+)", text)]
    times = []
    for h, m, s in re.findall(r"chain .*?pts: (\d+):(\d\d):(\d\d\.\d+)", text):
        times.append(int(h) * 3600 + int(m) * 60 + float(s))
    return times


def main():
    path, log, kind, size, colour, min_frames, min_fps, max_fps = sys.argv[1:9]
    width, height = (int(v) for v in size.split("x"))
    want = [int(v) for v in colour.split(",")]
    frame = width * height * 3
    data = open(path, "rb").read()
    frames = len(data) // frame
    times = arrival_times(log, kind)
    fps = (len(times) - 1) / (times[-1] - times[0]) if len(times) > 1 and times[-1] > times[0] else 0.0
    got = [0, 0, 0]
    if frames:
        last = data[(frames - 1) * frame:frames * frame]
        n = 0
        for y in range(height // 4, 3 * height // 4, 4):
            for x in range(width // 4, 3 * width // 4, 4):
                i = (y * width + x) * 3
                for c in range(3):
                    got[c] += last[i + c]
                n += 1
        got = [round(v / n) for v in got]
    ok = (frames >= int(min_frames) and float(min_fps) <= fps <= float(max_fps)
          and all(abs(g - w) <= TOLERANCE for g, w in zip(got, want)))
    print(f"{frames} frames, {fps:.1f} fps over {len(times)} arrivals, colour {tuple(got)}"
          f" (sent {tuple(want)})")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
