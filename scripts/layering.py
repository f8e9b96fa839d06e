#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The folders of the source tree, lowest first, and what each of them reaches into.

    layering.py check [ROOT]   fails when a folder includes a folder above it, folders include
                               one another in a cycle, a CMake target links a target above it,
                               an include does not name its folder, or a folder with sources
                               is missing from the order below
    layering.py dot [ROOT]     prints the folder include graph for graphviz (see include-graph.sh)

Includes are the quoted ones ("camera/camera_link.h"). An include that does not name a file
from the root is looked up beside the including file and then by its file name anywhere in
the tree, so older trees can be drawn too.
"""

import os
import re
import sys
from collections import defaultdict

# Libraries, lowest first: a library may reach only into the ones before it. The folders of one
# entry are side by side: they reach into what is below them, never into one another.
LIBRARIES = [
    "platform",  # registry hives, paths, device tree, result codes, POSIX and V4L2 helpers
    "device",    # the Lumaghost device: frame channel and property channel
    "camera",    # camera link, capture-device interfaces, device discovery, frame reader
    "frames",    # pure image code: resampler, fit geometry, composition, conversions, pictures
    "media",     # sequence files and the stored image
    "lang",      # language packs
    "gst",       # the GStreamer elements and the media graphs
    "setup",     # the device installer
    "service",   # the play service and its platform
    # The desktop application, in feature folders.
    "desk/model",    # commands, settings, recent lists, messages, paths, the part interfaces
    "desk/service",  # the play service as the desktop controls it
    "desk/picture",  # the picture part
    ("desk/sequence", "desk/media", "desk/dialogs"),  # the other parts, their widgets, dialogs
    "desk/window",   # the main window, the command router, the document and the view
    "desk/app",      # start-up, single instance, shell registration, the real environment
]
# Folders ranked by their sub-folders (the first part of a path names the folder).
GROUPS = {"programs", "desk"}
# Programs: each may reach into every library, never into another program.
PROGRAMS = [
    "programs/lumacam",
    "programs/lumaserv",
    "programs/lumasetup",
    "programs/lumadesk",
]
# Folders that use the libraries without being part of the layering.
CONSUMERS = ["tests", "bench", "fuzz"]
IGNORED = {".git", "res", "scripts", ".ci", ".cache", ".run-root"}

SOURCE = re.compile(r".*\.(h|hpp|c|cc|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    parts = path.split("/")
    if parts[0] in GROUPS and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0] if len(parts) > 1 else "."


def ranked_folders():
    out = []
    for entry in LIBRARIES:
        out += [entry] if isinstance(entry, str) else list(entry)
    return out


def rank(folder):
    for i, entry in enumerate(LIBRARIES):
        if folder == entry or (not isinstance(entry, str) and folder in entry):
            return i
    if folder in PROGRAMS:
        return len(LIBRARIES)
    # A group's own CMakeLists.txt ranks as its lowest folder.
    below = [rank(f) for f in ranked_folders() if f.startswith(folder + "/")]
    return min(below) if below else None


def sources(root):
    out = []
    for top in sorted(os.listdir(root)):
        if top in IGNORED or top.startswith("build") or not os.path.isdir(os.path.join(root, top)):
            continue
        for base, dirs, files in os.walk(os.path.join(root, top)):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            for name in sorted(files):
                if SOURCE.match(name):
                    out.append(os.path.relpath(os.path.join(base, name), root))
    return out


def includes(root, files):
    """(file, included file, named by path) for every quoted include that names a source file."""
    by_name = defaultdict(list)
    for f in files:
        by_name[os.path.basename(f)].append(f)
    found = []
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            names = INCLUDE.findall(text.read())
        for name in names:
            if os.path.isfile(os.path.join(root, name)):
                found.append((f, os.path.normpath(name), True))
                continue
            beside = os.path.normpath(os.path.join(os.path.dirname(f), name))
            if beside in files:
                found.append((f, beside, False))
                continue
            candidates = by_name.get(os.path.basename(name), [])
            same = [c for c in candidates if folder_of(c) == folder_of(f)]
            if same or candidates:
                found.append((f, (same or candidates)[0], False))
    return found


def folder_graph(root):
    files = sources(root)
    edges = defaultdict(set)  # folder -> folders it includes
    for f, target, _ in includes(root, files):
        a, b = folder_of(f), folder_of(target)
        if a != b:
            edges[a].add(b)
    folders = sorted({folder_of(f) for f in files})
    return folders, edges


def cycles(folders, edges):
    """The strongly connected components of more than one folder (Tarjan)."""
    index, low, stack, on, out = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                out.append(sorted(component))

    for v in folders:
        if v not in index:
            visit(v)
    return out


def upward(a, b):
    """Whether folder a including folder b reaches upwards (or sideways between programs)."""
    ra, rb = rank(a), rank(b)
    if ra is None or rb is None:
        return False
    if a in PROGRAMS and b in PROGRAMS:
        return True
    return rb >= ra and a != b


def cmake_problems(root):
    """Targets that link a target of a folder above their own."""
    target_folder = {}
    lists = []
    groups = sorted({f.split("/")[0] for f in ranked_folders() if "/" in f})
    for folder in ranked_folders() + groups + PROGRAMS:
        path = os.path.join(root, folder, "CMakeLists.txt")
        if not os.path.isfile(path):
            continue
        with open(path, encoding="utf-8") as f:
            text = re.sub(r"#.*", "", f.read())
        lists.append((folder, text))
        for name in re.findall(r"add_(?:library|executable)\(\s*([\w-]+)", text):
            target_folder[name] = folder
    problems = []
    for folder, text in lists:
        for call in re.findall(r"target_link_libraries\(([^)]*)\)", text):
            words = call.split()
            for word in words[1:]:
                other = target_folder.get(word)
                if other and other != folder and upward(folder, other):
                    problems.append(f"{folder}/CMakeLists.txt: {words[0]} links {word} of {other}/")
    return problems


def check(root):
    files = sources(root)
    problems = []
    folders = sorted({folder_of(f) for f in files})
    for folder in folders:
        if rank(folder) is None and folder.split("/")[0] not in CONSUMERS:
            problems.append(f"{folder}/ holds sources but is not in the declared order")
    edges = defaultdict(set)
    for f, target, by_path in includes(root, files):
        if not by_path:
            problems.append(f"{f}: includes {target} without naming its folder")
        a, b = folder_of(f), folder_of(target)
        if a == b:
            continue
        edges[a].add(b)
        if upward(a, b):
            problems.append(f"{f}: {a}/ includes {target} of {b}/, which is not below it")
    for component in cycles(folders, edges):
        problems.append("folders include one another: " + " ".join(component))
    problems += cmake_problems(root)
    for p in problems:
        print(p, file=sys.stderr)
    if not problems:
        print(f"Layering holds: {len([f for f in folders if rank(f) is not None])} folders, "
              f"{sum(len(v) for v in edges.values())} folder includes")
    return 1 if problems else 0


def dot(root):
    folders, edges = folder_graph(root)
    drawn = [f for f in folders if f.split("/")[0] not in CONSUMERS and f != "."]
    bad = set()
    for component in cycles(drawn, {k: v for k, v in edges.items() if k in drawn}):
        for a in component:
            bad |= {(a, b) for b in edges.get(a, ()) if b in component}
    lines = [
        "digraph includes {",
        "  rankdir=TB;",
        '  node [shape=box, style="rounded,filled", fontname="Helvetica", fillcolor="#eef3fb"];',
        '  edge [color="#555555"];',
    ]
    for f in drawn:
        colour = "#fbeee0" if f.startswith("programs/") else (
            "#eef3fb" if rank(f) is not None else "#f3f3f3")
        lines.append(f'  "{f}" [fillcolor="{colour}"];')
    # Folders of one rank side by side, programs on top.
    for r in sorted({rank(f) for f in drawn if rank(f) is not None}):
        same = [f for f in drawn if rank(f) == r]
        lines.append("  { rank=same; " + " ".join(f'"{f}";' for f in same) + " }")
    for a in drawn:
        for b in sorted(edges.get(a, ())):
            if b not in drawn:
                continue
            wrong = (a, b) in bad or upward(a, b)
            style = ' [color="#d62728", penwidth=2]' if wrong else ""
            lines.append(f'  "{a}" -> "{b}"{style};')
    lines.append("}")
    print("\n".join(lines))
    return 0


def main(argv):
    if len(argv) < 2 or argv[1] not in ("check", "dot"):
        print(__doc__, file=sys.stderr)
        return 2
    root = argv[2] if len(argv) > 2 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    return check(root) if argv[1] == "check" else dot(root)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
