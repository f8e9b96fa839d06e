#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The licence line of every source file: its SPDX identifier, on the first line (after a #! line).

    licence_headers.py check [ROOT]   fails naming each source file without the line
    licence_headers.py apply [ROOT]   adds the line where it is missing

Source files: C++ (.cpp, .h, .h.in) with a // line; CMake files, the Makefile, Python and shell
scripts (any file that starts with #!) and bash completions with a # line. Resources, documents and the fuzz corpora
are not sources.
"""

import os
import sys

LICENSE = "LGPL-2.1-or-later"
IGNORED = {".git", "res", "docs", "corpus", "corpus-lang", ".cache", ".run-root"}
CXX = (".cpp", ".h", ".h.in")
HASH = (".py", ".sh", ".cmake")
HASH_NAMES = {"CMakeLists.txt", "Makefile"}
HASH_DIRS = ("packaging/completion",)  # bash completion scripts, sourced


def comment_of(root, path):
    """The comment lead of a source file, or None when it is not one."""
    name = os.path.basename(path)
    if name.endswith(CXX):
        return "//"
    if name.endswith(HASH) or name in HASH_NAMES or os.path.relpath(path, root).startswith(HASH_DIRS):
        return "#"
    with open(path, "rb") as f:
        return "#" if f.read(2) == b"#!" else None


def sources(root):
    for base, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d not in IGNORED and not d.startswith("build"))
        for name in sorted(files):
            path = os.path.join(base, name)
            lead = comment_of(root, path)
            if lead:
                yield os.path.relpath(path, root), lead


def line_of(lead):
    return f"{lead} SPDX-License-Identifier: {LICENSE}\n"


def split(text):
    """(the #! line or "", the rest)."""
    if text.startswith("#!"):
        end = text.find("\n") + 1 or len(text)
        return text[:end], text[end:]
    return "", text


def main(argv):
    if len(argv) < 2 or argv[1] not in ("check", "apply"):
        print(__doc__, file=sys.stderr)
        return 2
    root = argv[2] if len(argv) > 2 else "."
    missing = []
    for rel, lead in sources(root):
        path = os.path.join(root, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        shebang, rest = split(text)
        if rest.startswith(line_of(lead)):
            continue
        if argv[1] == "check":
            missing.append(rel)
            continue
        with open(path, "w", encoding="utf-8") as f:
            f.write(shebang + line_of(lead) + rest)
    for rel in missing:
        print(f"{rel}: no '{line_of('').strip()}' line at the top", file=sys.stderr)
    if argv[1] == "check" and not missing:
        print(f"Every source file names its licence ({LICENSE})")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
