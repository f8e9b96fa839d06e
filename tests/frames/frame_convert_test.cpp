// SPDX-License-Identifier: LGPL-2.1-or-later
// The colour conversions of the camera's outputs: the YUYV and I420 frames of the v4l2loopback
// and PipeWire outputs and the 4:4:4 stream of `lumacam capture` agree exactly with one another
// and with BT.601 limited range; frames come out upright; the vector paths give the scalar
// path's bytes.
#include "frames/frame_convert.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frames/frame_output.h"

namespace lumaghost {
namespace {

constexpr ConvertPath kPaths[] = {ConvertPath::Scalar, ConvertPath::Avx2, ConvertPath::Avx512};

// BT.601 limited range, unrounded.
struct Reference {
    double y, u, v;
};
Reference bt601(int r, int g, int b) {
    return {16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255,
            128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255,
            128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255};
}

// Every one of the 2^24 colours goes through every path, and every instruction set's. Each colour
// fills a 2 x 2 block, so the subsampled chroma of YUYV and I420 is the colour's own. One frame per
// red value: green grows to the right, blue downwards (upright).
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
        const std::vector<uint8_t> y4m = frameToY4m(frame.data(), kSide, kSide);
        for (ConvertPath path : kPaths) {
            if (!convertPathAvailable(path))
                continue;
            bgrToYuyv(frame.data(), kSide, kSide, kSide * 3, yuyv.data(), path);
            bgrToI420(frame.data(), kSide, kSide, kSide * 3, i420.data(), path);
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
                        char text[200];
                        std::snprintf(
                            text, sizeof text,
                            "%s: rgb %d,%d,%d: Y capture %d, YUYV %d, I420 %d; U %d %d %d; "
                            "V %d %d %d",
                            convertPathName(path), r, g, b, luma[0], luma[4], luma[6], blue[0],
                            blue[1], blue[2], red[0], red[1], red[2]);
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

// A frame whose last row (in memory) ends where an unreadable page begins: a conversion that
// reads past the frame faults.
class GuardedFrame {
public:
    GuardedFrame(size_t size) {
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        length_ = (size + page - 1) / page * page + page;
        void *p =
            ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return;
        base_ = static_cast<uint8_t *>(p);
        if (::mprotect(base_ + length_ - page, page, PROT_NONE) != 0)
            return;
        data_ = base_ + length_ - page - size;
    }
    ~GuardedFrame() {
        if (base_)
            ::munmap(base_, length_);
    }
    uint8_t *data() const { return data_; }

private:
    uint8_t *base_ = nullptr, *data_ = nullptr;
    size_t length_ = 0;
};

std::string describe(const char *what, int width, int height, ptrdiff_t stride,
                     const std::vector<uint8_t> &expected, const std::vector<uint8_t> &got) {
    size_t i = 0;
    while (i < expected.size() && expected[i] == got[i])
        ++i;
    char text[160];
    std::snprintf(text, sizeof text, "%s %dx%d stride %td: byte %zu of %zu is %d, not %d", what,
                  width, height, stride, i, expected.size(), got[i], expected[i]);
    return text;
}

class ConvertPathTest : public testing::TestWithParam<ConvertPath> {
protected:
    void SetUp() override {
        if (!convertPathAvailable(GetParam()))
            GTEST_SKIP() << "This processor lacks "
                         << (GetParam() == ConvertPath::Avx2 ? "AVX2" : "AVX-512F/BW/VBMI");
    }
};

// Frames of many sizes, through the path and through the scalar code: widths about the vector
// steps (16 and 32 pixels) and odd ones, odd heights, rows padded to strides that leave them
// unaligned. The pixels are random, each channel ramps through 0..255 in the first rows, and
// the corners of the colour cube (the largest sums) appear. Bytes past the output stay as they
// were; nothing past the frame is read.
TEST_P(ConvertPathTest, SameBytesAsScalarOnFramesOfEverySize) {
    const ConvertPath path = GetParam();
    std::mt19937 rng(601);
    std::vector<int> widths = {1,  2,  3,  15, 16, 17, 18, 31,  32,  33,  34,  47,  48,
                               49, 63, 64, 65, 95, 96, 97, 127, 128, 129, 255, 256, 257};
    for (int i = 0; i < 40; ++i)
        widths.push_back(1 + int(rng() % 700));
    widths.push_back(1280);
    widths.push_back(1919);
    bool seen[3][256] = {};
    constexpr uint8_t kCanary = 0xa5;
    for (int width : widths) {
        for (int height : {1, 2, 3, 4 + int(rng() % 6)}) {
            const ptrdiff_t stride = ptrdiff_t(width) * 3 + ptrdiff_t(rng() % 8);
            const size_t size = size_t(stride) * (height - 1) + size_t(width) * 3;
            GuardedFrame guarded(size);
            ASSERT_NE(guarded.data(), nullptr);
            uint8_t *frame = guarded.data();
            for (size_t i = 0; i < size; ++i)
                frame[i] = uint8_t(rng());
            // Ramps and the cube's corners, from the first pixel in memory on.
            const int pixels = width * height;
            for (int i = 0; i < pixels; ++i) {
                uint8_t *p = frame + (i / width) * stride + (i % width) * 3;
                if (i < 256) {
                    p[0] = uint8_t(i), p[1] = uint8_t(255 - i), p[2] = uint8_t(i * 7);
                } else if (i < 256 + 16) {
                    const int corner = (i - 256) / 2;
                    p[0] = corner & 1 ? 255 : 0, p[1] = corner & 2 ? 255 : 0,
                    p[2] = corner & 4 ? 255 : 0;
                }
                for (int c = 0; c < 3; ++c)
                    seen[c][p[c]] = true;
            }

            std::vector<uint8_t> expected(yuyvSize(width, height) + 64),
                got(expected.size(), kCanary);
            std::fill(expected.begin(), expected.end(), kCanary);
            bgrToYuyv(frame, width, height, stride, expected.data(), ConvertPath::Scalar);
            bgrToYuyv(frame, width, height, stride, got.data(), path);
            ASSERT_EQ(got, expected) << describe("YUYV", width, height, stride, expected, got);

            expected.assign(i420Size(width, height) + 64, kCanary);
            got.assign(expected.size(), kCanary);
            bgrToI420(frame, width, height, stride, expected.data(), ConvertPath::Scalar);
            bgrToI420(frame, width, height, stride, got.data(), path);
            ASSERT_EQ(got, expected) << describe("I420", width, height, stride, expected, got);

            // BGRx takes tightly packed rows.
            if (stride == ptrdiff_t(width) * 3) {
                expected.assign(size_t(width) * 4 * height + 64, kCanary);
                got.assign(expected.size(), kCanary);
                bgrToBgrx(frame, width, height, expected.data(), width * 4, ConvertPath::Scalar);
                bgrToBgrx(frame, width, height, got.data(), width * 4, path);
                ASSERT_EQ(got, expected) << describe("BGRx", width, height, stride, expected, got);
            }
        }
    }
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            ASSERT_TRUE(seen[c][v]) << "channel " << c << " never had " << v;
}

INSTANTIATE_TEST_SUITE_P(Vector, ConvertPathTest,
                         testing::Values(ConvertPath::Avx2, ConvertPath::Avx512),
                         [](const testing::TestParamInfo<ConvertPath> &info) {
                             return std::string(convertPathName(info.param));
                         });

// The path the conversions take by themselves is one the processor runs, and the best of them.
TEST(FrameConvertTest, FastestPathRunsHere) {
    const ConvertPath fastest = fastestConvertPath();
    EXPECT_TRUE(convertPathAvailable(fastest));
    EXPECT_TRUE(convertPathAvailable(ConvertPath::Scalar));
    if (convertPathAvailable(ConvertPath::Avx512)) {
        EXPECT_EQ(fastest, ConvertPath::Avx512);
    } else if (convertPathAvailable(ConvertPath::Avx2)) {
        EXPECT_EQ(fastest, ConvertPath::Avx2);
    }
}

}  // namespace
}  // namespace lumaghost
