#include "frames/resampler.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>

#include <gtest/gtest.h>

namespace lumaghost {
namespace {

std::vector<float> weightsOf(const ContributionTable &t, int i) {
    const auto &e = t.entries[i];
    return {t.weightsOf(i), t.weightsOf(i) + (e.right - e.left + 1)};
}

// The worked values: centres, windows and normalised weights.
TEST(BuildContributionsTest, WorkedValues) {
    ContributionTable up = BuildContributions(20, 10, 2.0f);
    EXPECT_EQ(up.windowSize, 3);
    EXPECT_EQ(up.entries[4].left, 1);
    EXPECT_EQ(up.entries[4].right, 3);
    EXPECT_EQ(weightsOf(up, 4), (std::vector<float>{0, 1, 0}));
    // c = 2.5: 1 ... 4 is four wide, more than the window, so left moves to 2.
    EXPECT_EQ(up.entries[5].left, 2);
    EXPECT_EQ(up.entries[5].right, 4);
    EXPECT_EQ(weightsOf(up, 5), (std::vector<float>{0.5f, 0.5f, 0}));

    ContributionTable down = BuildContributions(5, 10, 0.5f);
    EXPECT_EQ(down.windowSize, 5);
    EXPECT_EQ(down.entries[3].left, 4);
    EXPECT_EQ(down.entries[3].right, 8);
    EXPECT_EQ(weightsOf(down, 3), (std::vector<float>{0, 0.25f, 0.5f, 0.25f, 0}));
    EXPECT_EQ(down.entries[0].left, 0);
    EXPECT_EQ(down.entries[0].right, 2);
    std::vector<float> w0 = weightsOf(down, 0);
    EXPECT_FLOAT_EQ(w0[0], 2.0f / 3);
    EXPECT_FLOAT_EQ(w0[1], 1.0f / 3);
    EXPECT_EQ(w0[2], 0.0f);
}

std::vector<uint8_t> pixels(std::initializer_list<uint32_t> bgra) {
    std::vector<uint8_t> out;
    for (uint32_t p : bgra) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(p >> (8 * i)));
    }
    return out;
}

TEST(ResampleImageTest, EqualSizesCopyEveryByte) {
    auto src = pixels({0x11223344, 0xAABBCCDD});
    std::vector<uint8_t> dst(8);
    EXPECT_EQ(ResampleImage(src.data(), 2, 1, dst.data(), 2, 1), dst.data());
    EXPECT_EQ(dst, src);
}

TEST(ResampleImageTest, OnePixelSourcesRepeat) {
    auto one = pixels({0xFF0A141E});
    std::vector<uint8_t> dst(16);
    ResampleImage(one.data(), 1, 1, dst.data(), 2, 2);
    EXPECT_EQ(dst, pixels({0x000A141E, 0x000A141E, 0x000A141E, 0x000A141E}));

    auto column = pixels({0x00010203, 0x00040506});  // 1 wide, 2 high
    std::vector<uint8_t> wide(3 * 2 * 4);
    ResampleImage(column.data(), 1, 2, wide.data(), 3, 2);
    EXPECT_EQ(wide,
              pixels({0x00010203, 0x00010203, 0x00010203, 0x00040506, 0x00040506, 0x00040506}));
}

// 0, 100, 200, 255 reduced to two: 33 (2/3, 1/3, 0) and 189 (188.75 rounded).
TEST(ResampleImageTest, ReductionOfFourToTwo) {
    auto row = pixels({0x00000000, 0x00646464, 0x00C8C8C8, 0x00FFFFFF});
    std::vector<uint8_t> dst(8);
    ResampleImage(row.data(), 4, 1, dst.data(), 2, 1);
    EXPECT_EQ(dst, pixels({0x00212121, 0x00BDBDBD}));
}

