// The colour conversions of the camera's outputs: the YUYV and I420 frames of the v4l2loopback
// and PipeWire outputs and the 4:4:4 stream of `lumacam capture` agree exactly with one another
// and with BT.601 limited range; frames come out upright.
#include "frames/frame_convert.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frames/frame_output.h"

namespace lumaghost {
namespace {

// BT.601 limited range, unrounded.
struct Reference {
    double y, u, v;
};
Reference bt601(int r, int g, int b) {
    return {16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255,
            128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255,
            128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255};
}

// Every one of the 2^24 colours goes through every path. Each colour fills a 2 x 2 block, so the
// subsampled chroma of YUYV and I420 is the colour's own. One frame per red value: green grows
// to the right, blue downwards (upright).
TEST(FrameConvertTest, EveryColourAgreesOnEveryPathAndWithBt601) {
    constexpr int kSide = 512;
    std::vector<uint8_t> frame(size_t(kSide) * kSide * 3);
    std::vector<uint8_t> yuyv(yuyvSize(kSide, kSide)), i420(i420Size(kSide, kSide));
    const size_t plane = size_t(kSide) * kSide;
    const uint8_t *i420U = i420.data() + plane, *i420V = i420U + plane / 4;
    size_t disagreements = 0, offReference = 0;
    std::string firstDisagreement, firstOffReference;

    for (int r = 0; r < 256; ++r) {
        for (int row = 0; row < kSide; ++row) {  // memory order: the bottom row first
            uint8_t *p = frame.data() + size_t(row) * kSide * 3;
            const int b = (kSide - 1 - row) / 2;
            for (int x = 0; x < kSide; ++x, p += 3) {
                p[0] = uint8_t(b);
                p[1] = uint8_t(x / 2);
                p[2] = uint8_t(r);
            }
        }
        bgrToYuyv(frame.data(), kSide, kSide, yuyv.data());
        bgrToI420(frame.data(), kSide, kSide, i420.data());
        const std::vector<uint8_t> y4m = frameToY4m(frame.data(), kSide, kSide);
        const uint8_t *y4mY = y4m.data() + 6, *y4mU = y4mY + plane, *y4mV = y4mU + plane;

        for (int b = 0; b < 256; ++b) {
            for (int g = 0; g < 256; ++g) {
                const size_t x = size_t(2 * g), y = size_t(2 * b);
                const size_t pixel = y * kSide + x;
                const uint8_t *pair = yuyv.data() + (y * kSide + x) * 2;
                const size_t chroma = size_t(b) * (kSide / 2) + size_t(g);
                // Y, U and V as each path gives them: the capture stream's first.
                const int luma[] = {y4mY[pixel],
                                    y4mY[pixel + 1],
                                    y4mY[pixel + kSide],
                                    y4mY[pixel + kSide + 1],
                                    pair[0],
                                    pair[2],
                                    i420[pixel],
                                    i420[pixel + 1],
                                    i420[pixel + kSide],
                                    i420[pixel + kSide + 1]};
                const int blue[] = {y4mU[pixel], pair[1], i420U[chroma]};
                const int red[] = {y4mV[pixel], pair[3], i420V[chroma]};

                bool agree = true;
                for (int v : luma)
                    agree = agree && v == luma[0];
                for (int v : blue)
                    agree = agree && v == blue[0];
                for (int v : red)
                    agree = agree && v == red[0];
                if (!agree && disagreements++ == 0) {
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "rgb %d,%d,%d: Y capture %d, YUYV %d, I420 %d; U %d %d %d; "
                                  "V %d %d %d",
                                  r, g, b, luma[0], luma[4], luma[6], blue[0], blue[1], blue[2],
                                  red[0], red[1], red[2]);
                    firstDisagreement = text;
                }

                // Rounded to nearest: within half a step of the exact value.
                const Reference ref = bt601(r, g, b);
                const double slack = 0.5 + 1e-9;
                if ((std::abs(luma[4] - ref.y) > slack || std::abs(blue[1] - ref.u) > slack ||
                     std::abs(red[1] - ref.v) > slack) &&
                    offReference++ == 0) {
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "rgb %d,%d,%d: YUV %d,%d,%d, BT.601 %.3f,%.3f,%.3f", r, g, b,
                                  luma[4], blue[1], red[1], ref.y, ref.u, ref.v);
                    firstOffReference = text;
                }
            }
        }
    }
    EXPECT_EQ(disagreements, 0u) << "first: " << firstDisagreement;
    EXPECT_EQ(offReference, 0u) << "first: " << firstOffReference;
}

// Known colours through both layouts, upright: the top row of the picture comes first.
TEST(FrameConvertTest, YuvOfKnownColoursUpright) {
    // 2 x 2, bottom row first: bottom white, white; top red, blue.
    const uint8_t frame[] = {255, 255, 255, 255, 255, 255, 0, 0, 255, 255, 0, 0};
    uint8_t yuyv[8];
    bgrToYuyv(frame, 2, 2, yuyv);
    EXPECT_EQ(yuyv[0], 81);   // Y of red
    EXPECT_EQ(yuyv[2], 41);   // Y of blue
    EXPECT_EQ(yuyv[4], 235);  // Y of white
    EXPECT_EQ(yuyv[5], 128);  // U of white
    EXPECT_EQ(yuyv[7], 128);  // V of white
    uint8_t i420[6];
    bgrToI420(frame, 2, 2, i420);
    EXPECT_EQ(i420[0], 81);
    EXPECT_EQ(i420[3], 235);
    // Odd sizes: the last column and row have chroma of their own.
    std::vector<uint8_t> odd(3 * 3 * 3, 128), out(i420Size(3, 3));
    bgrToI420(odd.data(), 3, 3, out.data());
    EXPECT_EQ(out.size(), 9u + 2 * 4);
    EXPECT_EQ(out[9 + 3], 128);
    uint8_t bgrx[2 * 2 * 4];
    bgrToBgrx(frame, 2, 2, bgrx, 8);
    EXPECT_EQ(bgrx[2], 255);  // red, top left
    EXPECT_EQ(bgrx[3], 255);
    EXPECT_EQ(bgrx[4], 255);  // blue, top right
}

// The extremes of limited range: black and white have no colour difference; the primaries
// reach the chroma limits.
TEST(FrameConvertTest, LimitedRangeBounds) {
    EXPECT_EQ(lumaOf(0, 0, 0), 16);
    EXPECT_EQ(lumaOf(255, 255, 255), 235);
    EXPECT_EQ(blueDifferenceOf(0, 0, 0), 128);
    EXPECT_EQ(redDifferenceOf(255, 255, 255), 128);
    EXPECT_EQ(blueDifferenceOf(0, 0, 255), 240);
    EXPECT_EQ(redDifferenceOf(255, 0, 0), 240);
    EXPECT_EQ(blueDifferenceOf(255, 255, 0), 16);
    EXPECT_EQ(redDifferenceOf(0, 255, 255), 16);
}

}  // namespace
}  // namespace lumaghost
