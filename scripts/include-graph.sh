#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Draws which folder includes which (the quoted includes of every library and program) as a
# PNG, lowest folders at the bottom; an include that reaches upwards or closes a cycle is red.
# Needs graphviz (dot).
#
#   scripts/include-graph.sh [OUTPUT.png] [SOURCE-ROOT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-include-graph.png}
root=${2:-$here/..}
command -v dot >/dev/null || { echo "include-graph.sh: dot not found (install graphviz)" >&2; exit 1; }
python3 "$here/layering.py" dot "$root" | dot -Tpng -o "$out"
echo "include-graph.sh: wrote $out"
