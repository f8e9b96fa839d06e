#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds targets with the compiler's lines in a log file: prints the progress at each quarter
# and the time taken, or, when the build fails, its errors and the log's name.
#
#   quiet-build.sh BUILD_DIR JOBS TARGET...
set -uo pipefail
build=$1 jobs=$2
shift 2
log=$build/build.log
started=$(date +%s)
echo "Building $* (log: $log)"
cmake --build "$build" -j "$jobs" --target "$@" 2>&1 | tee "$log" |
    awk 'BEGIN { mark = 25 }
         /^\[ *[0-9]+%\]/ {
             p = substr($0, 2, index($0, "%") - 2) + 0
             for (; p >= mark && mark < 100; mark += 25) print "  " mark "%"
             fflush()
         }'
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    if grep -q -E 'error|Error [0-9]' "$log"; then
        grep -E -A3 'error|Error [0-9]' "$log" | head -n 40 >&2
    else
        tail -n 20 "$log" >&2
    fi
    echo "The build failed; its whole output is in $log" >&2
    exit "$status"
fi
elapsed=$(($(date +%s) - started))
echo "Built in $((elapsed / 60)) min $((elapsed % 60)) s"
