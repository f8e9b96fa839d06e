// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/renderer_core.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "frames/resampler.h"

namespace lumaghost {
namespace {

// A top-down input whose every pixel names its column and its row counted from the bottom
// (its row in bitmap memory order).
struct Input {
    int width, height, bpp;
    ptrdiff_t stride;
    std::vector<uint8_t> bytes;
    Input(int w, int h, int b) : width(w), height(h), bpp(b) {
        stride = (ptrdiff_t(w) * b + 3) / 4 * 4;
        bytes.assign(size_t(stride) * h, 0xEE);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t *p = &bytes[size_t(y) * stride + size_t(x) * b];
                const int bitmapRow = h - 1 - y;
                p[0] = uint8_t(x);
                p[1] = uint8_t(bitmapRow);
                p[2] = uint8_t((x >> 8) | (bitmapRow >> 8) << 4);
                if (b == 4)
                    p[3] = 0x77;
            }
        }
    }
    InputFrame frame() const { return {width, height, bpp, bytes.data(), stride}; }
    // The bitmap's pixel (x, row) as 32 bits with 0 in the fourth byte.
    std::vector<uint8_t> bitmap32() const {
        std::vector<uint8_t> out(size_t(width) * height * 4);
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) {
                const uint8_t *p = &bytes[size_t(height - 1 - r) * stride + size_t(x) * bpp];
                uint8_t *o = &out[(size_t(r) * width + x) * 4];
                o[0] = p[0], o[1] = p[1], o[2] = p[2], o[3] = 0;
            }
        return out;
    }
};

struct Camera {
    int width, height;
    std::vector<uint8_t> bytes;
    Camera(int w, int h) : width(w), height(h), bytes(size_t(w) * h * 3, 0xAB) {}
    const uint8_t *at(int x, int memoryRow) const {
        return &bytes[(size_t(memoryRow) * width + x) * 3];
    }
    bool untouched(int x, int row) const {
        const uint8_t *p = at(x, row);
        return p[0] == 0xAB && p[1] == 0xAB && p[2] == 0xAB;
    }
};

HResult compose(RendererCore &core, const Input &in, FitFlags f, Camera &cam) {
    return core.compose(in.frame(), f, cam.bytes.data(), cam.width, cam.height, cam.bytes.size());
}

// Expect the camera's memory row `row`, column `x`, to hold the bitmap's pixel (sx, sr).
void expectPixel(const Camera &cam, int x, int row, int sx, int sr) {
    const uint8_t *p = cam.at(x, row);
    ASSERT_EQ(p[0], uint8_t(sx)) << x << "," << row;
    ASSERT_EQ(p[1], uint8_t(sr)) << x << "," << row;
    ASSERT_EQ(p[2], uint8_t((sx >> 8) | (sr >> 8) << 4)) << x << "," << row;
}

TEST(RendererCoreTest, SameSizeIsCopiedInRowOrderWhateverTheSwitches) {
    for (int bpp : {4, 3}) {
        Input in(320, 240, bpp);
        for (int s = 0; s < 8; ++s) {
            RendererCore core;
            Camera cam(320, 240);
            ASSERT_EQ(compose(core, in, {s & 1, (s >> 1) & 1, (s >> 2) & 1}, cam), S_OK);
            for (int r = 0; r < 240; r += 13)
                for (int x = 0; x < 320; x += 7)
                    expectPixel(cam, x, r, x, r);
        }
    }
}

// Equal aspect ratios: both keep-ratio paths fill the whole frame alike.
TEST(RendererCoreTest, EqualAspectFitsBothWays) {
    Input in(640, 480, 4);
    RendererCore core;
    Camera a(320, 240), b(320, 240);
    ASSERT_EQ(compose(core, in, {1, 1, 0}, a), S_OK);
    ASSERT_EQ(compose(core, in, {1, 1, 1}, b), S_OK);
    EXPECT_EQ(a.bytes, b.bytes);
    for (size_t i = 0; i < a.bytes.size(); i += 3)
        ASSERT_FALSE(a.bytes[i] == 0xAB && a.bytes[i + 1] == 0xAB && a.bytes[i + 2] == 0xAB);
}

