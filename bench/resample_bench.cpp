// SPDX-License-Identifier: LGPL-2.1-or-later
// Time per frame of the resampler on the video sizes that matter, one thread, on each path this
// processor runs. Cases are named Resample<Path>/<sw>x<sh>/<dw>x<dh> (Resample/ for the path
// resampleImage takes); compare_pillow.sh runs Pillow (and libyuv, where built) beside them.
// Planar<Path>/<layout>/... scale and convert a decoder's 4:2:0 frame into camera rows in one
// pass (the renderer's movie path), beside libyuv's I420Scale then I420ToRGB24 where built.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frames/planar_scaler.h"
#include "frames/resampler.h"

#ifdef LUMAGHOST_LIBYUV
#include <libyuv/convert_argb.h>
#include <libyuv/scale.h>
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

// A random 4:2:0 frame, its planes packed one after the other.
std::vector<uint8_t> planarNoise(int w, int h) {
    std::vector<uint8_t> v(size_t(w) * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2));
    std::mt19937 rng(2);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

lumaghost::PlanarFrame planarFrame(const std::vector<uint8_t> &bytes, lumaghost::PlanarLayout l,
                                   int w, int h) {
    lumaghost::PlanarFrame f;
    f.layout = l;
    f.width = w;
    f.height = h;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    f.planes[0] = bytes.data();
    f.planes[1] = bytes.data() + size_t(w) * h;
    f.planes[2] = f.planes[1] + size_t(cw) * ch;
    f.strides[0] = w;
    f.strides[1] = l == lumaghost::PlanarLayout::Nv12 ? 2 * cw : cw;
    f.strides[2] = cw;
    f.colours = {0.2126, 0.0722, false};
    return f;
}

void planar(benchmark::State &state, lumaghost::PlanarLayout layout, int sw, int sh, int dw, int dh,
            lumaghost::PlanarPath path) {
    const auto bytes = planarNoise(sw, sh);
    const lumaghost::PlanarFrame frame = planarFrame(bytes, layout, sw, sh);
    std::vector<uint8_t> dst(size_t(dw) * dh * 3);
    lumaghost::PlanarScaler scaler;
    scaler.prepare(frame, {0, 0, sw, sh}, dw, dh);
    for (auto _ : state) {
        scaler.scaleRows(frame, dst.data(), ptrdiff_t(dw) * 3, 0, dh, path);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

#ifdef LUMAGHOST_LIBYUV
// libyuv's bilinear I420Scale, then its I420ToRGB24, one thread.
void libyuvPlanar(benchmark::State &state, int sw, int sh, int dw, int dh) {
    const auto bytes = planarNoise(sw, sh);
    const lumaghost::PlanarFrame f = planarFrame(bytes, lumaghost::PlanarLayout::I420, sw, sh);
    const int cw = (dw + 1) / 2;
    std::vector<uint8_t> y(size_t(dw) * dh), u(size_t(cw) * ((dh + 1) / 2)), v(u.size());
    std::vector<uint8_t> dst(size_t(dw) * dh * 3);
    for (auto _ : state) {
        libyuv::I420Scale(f.planes[0], sw, f.planes[1], (sw + 1) / 2, f.planes[2], (sw + 1) / 2, sw,
                          sh, y.data(), dw, u.data(), cw, v.data(), cw, dw, dh,
                          libyuv::kFilterBilinear);
        libyuv::I420ToRGB24(y.data(), dw, u.data(), cw, v.data(), cw, dst.data(), dw * 3, dw, dh);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
#endif

const int kPlanarCases[][4] = {
    {1920, 1080, 1280, 720}, {1280, 720, 1280, 720}, {640, 360, 1280, 720}};

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
    using lumaghost::PlanarLayout;
    using lumaghost::PlanarPath;
    for (const auto &c : kPlanarCases) {
        const std::string size = std::to_string(c[0]) + "x" + std::to_string(c[1]) + "/" +
                                 std::to_string(c[2]) + "x" + std::to_string(c[3]);
        for (auto [name, path] : {std::pair{"PlanarAvx512/", PlanarPath::Avx512},
                                  std::pair{"PlanarScalar/", PlanarPath::Scalar}}) {
            if (!lumaghost::planarPathAvailable(path))
                continue;
            for (auto [layoutName, layout] :
                 {std::pair{"I420/", PlanarLayout::I420}, std::pair{"NV12/", PlanarLayout::Nv12}})
                benchmark::RegisterBenchmark((name + std::string(layoutName) + size).c_str(),
                                             planar, layout, c[0], c[1], c[2], c[3], path)
                    ->Unit(benchmark::kMillisecond);
        }
#ifdef LUMAGHOST_LIBYUV
        benchmark::RegisterBenchmark(("LibyuvPlanar/I420/" + size).c_str(), libyuvPlanar, c[0],
                                     c[1], c[2], c[3])
            ->Unit(benchmark::kMillisecond);
#endif
    }
    return 0;
}
const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
