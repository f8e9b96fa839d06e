// SPDX-License-Identifier: LGPL-2.1-or-later
// Time per frame of the resampler on the video sizes that matter, one thread, on each path this
// processor runs. Cases are named Resample<Path>/<sw>x<sh>/<dw>x<dh> (Resample/ for the path
// resampleImage takes); compare_pillow.sh runs Pillow (and libyuv, where built) beside them.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frames/resampler.h"

#ifdef LUMAGHOST_LIBYUV
#include <libyuv/scale_argb.h>
#endif

namespace {

using lumaghost::ResamplePath;

void resample(benchmark::State &state, int sw, int sh, int dw, int dh, ResamplePath path) {
    std::vector<uint8_t> src(size_t(sw) * sh * 4), dst(size_t(dw) * dh * 4);
    std::mt19937 rng(1);
    for (auto &b : src)
        b = static_cast<uint8_t>(rng());
    for (auto _ : state) {
        lumaghost::resampleImageWith(path, src.data(), sw, sh, dst.data(), dw, dh);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

#ifdef LUMAGHOST_LIBYUV
// libyuv's box filter on the same 32-bit images, one thread.
void libyuvBox(benchmark::State &state, int sw, int sh, int dw, int dh) {
    std::vector<uint8_t> src(size_t(sw) * sh * 4), dst(size_t(dw) * dh * 4);
    std::mt19937 rng(1);
    for (auto &b : src)
        b = static_cast<uint8_t>(rng());
    for (auto _ : state) {
        libyuv::ARGBScale(src.data(), sw * 4, sw, sh, dst.data(), dw * 4, dw, dh,
                          libyuv::kFilterBox);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
#endif

const int kCases[][4] = {
    {1920, 1080, 640, 480}, {1920, 1080, 320, 240}, {1280, 720, 640, 480}, {640, 480, 320, 240},
    {320, 240, 640, 480},   {400, 100, 320, 80},    {320, 240, 136, 102},
};

int registerAll() {
    for (const auto &c : kCases) {
        const std::string size = std::to_string(c[0]) + "x" + std::to_string(c[1]) + "/" +
                                 std::to_string(c[2]) + "x" + std::to_string(c[3]);
        benchmark::RegisterBenchmark(("Resample/" + size).c_str(), resample, c[0], c[1], c[2], c[3],
                                     lumaghost::activeResamplePath())
            ->Unit(benchmark::kMillisecond);
        for (auto [name, path] : {std::pair{"ResampleAvx512/", ResamplePath::Avx512},
                                  std::pair{"ResampleAvx2/", ResamplePath::Avx2},
                                  std::pair{"ResampleScalar/", ResamplePath::Scalar}}) {
            if (!lumaghost::resamplePathAvailable(path))
                continue;
            benchmark::RegisterBenchmark((name + size).c_str(), resample, c[0], c[1], c[2], c[3],
                                         path)
                ->Unit(benchmark::kMillisecond);
        }
#ifdef LUMAGHOST_LIBYUV
        benchmark::RegisterBenchmark(("LibyuvBox/" + size).c_str(), libyuvBox, c[0], c[1], c[2],
                                     c[3])
            ->Unit(benchmark::kMillisecond);
#endif
    }
    return 0;
}
const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