// 400 x 100 letterboxed into 320 x 240: scaled to 320 x 80 at row 80; other rows untouched.
TEST(RendererCoreTest, LetterboxPlacesTheScaledVideoAndLeavesTheRest) {
    Input in(400, 100, 4);
    RendererCore core;
    Camera cam(320, 240);
    ASSERT_EQ(compose(core, in, {1, 1, 0}, cam), S_OK);
    std::vector<uint8_t> scaled(320 * 80 * 4);
    const auto bitmap = in.bitmap32();
    resampleImage(bitmap.data(), 400, 100, scaled.data(), 320, 80);
    for (int r = 0; r < 240; ++r) {
        for (int x = 0; x < 320; ++x) {
            if (r < 80 || r >= 160) {
                ASSERT_TRUE(cam.untouched(x, r)) << x << "," << r;
                continue;
            }
            ASSERT_EQ(std::memcmp(cam.at(x, r), &scaled[(size_t(r - 80) * 320 + x) * 4], 3), 0);
        }
    }
}

// Pan and scan: the 133 x 100 middle from column 133, scaled to the whole frame.
TEST(RendererCoreTest, PanAndScanScalesTheCrop) {
    for (int bpp : {4, 3}) {
        Input in(400, 100, bpp);
        RendererCore core;
        Camera cam(320, 240);
        ASSERT_EQ(compose(core, in, {1, 1, 1}, cam), S_OK);
        const auto bitmap = in.bitmap32();
        std::vector<uint8_t> crop(133 * 100 * 4), scaled(320 * 240 * 4);
        for (int r = 0; r < 100; ++r)
            std::memcpy(&crop[size_t(r) * 133 * 4], &bitmap[(size_t(r) * 400 + 133) * 4], 133 * 4);
        resampleImage(crop.data(), 133, 100, scaled.data(), 320, 240);
        for (size_t p = 0; p < 320 * 240; ++p)
            ASSERT_EQ(std::memcmp(&cam.bytes[p * 3], &scaled[p * 4], 3), 0) << bpp << " at " << p;
    }
}

// Video one pixel wide or high: pan and scan fills the frame with the middle source pixel,
// letterbox places a one-pixel line.
TEST(RendererCoreTest, OnePixelVideoIsNotLost) {
    for (auto [w, h] : {std::pair{1, 100}, std::pair{100, 1}, std::pair{1, 1}}) {
        Input in(w, h, 4);
        RendererCore core;
        Camera cam(320, 240);
        ASSERT_EQ(compose(core, in, {1, 1, 1}, cam), S_OK) << w << "x" << h;
        for (int r = 0; r < 240; r += 7)
            for (int x = 0; x < 320; x += 11)
                expectPixel(cam, x, r, (w - 1) / 2, (h - 1) / 2);
    }
    Input tall(1, 1000, 4);
    RendererCore core;
    Camera cam(320, 240);
    ASSERT_EQ(compose(core, tall, {1, 1, 0}, cam), S_OK);
    for (int r = 0; r < 240; ++r) {
        EXPECT_FALSE(cam.untouched(159, r)) << r;
        EXPECT_TRUE(cam.untouched(158, r) && cam.untouched(160, r)) << r;
    }
}

TEST(RendererCoreTest, NaturalSizeCentredOrInTheFirstCorner) {
    RendererCore core;
    Input big(400, 300, 4);
    Camera cam(320, 240);
    ASSERT_EQ(compose(core, big, {0, 1, 1}, cam), S_OK);
    for (int r = 0; r < 240; r += 11)
        for (int x = 0; x < 320; x += 9)
            expectPixel(cam, x, r, x + 40, r + 30);

    // 160 x 120 without centring: memory rows 0-119 and columns 0-159, the lower left.
    Input small(160, 120, 4);
    Camera corner(320, 240);
    ASSERT_EQ(compose(core, small, {0, 0, 0}, corner), S_OK);
    expectPixel(corner, 159, 119, 159, 119);
    expectPixel(corner, 0, 0, 0, 0);
    EXPECT_TRUE(corner.untouched(160, 0));
    EXPECT_TRUE(corner.untouched(0, 120));
}

