#!/usr/bin/env bash
# Runs the resampler benchmark and Pillow's Image.resize(..., BILINEAR) on the same cases, one
# thread each, in one run (Debian's python3-pil), and prints the time per frame and our share of Pillow's time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$here/build/bench/lumaghost_bench}
/usr/bin/python3 -c "import PIL" 2>/dev/null || {
    echo "Installing python3-pil"; apt-get install -y -qq python3-pil >/dev/null
}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$bench" --benchmark_filter='^Resample' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$out"
/usr/bin/python3 - "$out" <<'PY'
import json, sys, timeit
from PIL import Image
ours = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"]] = b["real_time"]  # milliseconds
cases = [(1920,1080,640,480),(1920,1080,320,240),(1280,720,640,480),(640,480,320,240),
         (320,240,640,480),(400,100,320,80),(320,240,136,102)]
print(f"{'case':30} {'ours ms':>9} {'scalar ms':>9} {'Pillow ms':>9} {'ours/Pillow':>11}")
worst = 0
for sw, sh, dw, dh in cases:
    im = Image.frombytes("RGB", (sw, sh), bytes((i * 7) % 251 for i in range(sw * sh * 3)))
    n = max(5, int(200000 / (sw * sh) * 10))
    pillow = min(timeit.repeat(lambda: im.resize((dw, dh), Image.BILINEAR), number=n, repeat=5)) / n * 1000
    name = f"Resample/{sw}x{sh}/{dw}x{dh}"
    mine, scalar = ours[name], ours.get(f"ResampleScalar/{sw}x{sh}/{dw}x{dh}", float("nan"))
    ratio = mine / pillow
    worst = max(worst, ratio)
    print(f"{name:30} {mine:9.3f} {scalar:9.3f} {pillow:9.3f} {ratio:11.2f}")
print(f"worst ratio {worst:.2f} (goal: at most 0.33)")
PY
