#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Walks lumadesk in a German session (LANG=de_DE.UTF-8, no settings yet) through AT-SPI and
fails on any English word a screen reader would read. Without a camera: the missing-camera
message, the window in both modes with its menus and bars, the Setup and About dialogs, the
Open file dialog and the help message. With one: the window, the directory dialog and its
Browse file dialog, the Play Movie file dialog and the real-camera dialog.

Run by atspi_german.sh, which provides the X server, the session bus and the accessibility bus.
A word is English when the English word list has it and the German one does not; proper names
and the terms German uses as they are stand in a short list. Paths, file names, numbers and
lines that are commands to type are left out. Every text checked is added to WORK/texts.txt.
"""

import os
import pathlib
import re
import subprocess
import sys

import pyatspi

sys.dont_write_bytecode = True  # nothing written beside the sources
from atspi_common import application, caption, fail, find, has, press, wait_for, walk  # noqa: E402
import atspi_common  # noqa: E402

LUMADESK = os.path.abspath(sys.argv[1])
WORK = pathlib.Path(sys.argv[2])
# "none": no camera is installed; "camera": one is.
CAMERA = sys.argv[3]

# Names, and words German takes over as they are.
ALLOWED = {
    "lumaghost", "lumadesk", "quillmoor", "directshow", "polkit", "lumasetup", "lumaserv",
    "lgpl", "beta", "build", "ok", "num", "sudo", "apt", "cd", "root", "letterbox", "pan", "scan",
    "microsoft", "media", "copyright", "homepage", "support", "example", "ms",
    # File types.
    "avi", "mpeg", "asf", "wmv", "bmp", "dib", "emf", "gif", "ico", "jpg", "png", "wmf", "lgs",
}


def word_list(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return {line.strip().lower() for line in f if line.strip()}


ENGLISH = word_list("/usr/share/dict/american-english")
GERMAN = word_list("/usr/share/dict/ngerman")
checked = []


# Whole texts that are names: each language names itself in the Setup dialog's list.
ALLOWED_TEXTS = {"English"}


def english_words(text):
    found = []
    if text in ALLOWED_TEXTS:
        return found
    # A line that is a command to type in stays as it is typed.
    words = " ".join(line for line in text.splitlines()
                     if not re.match(r"\s*(sudo|cd) ", line))
    for token in words.split():
        # Paths, file names, addresses and key labels with digits are not words.
        if re.search(r"[/.@\\0-9_]", token.strip(".,:;!?()\"'")):
            continue
        for word in re.findall(r"[A-Za-zÄÖÜäöüß]+", token):
            lower = word.lower()
            if len(word) < 2 or lower in ALLOWED:
                continue
            if lower in ENGLISH and lower not in GERMAN:
                found.append(word)
    return found


def texts_of(node):
    """What a screen reader reads of a node: its name, its description (a tool tip where the
    widget has one), and the text of a label or a read-only text."""
    node.clear_cache()
    out = [node.name or "", node.description or ""]
    if node.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC):
        try:
            text = node.queryText()
            out.append(text.getText(0, text.characterCount))
        except NotImplementedError:
            pass
    return [t for t in out if t]


def check(root, where):
    """Fails with every English word of the tree under root."""
    problems = []
    for node in walk(root):
        for text in texts_of(node):
            checked.append("%s\t%s\t%s" % (where, node.getRoleName(), text.replace("\n", "\\n")))
            words = english_words(text)
            if words:
                problems.append("%s %r: %s" % (node.getRoleName(), text, ", ".join(words)))
    if problems:
        fail("English in %s:\n  %s" % (where, "\n  ".join(problems)))
    print("%s: German" % where)


def dialog_named(app, name):
    return wait_for("the dialog %r" % name,
                    lambda: find(app, pyatspi.ROLE_DIALOG, name) or
                    find(app, pyatspi.ROLE_FILE_CHOOSER, name))


def gone(app, name):
    wait_for("the dialog %r to go" % name,
             lambda: find(app, pyatspi.ROLE_DIALOG, name) is None and
             find(app, pyatspi.ROLE_FILE_CHOOSER, name) is None)


def menu_item(frame, name):
    item = find(frame, pyatspi.ROLE_MENU_ITEM, name, lambda n: n.childCount == 0)
    if item is None:
        fail("no menu item %r" % name)
    return item


def file_dialog(app, title):
    """Checks a Qt file dialog and cancels it; a title of None takes the dialog there is."""
    dialog = wait_for("the file dialog %r" % title,
                      lambda: find(app, pyatspi.ROLE_FILE_CHOOSER) or
                      find(app, pyatspi.ROLE_DIALOG, title))
    wait_for("the file dialog's buttons",
             lambda: find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Abbrechen"))
    check(dialog, "file dialog %r" % dialog.name)
    press(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Abbrechen"))
    wait_for("the file dialog to go",
             lambda: find(app, pyatspi.ROLE_FILE_CHOOSER) is None and
             find(app, pyatspi.ROLE_DIALOG, dialog.name) is None)


def alert(app, what):
    return wait_for(what, lambda: find(app, pyatspi.ROLE_ALERT))


def dismiss(app, box):
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"))
    wait_for("the message to go", lambda: find(app, pyatspi.ROLE_ALERT) is None)


def checked_dialog(app, frame, item, title, button, where):
    """Opens the dialog TITLE by the menu ITEM, checks its texts and closes it by BUTTON."""
    press(menu_item(frame, item))
    box = dialog_named(app, title)
    check(box, where)
    press(find(box, pyatspi.ROLE_PUSH_BUTTON, button))
    gone(app, title)


def run_without_camera(first):
    app = wait_for("lumadesk on the accessibility bus", lambda: application(first.pid))

    # No camera: the message says so in German, and what to do.
    box = alert(app, "the missing-camera message")
    text = find(box, pyatspi.ROLE_LABEL).name
    if not text.startswith("Lumaghost-Treiber nicht gefunden.") or "\n" not in text.strip():
        fail("missing-camera message %r" % text)
    check(box, "the missing-camera message")
    dismiss(app, box)

    frame = wait_for("the window", lambda: find(app, pyatspi.ROLE_FRAME))
    check(frame, "the window")

    # Sequence mode: the sequence toolbar, the strip and the display-time bar.
    sequence = menu_item(frame, "Sequenz")
    press(sequence)
    wait_for("sequence mode", lambda: has(sequence, pyatspi.STATE_CHECKED))
    check(frame, "the window in sequence mode")
    press(sequence)
    wait_for("picture mode", lambda: not has(sequence, pyatspi.STATE_CHECKED))

    checked_dialog(app, frame, "Einstellungen", "Einstellungen", "Abbrechen", "Setup")
    checked_dialog(app, frame, "Info über Lumaghost...", "Info über Lumadesk", "OK", "About")

    press(menu_item(frame, "Öffnen..."))
    file_dialog(app, "Datei öffnen")

    # No program shows the help here (no xdg-open on lumadesk's PATH): a message says so.
    press(menu_item(frame, "Hilfethemen"))
    box = alert(app, "the help message")
    check(box, "the help message")
    dismiss(app, box)

    check(frame, "the window at the end")
    quit(first, frame)


def run_with_camera(first):
    app = wait_for("lumadesk on the accessibility bus", lambda: application(first.pid))
    frame = wait_for("the window", lambda: find(app, pyatspi.ROLE_FRAME))
    play_movie = menu_item(frame, "Film abspielen")
    wait_for("the camera's commands", lambda: has(play_movie, pyatspi.STATE_ENABLED))
    if find(app, pyatspi.ROLE_ALERT) is not None:
        fail("a message with the camera installed")
    check(frame, "the window with a camera")

    press(menu_item(frame, "Alle Dateien im Verzeichnis abspielen"))
    directory = dialog_named(app, "Verzeichnis auswählen")
    check(directory, "Select a Directory")
    press(find(directory, pyatspi.ROLE_PUSH_BUTTON, "Durchsuchen"))
    file_dialog(app, "Medienverzeichnis auswählen")
    press(find(directory, pyatspi.ROLE_PUSH_BUTTON, "Abbrechen"))
    gone(app, "Verzeichnis auswählen")

    press(play_movie)
    file_dialog(app, None)

    checked_dialog(app, frame, "Echte Kamera einrichten", "Echte Kamera einrichten", "OK",
                   "Setup Real Camera")

    check(frame, "the window with a camera at the end")
    quit(first, frame)


def quit(first, frame):
    press(menu_item(frame, "Beenden"))
    if first.wait(timeout=15) != 0:
        fail("lumadesk ended with %d" % first.returncode)


def main():
    # The empty folder is where the file dialogs start; nothing on PATH opens help pages.
    os.chdir(WORK / "leer")
    os.environ["PATH"] = str(WORK / "bin")
    try:
        run = run_with_camera if CAMERA == "camera" else run_without_camera
        atspi_common.drive_lumadesk(LUMADESK, WORK / ("lumadesk-%s.log" % CAMERA), run,
                                    "atspi_german.py " + CAMERA)
    finally:
        with open(WORK / "texts.txt", "a", encoding="utf-8") as f:
            f.write("\n".join(checked) + "\n")


if __name__ == "__main__":
    main()