// An odd-width 24-bit input is read with its 4-byte-aligned stride.
TEST(RendererCoreTest, OddWidthRgb24UsesItsAlignedStride) {
    Input rgb24(161, 121, 3), rgb32(161, 121, 4);
    ASSERT_EQ(rgb24.stride, 484);
    for (FitFlags f :
         {FitFlags{0, 0, 0}, FitFlags{1, 0, 0}, FitFlags{1, 1, 0}, FitFlags{1, 1, 1}}) {
        RendererCore core;
        Camera a(320, 240), b(320, 240);
        ASSERT_EQ(compose(core, rgb24, f, a), S_OK);
        ASSERT_EQ(compose(core, rgb32, f, b), S_OK);
        EXPECT_EQ(a.bytes, b.bytes);
    }
}

// Other pixel sizes are refused without writing; the work buffers only ever grow.
TEST(RendererCoreTest, BadInputIsRefusedAndBuffersGrow) {
    RendererCore core;
    Input in(64, 48, 4);
    InputFrame bad = in.frame();
    bad.bytesPerPixel = 2;
    Camera cam(32, 24);
    EXPECT_EQ(core.compose(bad, {1, 1, 1}, cam.bytes.data(), 32, 24, cam.bytes.size()), E_FAIL);
    for (size_t i = 0; i < cam.bytes.size(); ++i)
        ASSERT_EQ(cam.bytes[i], 0xAB);

    EXPECT_EQ(core.sourceCapacity(), 320u * 240);
    Input large(1000, 500, 3);
    Camera wide(1280, 720);
    ASSERT_EQ(compose(core, large, {1, 0, 0}, wide), S_OK);
    EXPECT_EQ(core.sourceCapacity(), 1000u * 500);
    ASSERT_EQ(compose(core, in, {1, 0, 0}, cam), S_OK);
    EXPECT_EQ(core.sourceCapacity(), 1000u * 500);
}

// A frame smaller than its descriptor claims is never written past.
TEST(RendererCoreTest, CopyIsBoundedByTheFrameBytes) {
    RendererCore core;
    Input in(320, 240, 4);
    std::vector<uint8_t> frame(320 * 240 * 3 + 16, 0xAB);
    ASSERT_EQ(core.compose(in.frame(), {1, 1, 1}, frame.data(), 320, 240, 1000), S_OK);
    for (size_t i = 1000; i < frame.size(); ++i)
        ASSERT_EQ(frame[i], 0xAB) << i;
}

// The scaling split across threads (0: one per processor) gives the frames of one thread, for
// every fit and both input sizes of pixel, whether it writes the frame or its own buffer.
TEST(RendererCoreTest, ThreadsGiveTheFramesOfOneThread) {
    for (int bpp : {4, 3}) {
        Input in(1280, 720, bpp), tall(300, 1000, bpp);
        for (const Input *input : {&in, &tall}) {
            for (FitFlags f : {FitFlags{1, 0, 0}, FitFlags{1, 1, 0}, FitFlags{1, 1, 1}}) {
                RendererCore one;
                Camera expected(640, 480);
                ASSERT_EQ(compose(one, *input, f, expected), S_OK);
                for (unsigned threads : {2u, 3u, 7u, 0u}) {
                    RendererCore core;
                    core.setThreadCount(threads);
                    EXPECT_EQ(core.threadCount(), threads);
                    Camera cam(640, 480);
                    ASSERT_EQ(compose(core, *input, f, cam), S_OK);
                    ASSERT_EQ(cam.bytes, expected.bytes)
                        << bpp << " bytes, " << input->width << "x" << input->height << ", "
                        << threads << " threads";
                }
            }
        }
    }
}

}  // namespace
}  // namespace lumaghost