TEST(ResampleImageTest, FullChannelsStayFullAndByteThreeIsZero) {
    std::vector<uint8_t> src(37 * 23 * 4, 0xFF);
    for (auto [w, h] : {std::pair{5, 3}, {80, 61}, {37, 1}, {1, 23}, {100, 100}}) {
        std::vector<uint8_t> dst(size_t(w) * h * 4, 0x77);
        ResampleImage(src.data(), 37, 23, dst.data(), w, h);
        for (size_t i = 0; i < dst.size(); ++i)
            ASSERT_EQ(dst[i], i % 4 == 3 ? 0 : 255) << w << "x" << h << " at " << i;
    }
}

// A literal reading of the algorithm: every tap of every window, no shortcuts.
std::vector<uint8_t> reference(const std::vector<uint8_t> &src, int sw, int sh, int dw, int dh) {
    ContributionTable v = BuildContributions(dh, sh, float(dh) / float(sh));
    ContributionTable h = BuildContributions(dw, sw, float(dw) / float(sw));
    std::vector<uint8_t> out(size_t(dw) * dh * 4);
    std::vector<float> row(size_t(sw) * 3);
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < sw; ++x) {
            for (int c = 0; c < 3; ++c) {
                double s = 0;
                for (int r = v.entries[y].left; r <= v.entries[y].right; ++r)
                    s += double(v.weightsOf(y)[r - v.entries[y].left]) *
                         src[(size_t(r) * sw + x) * 4 + c];
                row[size_t(x) * 3 + c] = float(s);
            }
        }
        for (int X = 0; X < dw; ++X) {
            for (int c = 0; c < 3; ++c) {
                double s = 0;
                for (int k = h.entries[X].left; k <= h.entries[X].right; ++k)
                    s += double(h.weightsOf(X)[k - h.entries[X].left]) * row[size_t(k) * 3 + c];
                out[(size_t(y) * dw + X) * 4 + c] = uint8_t(std::nearbyint(s));
            }
            out[(size_t(y) * dw + X) * 4 + 3] = 0;
        }
    }
    return out;
}

// Both paths agree with the literal algorithm, and with each other, byte for byte.
TEST(ResampleImageTest, PathsAgreeWithTheLiteralAlgorithmOnRandomSizes) {
    const bool haveAvx2 = activeResamplePath() == ResamplePath::Avx2;
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> size(1, 160), byte(0, 255);
    for (int n = 0; n < 250; ++n) {
        const int sw = size(rng), sh = size(rng), dw = size(rng), dh = size(rng);
        std::vector<uint8_t> src(size_t(sw) * sh * 4);
        for (auto &b : src)
            b = uint8_t(byte(rng));
        const auto expected = reference(src, sw, sh, dw, dh);
        std::vector<uint8_t> scalar(expected.size()), simd(expected.size());
        ResampleImageWith(ResamplePath::Scalar, src.data(), sw, sh, scalar.data(), dw, dh);
        ResampleImageWith(ResamplePath::Avx2, src.data(), sw, sh, simd.data(), dw, dh);
        if (sw == dw && sh == dh) {
            ASSERT_EQ(scalar, src);
            ASSERT_EQ(simd, src);
            continue;
        }
        ASSERT_EQ(scalar, expected) << sw << "x" << sh << " -> " << dw << "x" << dh;
        ASSERT_EQ(simd, expected) << sw << "x" << sh << " -> " << dw << "x" << dh
                                  << (haveAvx2 ? "" : " (scalar fallback)");
    }
}

// The benchmark sizes, where the vector path matters most.
TEST(ResampleImageTest, PathsAgreeOnVideoSizes) {
    if (activeResamplePath() != ResamplePath::Avx2)
        GTEST_SKIP() << "this processor has no AVX2 with FMA";
    std::mt19937 rng(7);
    const int cases[][4] = {{1920, 1080, 640, 480},
                            {1280, 720, 640, 480},
                            {320, 240, 640, 480},
                            {400, 100, 320, 80},
                            {320, 240, 136, 102}};
    for (const auto &c : cases) {
        std::vector<uint8_t> src(size_t(c[0]) * c[1] * 4);
        for (auto &b : src)
            b = uint8_t(rng());
        std::vector<uint8_t> scalar(size_t(c[2]) * c[3] * 4), simd(scalar.size());
        ResampleImageWith(ResamplePath::Scalar, src.data(), c[0], c[1], scalar.data(), c[2], c[3]);
        ResampleImageWith(ResamplePath::Avx2, src.data(), c[0], c[1], simd.data(), c[2], c[3]);
        ASSERT_EQ(scalar, simd) << c[0] << "x" << c[1];
    }
}

}  // namespace
}  // namespace lumaghost

