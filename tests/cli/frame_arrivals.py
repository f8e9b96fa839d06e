#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Counts the frames a PipeWire camera consumer gets from each of the nodes named, at once.

    frame_arrivals.py SECONDS NODE...

One pipewiresrc per node, as a video-call program opens a camera, into a sink that takes every
buffer as it comes (no clock). Once every node has sent a frame and a short warm-up has passed,
the arrival times of the buffers are taken over SECONDS. A line per node:

    NODE frames=N fps=F gaps=G longest=MS

gaps counts the pauses between two frames (or from the last frame to the end of the window)
longer than GAP_MS (50 ms: a period and a half at 30 frames/s); longest is the longest pause.
"""
import sys
import threading
import time

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402

GAP_MS = 50
WARM_UP = 2.0
FIRST_FRAME_TIMEOUT = 30.0


class Consumer:
    def __init__(self, node):
        self.node = node
        self.arrivals = []
        self.lock = threading.Lock()  # guards arrivals
        self.pipeline = Gst.parse_launch(
            "pipewiresrc name=source ! video/x-raw ! fakesink name=sink sync=false async=false")
        source = self.pipeline.get_by_name("source")
        source.set_property("target-object", node)
        source.set_property("stream-properties", Gst.Structure.new_from_string(
            "props,media.type=Video,media.category=Capture,media.role=Camera"))
        pad = self.pipeline.get_by_name("sink").get_static_pad("sink")
        pad.add_probe(Gst.PadProbeType.BUFFER, self.on_buffer)

    def on_buffer(self, pad, info):
        now = time.monotonic()
        with self.lock:
            self.arrivals.append(now)
        return Gst.PadProbeReturn.OK

    def times(self):
        with self.lock:
            return list(self.arrivals)

    def check_bus(self):
        message = self.pipeline.get_bus().pop_filtered(Gst.MessageType.ERROR | Gst.MessageType.EOS)
        if message is None:
            return
        if message.type == Gst.MessageType.EOS:
            sys.exit(f"{self.node}: the stream ended")
        error, debug = message.parse_error()
        sys.exit(f"{self.node}: {error.message} ({debug})")


def figures(arrivals, start, end):
    """Frames, frames per second, gaps and the longest pause in milliseconds within the window."""
    inside = [t for t in arrivals if start < t <= end]
    before = [t for t in arrivals if t <= start]
    edges = ([before[-1]] if before else [start]) + inside + [end]
    pauses = [(b - a) * 1000 for a, b in zip(edges, edges[1:])]
    gaps = sum(1 for p in pauses if p > GAP_MS)
    return len(inside), len(inside) / (end - start), gaps, max(pauses)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    seconds = float(sys.argv[1])
    Gst.init(None)
    consumers = [Consumer(node) for node in sys.argv[2:]]
    for c in consumers:
        if c.pipeline.set_state(Gst.State.PLAYING) == Gst.StateChangeReturn.FAILURE:
            sys.exit(f"{c.node}: the consumer did not start")
    deadline = time.monotonic() + FIRST_FRAME_TIMEOUT
    while not all(c.times() for c in consumers):
        for c in consumers:
            c.check_bus()
        if time.monotonic() > deadline:
            silent = [c.node for c in consumers if not c.times()]
            sys.exit(f"no frame within {FIRST_FRAME_TIMEOUT:.0f} s from {' '.join(silent)}")
        time.sleep(0.05)
    time.sleep(WARM_UP)
    start = time.monotonic()
    while time.monotonic() < start + seconds:
        for c in consumers:
            c.check_bus()
        time.sleep(0.1)
    end = time.monotonic()
    for c in consumers:
        frames, fps, gaps, longest = figures(c.times(), start, end)
        print(f"{c.node} frames={frames} fps={fps:.2f} gaps={gaps} longest={longest:.0f}",
              flush=True)
    for c in consumers:
        c.pipeline.set_state(Gst.State.NULL)


if __name__ == "__main__":
    main()
