#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Runs the resampler benchmark (every path this processor runs, and libyuv's ARGBScale box filter
# where the benchmark was built with it) and Pillow's Image.resize(..., BILINEAR) on the same cases,
# one thread each, in one run (Debian's python3-pil), and prints the best time per frame of each
# over the repetitions (each the mean of many frames; the least disturbed by other work on the
# machine, taken alike for every side) and each path's share of Pillow's time.
#   bench/compare_pillow.sh [BENCHMARK] [REPETITIONS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$here/build/bench/lumaghost_bench}
repetitions=${2:-5}
/usr/bin/python3 -c "import PIL" 2>/dev/null || {
    echo "Installing python3-pil"; apt-get install -y -qq python3-pil >/dev/null
}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$bench" --benchmark_filter='^(Resample|Libyuv)' --benchmark_repetitions="$repetitions" \
    --benchmark_format=json >"$out"
/usr/bin/python3 - "$out" "$repetitions" <<'PY'
import json, sys, timeit
from PIL import Image
ours = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        name = b["run_name"]
        ours[name] = min(ours.get(name, b["real_time"]), b["real_time"])  # milliseconds
repetitions = int(sys.argv[2])
cases = [(1920,1080,640,480),(1920,1080,320,240),(1280,720,640,480),(640,480,320,240),
         (320,240,640,480),(400,100,320,80),(320,240,136,102)]
paths = [("Avx512", 0.10), ("Avx2", 0.15), ("Scalar", None)]
nan = float("nan")
head = f"{'case':20}" + "".join(f" {p + ' ms':>10}" for p, _ in paths)
head += f" {'libyuv ms':>10} {'Pillow ms':>10}" + "".join(f" {p + '/Pil':>10}" for p, _ in paths)
head += f" {'libyuv/Pil':>10}"
print(head)
worst = {p: 0.0 for p, _ in paths}
for sw, sh, dw, dh in cases:
    im = Image.frombytes("RGB", (sw, sh), bytes((i * 7) % 251 for i in range(sw * sh * 3)))
    n = max(5, int(200000 / (sw * sh) * 10))
    # The best of as many repetitions as the benchmark's, each the mean of n resizes.
    pillow = min(
        timeit.repeat(lambda: im.resize((dw, dh), Image.BILINEAR), number=n,
                      repeat=repetitions)) / n * 1000
    size = f"{sw}x{sh}/{dw}x{dh}"
    times = [ours.get(f"Resample{p}/{size}", nan) for p, _ in paths]
    yuv = ours.get(f"LibyuvBox/{size}", nan)
    line = f"{size:20}" + "".join(f" {t:10.3f}" for t in times) + f" {yuv:10.3f} {pillow:10.3f}"
    line += "".join(f" {t / pillow:10.3f}" for t in times) + f" {yuv / pillow:10.3f}"
    print(line)
    for (p, _), t in zip(paths, times):
        if t == t:
            worst[p] = max(worst[p], t / pillow)
for p, goal in paths:
    if f"Resample{p}/1920x1080/640x480" in ours:
        print(f"{p}: worst share of Pillow's time {worst[p]:.3f}" +
              (f" (goal: at most {goal:.2f})" if goal else ""))
big = ours.get("Resample/1920x1080/640x480")
if big is not None:
    print(f"1920x1080 -> 640x480 on the path resampleImage takes: {big:.3f} ms (goal: under 0.9 ms)")
PY