namespace lumaghost {
namespace {

// A source read through a stride, even a negative one, gives the packed image's result.
TEST(ResampleImageTest, StridedSourceMatchesPacked) {
    std::mt19937 rng(3);
    for (auto [sw, sh, dw, dh] : {std::array{37, 21, 16, 40}, {64, 48, 64, 48}, {9, 300, 30, 17}}) {
        std::vector<uint8_t> packed(size_t(sw) * sh * 4);
        for (auto &b : packed)
            b = uint8_t(rng());
        // The same rows stored last-first with padding between them.
        const ptrdiff_t stride = sw * 4 + 12;
        std::vector<uint8_t> flipped(size_t(stride) * sh, 0xCC);
        for (int y = 0; y < sh; ++y)
            std::memcpy(&flipped[size_t(sh - 1 - y) * stride], &packed[size_t(y) * sw * 4],
                        size_t(sw) * 4);
        std::vector<uint8_t> expected(size_t(dw) * dh * 4);
        ResampleImage(packed.data(), sw, sh, expected.data(), dw, dh);
        for (auto path : {ResamplePath::Scalar, ResamplePath::Avx2}) {
            std::vector<uint8_t> out(expected.size());
            ResampleImageStrided(&flipped[size_t(sh - 1) * stride], sw, sh, -stride, out.data(), dw,
                                 dh, path);
            EXPECT_EQ(out, expected) << sw << "x" << sh;
        }
    }
}

}  // namespace
}  // namespace lumaghost

namespace lumaghost {
namespace {

// Written as 24-bit pixels into a larger frame, the result is the 32-bit one's colour bytes, and
// nothing around the destination rectangle changes.
TEST(ResampleImageTest, IntoAFrameAs24BitWritesOnlyItsRectangle) {
    std::mt19937 rng(11);
    for (auto [sw, sh, dw, dh] :
         {std::array{50, 40, 16, 12}, {50, 40, 17, 9}, {13, 7, 13, 7}, {30, 20, 61, 43}}) {
        std::vector<uint8_t> src(size_t(sw) * sh * 4);
        for (auto &b : src)
            b = uint8_t(rng());
        std::vector<uint8_t> expected(size_t(dw) * dh * 4);
        ResampleImage(src.data(), sw, sh, expected.data(), dw, dh);
        const ptrdiff_t stride = ptrdiff_t(dw) * 3 + 7;
        for (auto path : {ResamplePath::Scalar, ResamplePath::Avx2}) {
            std::vector<uint8_t> frame(size_t(stride) * (dh + 2), 0xAB);
            uint8_t *origin = frame.data() + stride + 2;
            ResampleInto(src.data(), sw, sh, ptrdiff_t(sw) * 4, origin, dw, dh, stride,
                         PixelLayout::Bgr24, path);
            for (ptrdiff_t i = 0; i < ptrdiff_t(frame.size()); ++i) {
                const ptrdiff_t rel = i - (stride + 2);
                const ptrdiff_t row = rel >= 0 ? rel / stride : -1,
                                col = rel >= 0 ? rel % stride : -1;
                if (row >= 0 && row < dh && col < dw * 3)
                    ASSERT_EQ(frame[i], expected[(size_t(row) * dw + col / 3) * 4 + col % 3]) << i;
                else
                    ASSERT_EQ(frame[i], 0xAB)
                        << "written outside at " << i << ", " << dw << "x" << dh;
            }
        }
    }
}

}  // namespace
}  // namespace lumaghost
