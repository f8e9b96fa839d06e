// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/planar_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frames/renderer_core.h"
#include "frames/resampler.h"

namespace lumaghost {
namespace {

constexpr YuvColours kBt601{0.299, 0.114, false};
constexpr YuvColours kBt709{0.2126, 0.0722, false};
constexpr YuvColours kBt709Full{0.2126, 0.0722, true};

// A planar frame of random samples within [lumaLow, lumaHigh] and [chromaLow, chromaHigh], rows
// padded past their width; with the default bounds every pixel converts inside 0-255, so
// converting before or after filtering differs by rounding only.
struct Planes {
    PlanarLayout layout;
    int width, height;
    std::vector<uint8_t> luma, chroma, red;
    ptrdiff_t lumaStride, chromaStride;
    YuvColours colours = kBt709;
    Planes(PlanarLayout l, int w, int h, unsigned seed, int lumaLow = 60, int lumaHigh = 190,
           int chromaLow = 108, int chromaHigh = 148)
        : layout(l), width(w), height(h) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> y(lumaLow, lumaHigh), c(chromaLow, chromaHigh);
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        lumaStride = w + 7;
        chromaStride = (l == PlanarLayout::Nv12 ? 2 * cw : cw) + 5;
        luma.resize(size_t(lumaStride) * h);
        chroma.resize(size_t(chromaStride) * ch);
        red.resize(l == PlanarLayout::I420 ? size_t(chromaStride) * ch : 0);
        for (auto *plane : {&luma, &chroma, &red})
            for (auto &v : *plane)
                v = uint8_t(plane == &luma ? y(random) : c(random));
    }
    PlanarFrame frame() const {
        PlanarFrame f;
        f.layout = layout;
        f.width = width;
        f.height = height;
        f.planes[0] = luma.data();
        f.planes[1] = chroma.data();
        f.planes[2] = layout == PlanarLayout::I420 ? red.data() : nullptr;
        f.strides[0] = lumaStride;
        f.strides[1] = chromaStride;
        f.strides[2] = chromaStride;
        f.colours = colours;
        return f;
    }
};

const char *nameOf(PlanarLayout l) {
    return l == PlanarLayout::I420 ? "I420" : "NV12";
}

std::vector<uint8_t> scaled(const PlanarFrame &frame, Rect part, int width, int height,
                            PlanarPath path) {
    PlanarScaler scaler;
    EXPECT_TRUE(scaler.prepare(frame, part, width, height));
    std::vector<uint8_t> out(size_t(width) * height * 3, 0xAB);
    scaler.scaleRows(frame, out.data(), ptrdiff_t(width) * 3, 0, height, path);
    return out;
}

// The path the renderer took before planar frames came straight in: the part converted to
// 32 bits, then resampled into 24-bit pixels.
std::vector<uint8_t> reference(const PlanarFrame &frame, Rect part, int width, int height) {
    std::vector<uint8_t> bgrx(size_t(part.width) * part.height * 4);
    planarToBgrx(frame, part, bgrx.data(), ptrdiff_t(part.width) * 4);
    std::vector<uint8_t> out(size_t(width) * height * 3);
    resampleInto(bgrx.data(), part.width, part.height, ptrdiff_t(part.width) * 4, out.data(), width,
                 height, ptrdiff_t(width) * 3, PixelLayout::Bgr24);
    return out;
}

int largestDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b) {
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

struct Case {
    int frameWidth, frameHeight;
    Rect part;
    int width, height;
};
const Case kCases[] = {
    {1920, 1080, {0, 0, 1920, 1080}, 1280, 720},  // a 1080p movie into a 720p camera
    {1920, 1080, {0, 0, 1920, 1080}, 640, 360},   // a reduction by three
    {640, 360, {0, 0, 640, 360}, 1280, 720},      // an enlargement by two
    {3840, 2160, {0, 0, 3840, 2160}, 320, 180},   // taps too far apart for one window
    {1280, 720, {0, 0, 1280, 720}, 1280, 720},    // the same size
    {101, 37, {0, 0, 101, 37}, 64, 48},           // odd sizes, both ways
    {101, 37, {7, 3, 59, 31}, 97, 23},            // an odd crop
    {400, 100, {133, 0, 133, 100}, 320, 240},     // pan and scan's middle
    {33, 17, {0, 0, 33, 17}, 1, 1},
    {1, 1, {0, 0, 1, 1}, 17, 5},
};

// Catches a vector step that sums, rounds, gathers or packs differently from the scalar row,
// or writes past a row.
TEST(PlanarScalerTest, VectorPathGivesTheScalarPathsBytes) {
    if (!planarPathAvailable(PlanarPath::Avx512))
        std::printf("This processor has no AVX-512 VBMI: both runs take the scalar path\n");
    for (PlanarLayout layout : {PlanarLayout::I420, PlanarLayout::Nv12}) {
        for (const Case &c : kCases) {
            // The full range of samples, beyond what converts inside 0-255, for the clamping.
            const Planes planes(layout, c.frameWidth, c.frameHeight, 7, 0, 255, 0, 255);
            const auto scalar =
                scaled(planes.frame(), c.part, c.width, c.height, PlanarPath::Scalar);
            const auto vector =
                scaled(planes.frame(), c.part, c.width, c.height, PlanarPath::Avx512);
            ASSERT_EQ(scalar, vector) << nameOf(layout) << " " << c.frameWidth << "x"
                                      << c.frameHeight << " to " << c.width << "x" << c.height;
        }
    }
}

// Catches taps of the luma or chroma that differ from the resampler's, chroma read from the
// wrong block or plane, or a wrong colour conversion.
TEST(PlanarScalerTest, MatchesConvertingFirstThenResamplingWithinALevel) {
    for (PlanarLayout layout : {PlanarLayout::I420, PlanarLayout::Nv12}) {
        for (const Case &c : kCases) {
            const Planes planes(layout, c.frameWidth, c.frameHeight, 11);
            const auto ours =
                scaled(planes.frame(), c.part, c.width, c.height, fastestPlanarPath());
            const auto theirs = reference(planes.frame(), c.part, c.width, c.height);
            EXPECT_LE(largestDifference(ours, theirs), 1)
                << nameOf(layout) << " " << c.frameWidth << "x" << c.frameHeight << " to "
                << c.width << "x" << c.height;
        }
    }
}

// At the same size nothing is filtered: each pixel is the conversion of its own samples.
TEST(PlanarScalerTest, SameSizeIsTheExactConversion) {
    for (PlanarLayout layout : {PlanarLayout::I420, PlanarLayout::Nv12}) {
        const Planes planes(layout, 75, 41, 3, 0, 255, 0, 255);
        const Rect all{0, 0, 75, 41};
        const auto ours = scaled(planes.frame(), all, 75, 41, fastestPlanarPath());
        std::vector<uint8_t> bgrx(75 * 41 * 4);
        planarToBgrx(planes.frame(), all, bgrx.data(), 75 * 4);
        for (size_t p = 0; p < 75 * 41; ++p)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(ours[p * 3 + k], bgrx[p * 4 + k]) << nameOf(layout) << " at " << p;
    }
}

// The conversion against its definition, in double precision: R = Y' + 2 (1 - Kr) Cr',
// B = Y' + 2 (1 - Kb) Cb', G from luma's definition, where Y', Cb', Cr' are the samples
// stretched from their ranges. Catches a wrong coefficient, range or channel order.
TEST(PlanarScalerTest, ConversionFollowsTheMatrixAndRange) {
    for (const YuvColours &colours : {kBt601, kBt709, kBt709Full}) {
        const double kg = 1 - colours.kr - colours.kb;
        const double ls = colours.fullRange ? 1 : 255.0 / 219,
                     cs = colours.fullRange ? 1 : 255.0 / 224;
        const double black = colours.fullRange ? 0 : 16;
        std::mt19937 random(5);
        std::uniform_int_distribution<int> sample(0, 255);
        for (int n = 0; n < 2000; ++n) {
            const uint8_t y = uint8_t(sample(random)), u = uint8_t(sample(random)),
                          v = uint8_t(sample(random));
            PlanarFrame f;
            f.width = f.height = 1;
            f.planes[0] = &y;
            f.planes[1] = &u;
            f.planes[2] = &v;
            f.strides[0] = f.strides[1] = f.strides[2] = 1;
            f.colours = colours;
            uint8_t bgrx[4];
            planarToBgrx(f, {0, 0, 1, 1}, bgrx, 4);
            const double l = (y - black) * ls, cb = (u - 128) * cs, cr = (v - 128) * cs;
            const double r = l + 2 * (1 - colours.kr) * cr, b = l + 2 * (1 - colours.kb) * cb;
            const double g = (l - colours.kr * r - colours.kb * b) / kg;
            const double expected[3] = {b, g, r};
            for (int k = 0; k < 3; ++k)
                ASSERT_NEAR(bgrx[k], std::clamp(expected[k], 0.0, 255.0), 1.0)
                    << "channel " << k << " of " << int(y) << "," << int(u) << "," << int(v);
            ASSERT_EQ(bgrx[3], 0);
        }
    }
    // The named colours of BT.601's limited range.
    const uint8_t white[] = {235, 128, 128}, black[] = {16, 128, 128}, red[] = {82, 90, 240};
    for (const auto *yuv : {white, black, red}) {
        PlanarFrame f;
        f.width = f.height = 1;
        f.planes[0] = &yuv[0];
        f.planes[1] = &yuv[1];
        f.planes[2] = &yuv[2];
        f.strides[0] = f.strides[1] = f.strides[2] = 1;
        f.colours = kBt601;
        uint8_t bgrx[4];
        planarToBgrx(f, {0, 0, 1, 1}, bgrx, 4);
        const int want[3] = {yuv == red      ? 0
                             : yuv[0] == 235 ? 255
                                             : 0,
                             yuv == red      ? 0
                             : yuv[0] == 235 ? 255
                                             : 0,
                             yuv == black ? 0 : 255};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(bgrx[k], want[k], 1) << "channel " << k << " of " << int(yuv[0]);
    }
}

// The bitmap order: the bottom row of the frame is the camera's first, and the chroma of each
// 2 x 2 block goes with its own pixels: a frame of odd height whose six top rows are red and
// three bottom rows blue.
TEST(PlanarScalerTest, RowsAreReadBottomUpWithTheirOwnChroma) {
    for (PlanarLayout layout : {PlanarLayout::I420, PlanarLayout::Nv12}) {
        Planes planes(layout, 8, 9, 1);
        planes.colours = kBt601;
        std::fill(planes.luma.begin(), planes.luma.end(), 82);
        const int cw = 4;
        for (int row = 0; row < 5; ++row)
            for (int c = 0; c < cw; ++c) {
                const bool top = row < 3;  // chroma rows 0-2 cover frame rows 0-5
                const uint8_t u = top ? 90 : 240, v = top ? 240 : 110;
                if (layout == PlanarLayout::Nv12) {
                    planes.chroma[size_t(row) * planes.chromaStride + 2 * c] = u;
                    planes.chroma[size_t(row) * planes.chromaStride + 2 * c + 1] = v;
                } else {
                    planes.chroma[size_t(row) * planes.chromaStride + c] = u;
                    planes.red[size_t(row) * planes.chromaStride + c] = v;
                }
            }
        const auto out = scaled(planes.frame(), {0, 0, 8, 9}, 8, 9, fastestPlanarPath());
        for (int memoryRow = 0; memoryRow < 9; ++memoryRow) {
            const int frameRow = 8 - memoryRow;
            const bool redRow = frameRow < 6;
            const uint8_t *p = &out[size_t(memoryRow) * 8 * 3];
            EXPECT_EQ(p[2] > 200, redRow) << nameOf(layout) << " row " << frameRow;
            EXPECT_EQ(p[0] > 200, !redRow) << nameOf(layout) << " row " << frameRow;
        }
    }
}

// Rows scaled apart, as the renderer's threads do, are those of one call.
TEST(PlanarScalerTest, RowsScaledApartMatchOneCall) {
    const Planes planes(PlanarLayout::I420, 1920, 1080, 9);
    PlanarScaler scaler;
    ASSERT_TRUE(scaler.prepare(planes.frame(), {0, 0, 1920, 1080}, 1280, 720));
    std::vector<uint8_t> whole(1280 * 720 * 3), bands(1280 * 720 * 3);
    scaler.scaleRows(planes.frame(), whole.data(), 1280 * 3, 0, 720);
    for (int first = 0; first < 720; first += 100)
        scaler.scaleRows(planes.frame(), bands.data(), 1280 * 3, first, 100);
    EXPECT_EQ(whole, bands);
    EXPECT_FALSE(scaler.prepare(planes.frame(), {1900, 0, 21, 1080}, 10, 10));
}

// The renderer with planar frames: fitted and placed as the same frame converted to 32 bits
// first is, every switch and shape, on the one-pass path and the converting one; pixels it does
// not place stay untouched.
TEST(PlanarScalerTest, RendererPlacesPlanarFramesAsTheirConversion) {
    struct Shape {
        int width, height, cameraWidth, cameraHeight;
    };
    const Shape shapes[] = {{1920, 1080, 1280, 720}, {640, 480, 1280, 720}, {1280, 720, 1280, 720},
                            {400, 100, 320, 240},    {101, 37, 320, 240},   {400, 300, 320, 240},
                            {161, 121, 320, 240}};
    for (PlanarLayout layout : {PlanarLayout::I420, PlanarLayout::Nv12}) {
        for (const Shape &s : shapes) {
            const Planes planes(layout, s.width, s.height, 13);
            const PlanarFrame frame = planes.frame();
            std::vector<uint8_t> bgrx(size_t(s.width) * s.height * 4);
            planarToBgrx(frame, {0, 0, s.width, s.height}, bgrx.data(), ptrdiff_t(s.width) * 4);
            // planarToBgrx wrote bitmap order; the renderer takes top-down frames.
            std::vector<uint8_t> topDown(bgrx.size());
            for (int r = 0; r < s.height; ++r)
                std::copy_n(&bgrx[size_t(s.height - 1 - r) * s.width * 4], size_t(s.width) * 4,
                            &topDown[size_t(r) * s.width * 4]);
            for (int f = 0; f < 8; ++f) {
                const FitFlags flags{f & 1, (f >> 1) & 1, (f >> 2) & 1};
                RendererCore ours, theirs;
                const size_t bytes = size_t(s.cameraWidth) * s.cameraHeight * 3;
                // Pure green, which frames of these samples never hold, marks what is left.
                std::vector<uint8_t> a(bytes, 0), b(bytes, 0);
                for (size_t p = 1; p < bytes; p += 3)
                    a[p] = b[p] = 255;
                InputFrame planar{s.width, s.height, 0, nullptr, 0, &frame};
                InputFrame converted{s.width, s.height, 4, topDown.data(), ptrdiff_t(s.width) * 4};
                ASSERT_EQ(
                    ours.compose(planar, flags, a.data(), s.cameraWidth, s.cameraHeight, bytes),
                    S_OK);
                ASSERT_EQ(theirs.compose(converted, flags, b.data(), s.cameraWidth, s.cameraHeight,
                                         bytes),
                          S_OK);
                const std::string what = std::string(nameOf(layout)) + " " +
                                         std::to_string(s.width) + "x" + std::to_string(s.height) +
                                         " switches " + std::to_string(f);
                for (size_t p = 0; p < bytes; p += 3) {
                    const bool placedA = !(a[p] == 0 && a[p + 1] == 255 && a[p + 2] == 0);
                    const bool placedB = !(b[p] == 0 && b[p + 1] == 255 && b[p + 2] == 0);
                    ASSERT_EQ(placedA, placedB) << what << " at pixel " << p / 3;
                }
                EXPECT_LE(largestDifference(a, b), 1) << what;
            }
        }
    }
}

}  // namespace
}  // namespace lumaghost
