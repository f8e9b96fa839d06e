// SPDX-License-Identifier: LGPL-2.1-or-later
// The camera outputs' colour conversions, per frame, on every path this processor runs, beside
// libyuv's conversions of the same size where libyuv is installed. The frames are random
// pixels, bottom-up BGR as the camera holds them (libyuv's ARGB ones take 4 bytes a pixel).
//
//   Convert/<format>/<path>/<width>x<height>
//   libyuv/<function>/<width>x<height>
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "frames/frame_convert.h"

#ifdef LUMAGHOST_HAVE_LIBYUV
#include <libyuv/convert.h>
#include <libyuv/convert_from_argb.h>
#endif

namespace {

using namespace lumaghost;

std::vector<uint8_t> noise(size_t size) {
    std::vector<uint8_t> v(size);
    std::mt19937 rng(601);
    for (auto &b : v)
        b = uint8_t(rng());
    return v;
}

enum class Format { Yuyv, I420, Bgrx };

void convert(benchmark::State &state, Format format, ConvertPath path, int width, int height) {
    if (!convertPathAvailable(path)) {
        state.SkipWithError("the processor lacks this instruction set");
        return;
    }
    const std::vector<uint8_t> frame = noise(size_t(width) * height * 3);
    std::vector<uint8_t> out(size_t(width) * height * 4);
    for (auto _ : state) {
        switch (format) {
            case Format::Yuyv:
                bgrToYuyv(frame.data(), width, height, width * 3, out.data(), path);
                break;
            case Format::I420:
                bgrToI420(frame.data(), width, height, width * 3, out.data(), path);
                break;
            case Format::Bgrx:
                bgrToBgrx(frame.data(), width, height, out.data(), width * 4, path);
                break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}

#ifdef LUMAGHOST_HAVE_LIBYUV
enum class Peer { ArgbToYuy2, ArgbToI420, Rgb24ToI420 };

void libyuvConvert(benchmark::State &state, Peer peer, int width, int height) {
    const int bytes = peer == Peer::Rgb24ToI420 ? 3 : 4;
    const std::vector<uint8_t> frame = noise(size_t(width) * height * bytes);
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    std::vector<uint8_t> out(size_t(width) * height * 4);
    uint8_t *y = out.data(), *u = y + size_t(width) * height, *v = u + size_t(cw) * ch;
    // A negative height reads the rows bottom-up, as the camera's frames are.
    for (auto _ : state) {
        switch (peer) {
            case Peer::ArgbToYuy2:
                libyuv::ARGBToYUY2(frame.data(), width * 4, out.data(), cw * 4, width, -height);
                break;
            case Peer::ArgbToI420:
                libyuv::ARGBToI420(frame.data(), width * 4, y, width, u, cw, v, cw, width, -height);
                break;
            case Peer::Rgb24ToI420:
                libyuv::RGB24ToI420(frame.data(), width * 3, y, width, u, cw, v, cw, width,
                                    -height);
                break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}
#endif

int registerAll() {
    const struct { int width, height; } sizes[] = {{1280, 720}, {1920, 1080}};
    const struct {
        Format format;
        const char *name;
    } formats[] = {{Format::Yuyv, "YUYV"}, {Format::I420, "I420"}, {Format::Bgrx, "BGRx"}};
    for (auto [width, height] : sizes) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        for (auto [format, name] : formats) {
            for (ConvertPath path : {ConvertPath::Scalar, ConvertPath::Avx2, ConvertPath::Avx512}) {
                if (format == Format::Bgrx && path == ConvertPath::Avx512)
                    continue;  // the AVX2 code
                benchmark::RegisterBenchmark(
                    ("Convert/" + std::string(name) + "/" + convertPathName(path) + "/" + size)
                        .c_str(),
                    convert, format, path, width, height)
                    ->Unit(benchmark::kMillisecond);
            }
        }
#ifdef LUMAGHOST_HAVE_LIBYUV
        const struct {
            Peer peer;
            const char *name;
        } peers[] = {{Peer::ArgbToYuy2, "ARGBToYUY2"},
                     {Peer::ArgbToI420, "ARGBToI420"},
                     {Peer::Rgb24ToI420, "RGB24ToI420"}};
        for (auto [peer, name] : peers)
            benchmark::RegisterBenchmark(("libyuv/" + std::string(name) + "/" + size).c_str(),
                                         libyuvConvert, peer, width, height)
                ->Unit(benchmark::kMillisecond);
#endif
    }
    return 0;
}
const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();
