# SPDX-License-Identifier: LGPL-2.1-or-later
"""What the AT-SPI drivers of lumadesk share: waiting, finding nodes by role and caption as a
screen reader reads them, states and actions."""

import subprocess
import sys
import time

import pyatspi

# How long wait_for waits unless told; a driver may set its own.
WAIT_SECONDS = 20.0


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, timeout=None):
    """Returns the first true result of probe(), failing after timeout seconds."""
    deadline = time.monotonic() + (WAIT_SECONDS if timeout is None else timeout)
    while True:
        try:
            result = probe()
        except Exception:  # the tree changes under us; ask again
            result = None
        if result:
            return result
        if time.monotonic() > deadline:
            fail("timed out waiting for " + what)
        time.sleep(0.05)


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def caption(node):
    """The name as a menu shows it, without its key label."""
    return (node.name or "").split("\t")[0].strip()


def find(root, role, name=None, where=None):
    root.clear_cache()
    for node in walk(root):
        if node.getRole() == role and (name is None or caption(node) == name) and (
                where is None or where(node)):
            return node
    return None


def has(node, state):
    node.clear_cache()
    return node.getState().contains(state)


def press(node):
    node.queryAction().doAction(0)


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def drive_lumadesk(lumadesk, log_path, run, name):
    """Starts lumadesk with its output in log_path, hands the process to run(), kills it if
    it is still there afterwards and prints how long the drive took."""
    began = time.monotonic()
    with open(log_path, "w") as log:
        first = subprocess.Popen([lumadesk], stdout=log, stderr=subprocess.STDOUT)
        try:
            run(first)
        finally:
            if first.poll() is None:
                first.kill()
                first.wait()
    print("%s: %.1f s" % (name, time.monotonic() - began))
