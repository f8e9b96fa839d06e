// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/resampler.h"
#include "frames/resampler_kernels.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace lumaghost {
namespace {

std::vector<float> weightsOf(const ContributionTable &t, int i) {
    const auto &e = t.entries[i];
    return {t.weightsOf(i), t.weightsOf(i) + (e.right - e.left + 1)};
}

// The worked values: centres, windows and normalised weights.
TEST(BuildContributionsTest, WorkedValues) {
    ContributionTable up = buildContributions(20, 10, 2.0f);
    EXPECT_EQ(up.windowSize, 3);
    EXPECT_EQ(up.entries[4].left, 1);
    EXPECT_EQ(up.entries[4].right, 3);
    EXPECT_EQ(weightsOf(up, 4), (std::vector<float>{0, 1, 0}));
    // c = 2.5: 1 ... 4 is four wide, more than the window, so left moves to 2.
    EXPECT_EQ(up.entries[5].left, 2);
    EXPECT_EQ(up.entries[5].right, 4);
    EXPECT_EQ(weightsOf(up, 5), (std::vector<float>{0.5f, 0.5f, 0}));

    ContributionTable down = buildContributions(5, 10, 0.5f);
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
    EXPECT_EQ(resampleImage(src.data(), 2, 1, dst.data(), 2, 1), dst.data());
    EXPECT_EQ(dst, src);
}

TEST(ResampleImageTest, OnePixelSourcesRepeat) {
    auto one = pixels({0xFF0A141E});
    std::vector<uint8_t> dst(16);
    resampleImage(one.data(), 1, 1, dst.data(), 2, 2);
    EXPECT_EQ(dst, pixels({0x000A141E, 0x000A141E, 0x000A141E, 0x000A141E}));

    auto column = pixels({0x00010203, 0x00040506});  // 1 wide, 2 high
    std::vector<uint8_t> wide(3 * 2 * 4);
    resampleImage(column.data(), 1, 2, wide.data(), 3, 2);
    EXPECT_EQ(wide,
              pixels({0x00010203, 0x00010203, 0x00010203, 0x00040506, 0x00040506, 0x00040506}));
}

// 0, 100, 200, 255 reduced to two: 33 (2/3, 1/3, 0) and 189 (188.75 rounded).
TEST(ResampleImageTest, ReductionOfFourToTwo) {
    auto row = pixels({0x00000000, 0x00646464, 0x00C8C8C8, 0x00FFFFFF});
    std::vector<uint8_t> dst(8);
    resampleImage(row.data(), 4, 1, dst.data(), 2, 1);
    EXPECT_EQ(dst, pixels({0x00212121, 0x00BDBDBD}));
}

TEST(ResampleImageTest, FullChannelsStayFullAndByteThreeIsZero) {
    std::vector<uint8_t> src(37 * 23 * 4, 0xFF);
    for (auto [w, h] : {std::pair{5, 3}, {80, 61}, {37, 1}, {1, 23}, {100, 100}}) {
        std::vector<uint8_t> dst(size_t(w) * h * 4, 0x77);
        resampleImage(src.data(), 37, 23, dst.data(), w, h);
        for (size_t i = 0; i < dst.size(); ++i)
            ASSERT_EQ(dst[i], i % 4 == 3 ? 0 : 255) << w << "x" << h << " at " << i;
    }
}

// A literal reading of the algorithm: every tap of every window, no shortcuts.
std::vector<uint8_t> reference(const std::vector<uint8_t> &src, int sw, int sh, int dw, int dh) {
    ContributionTable v = buildContributions(dh, sh, float(dh) / float(sh));
    ContributionTable h = buildContributions(dw, sw, float(dw) / float(sw));
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

const char *pathName(ResamplePath path) {
    switch (path) {
        case ResamplePath::Avx512:
            return "Avx512";
        case ResamplePath::Avx2:
            return "Avx2";
        default:
            return "Scalar";
    }
}

// Each path on its own; a path this processor lacks is skipped, naming what it lacks.
class ResamplePathTest : public ::testing::TestWithParam<ResamplePath> {
protected:
    void SetUp() override {
        if (resamplePathAvailable(GetParam()))
            return;
        if (GetParam() == ResamplePath::Avx512)
            GTEST_SKIP() << "this processor has no AVX-512 F, BW, VL, DQ and VBMI";
        GTEST_SKIP() << "this processor has no AVX2 with FMA";
    }
};

std::vector<uint8_t> randomImage(std::mt19937 &rng, int width, int height) {
    std::vector<uint8_t> out(size_t(width) * height * 4);
    for (auto &b : out)
        b = uint8_t(rng());
    return out;
}

// The colour bytes of a 32-bit image as 24-bit pixels, rows `stride` apart after `offset`
// bytes of 0xAB, which also fills the padding.
std::vector<uint8_t> asFrame24(const std::vector<uint8_t> &image, int width, int height,
                               ptrdiff_t stride, ptrdiff_t offset) {
    std::vector<uint8_t> out(size_t(offset + stride * (height + 1)), 0xAB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(&out[size_t(offset + stride * y + x * 3)],
                        &image[(size_t(y) * width + x) * 4], 3);
    return out;
}

// Every path agrees with the literal algorithm byte for byte: packed and strided sources (rows
// last-first, padded), 32- and 24-bit destinations, and rows computed in bands in any order.
TEST_P(ResamplePathTest, RandomSizesMatchTheLiteralAlgorithm) {
    const ResamplePath path = GetParam();
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> size(1, 160);
    for (int n = 0; n < 250; ++n) {
        const int sw = size(rng), sh = size(rng), dw = size(rng), dh = size(rng);
        const auto src = randomImage(rng, sw, sh);
        const auto expected = (sw == dw && sh == dh) ? src : reference(src, sw, sh, dw, dh);
        const std::string what = std::to_string(sw) + "x" + std::to_string(sh) + " -> " +
                                 std::to_string(dw) + "x" + std::to_string(dh);

        std::vector<uint8_t> out(expected.size());
        resampleImageWith(path, src.data(), sw, sh, out.data(), dw, dh);
        ASSERT_EQ(out, expected) << what;

        // The same rows stored last-first, 4 (n % 5) bytes of padding between them.
        const ptrdiff_t sourceStride = ptrdiff_t(sw) * 4 + 4 * (n % 5);
        std::vector<uint8_t> flipped(size_t(sourceStride) * sh, 0xCC);
        for (int y = 0; y < sh; ++y)
            std::memcpy(&flipped[size_t(sh - 1 - y) * sourceStride], &src[size_t(y) * sw * 4],
                        size_t(sw) * 4);
        const uint8_t *last = &flipped[size_t(sh - 1) * sourceStride];
        std::fill(out.begin(), out.end(), 0x55);
        resampleImageStrided(last, sw, sh, -sourceStride, out.data(), dw, dh, path);
        ASSERT_EQ(out, expected) << what << " from a negative stride";

        const ptrdiff_t frameStride = ptrdiff_t(dw) * 3 + n % 7, offset = 5;
        const auto expected24 = asFrame24(expected, dw, dh, frameStride, offset);
        std::vector<uint8_t> frame(expected24.size(), 0xAB);
        resampleInto(last, sw, sh, -sourceStride, frame.data() + offset, dw, dh, frameStride,
                     PixelLayout::Bgr24, path);
        ASSERT_EQ(frame, expected24) << what << " as 24 bits";

        // Bands of random heights, last first, into a 24-bit frame.
        std::fill(frame.begin(), frame.end(), 0xAB);
        std::vector<int> cuts{0, dh};
        for (int c = 0; c < 3; ++c)
            cuts.push_back(std::uniform_int_distribution<int>(0, dh)(rng));
        std::sort(cuts.begin(), cuts.end());
        for (size_t c = cuts.size() - 1; c > 0; --c)
            resampleRows(last, sw, sh, -sourceStride, frame.data() + offset, dw, dh, frameStride,
                         PixelLayout::Bgr24, cuts[c - 1], cuts[c] - cuts[c - 1], path);
        ASSERT_EQ(frame, expected24) << what << " in bands";
    }
}

// The benchmark's video sizes, where the vector loops run longest, against the scalar path.
TEST_P(ResamplePathTest, VideoSizesMatchTheScalarPath) {
    std::mt19937 rng(7);
    const int cases[][4] = {{1920, 1080, 640, 480}, {1920, 1080, 320, 240}, {1280, 720, 640, 480},
                            {640, 480, 320, 240},   {320, 240, 640, 480},   {400, 100, 320, 80},
                            {320, 240, 136, 102},   {641, 479, 1283, 961}};
    for (const auto &c : cases) {
        const auto src = randomImage(rng, c[0], c[1]);
        std::vector<uint8_t> scalar(size_t(c[2]) * c[3] * 4), out(scalar.size());
        resampleImageWith(ResamplePath::Scalar, src.data(), c[0], c[1], scalar.data(), c[2], c[3]);
        resampleImageWith(GetParam(), src.data(), c[0], c[1], out.data(), c[2], c[3]);
        ASSERT_EQ(out, scalar) << c[0] << "x" << c[1] << " -> " << c[2] << "x" << c[3];
        const ptrdiff_t stride = ptrdiff_t(c[2]) * 3;
        std::vector<uint8_t> frame(size_t(stride) * c[3]);
        resampleInto(src.data(), c[0], c[1], ptrdiff_t(c[0]) * 4, frame.data(), c[2], c[3], stride,
                     PixelLayout::Bgr24, GetParam());
        const auto expected24 = asFrame24(scalar, c[2], c[3], stride, 0);
        ASSERT_TRUE(std::equal(frame.begin(), frame.end(), expected24.begin()))
            << c[0] << "x" << c[1] << " -> " << c[2] << "x" << c[3] << " as 24 bits";
    }
}

// Heights whose tables hold weights finer than 2^-44, summed in doubles where the other rows sum
// integers, still give the literal algorithm's bytes.
TEST_P(ResamplePathTest, RowsWithTinyWeightsMatchTheLiteralAlgorithm) {
    std::mt19937 rng(17);
    for (auto [sh, dh] : {std::pair{2, 82}, std::pair{20, 12}, std::pair{20, 15}}) {
        const auto plan = resample_kernels::buildResamplePlan(45, sh, 30, dh);
        ASSERT_GT(std::count(plan->verticalShift.begin(), plan->verticalShift.end(), -1), 0) << sh;
        ASSERT_GT(std::count_if(plan->verticalShift.begin(), plan->verticalShift.end(),
                                [](int shift) { return shift >= 0; }),
                  0);
        const auto src = randomImage(rng, 45, sh);
        std::vector<uint8_t> out(size_t(30) * dh * 4);
        resampleImageWith(GetParam(), src.data(), 45, sh, out.data(), 30, dh);
        ASSERT_EQ(out, reference(src, 45, sh, 30, dh)) << sh << " -> " << dh;
    }
}

// Bands on threads of their own give the rows of one call.
TEST_P(ResamplePathTest, BandsOnThreadsMatchOneCall) {
    std::mt19937 rng(5);
    for (auto [sw, sh, dw, dh] : {std::array{1280, 720, 853, 480}, {333, 250, 1000, 751}}) {
        const auto src = randomImage(rng, sw, sh);
        std::vector<uint8_t> whole(size_t(dw) * dh * 4), banded(whole.size(), 0x55);
        resampleImageWith(GetParam(), src.data(), sw, sh, whole.data(), dw, dh);
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] {
                resampleRows(src.data(), sw, sh, ptrdiff_t(sw) * 4, banded.data(), dw, dh,
                             ptrdiff_t(dw) * 4, PixelLayout::Bgrx32, dh * i / 4,
                             dh * (i + 1) / 4 - dh * i / 4, GetParam());
            });
        for (auto &t : threads)
            t.join();
        ASSERT_EQ(banded, whole) << sw << "x" << sh;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ResamplePathTest,
                         ::testing::Values(ResamplePath::Scalar, ResamplePath::Avx2,
                                           ResamplePath::Avx512),
                         [](const auto &info) { return std::string(pathName(info.param)); });

// Rows outside the destination are not written; an empty range writes nothing.
TEST(ResampleRowsTest, RangesAreClippedToTheDestination) {
    std::mt19937 rng(9);
    const auto src = randomImage(rng, 40, 30);
    std::vector<uint8_t> whole(size_t(17) * 11 * 4);
    resampleImage(src.data(), 40, 30, whole.data(), 17, 11);
    std::vector<uint8_t> out(size_t(17) * 13 * 4, 0x55);
    uint8_t *origin = out.data() + 17 * 4;  // one spare row above and below
    resampleRows(src.data(), 40, 30, 160, origin, 17, 11, 68, PixelLayout::Bgrx32, -5, 4);
    resampleRows(src.data(), 40, 30, 160, origin, 17, 11, 68, PixelLayout::Bgrx32, 3, 0);
    for (uint8_t b : out)
        ASSERT_EQ(b, 0x55);
    resampleRows(src.data(), 40, 30, 160, origin, 17, 11, 68, PixelLayout::Bgrx32, -5, 9);
    resampleRows(src.data(), 40, 30, 160, origin, 17, 11, 68, PixelLayout::Bgrx32, 4, 100);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), origin));
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 68, [](uint8_t b) { return b == 0x55; }));
    EXPECT_TRUE(std::all_of(out.end() - 68, out.end(), [](uint8_t b) { return b == 0x55; }));
}

bool samePlan(const resample_kernels::ResamplePlan &a, const resample_kernels::ResamplePlan &b) {
    auto sameTaps = [](const resample_kernels::TapTable &x, const resample_kernels::TapTable &y) {
        if (x.weights != y.weights || x.taps.size() != y.taps.size())
            return false;
        for (size_t i = 0; i < x.taps.size(); ++i)
            if (x.taps[i].left != y.taps[i].left || x.taps[i].count != y.taps[i].count ||
                x.taps[i].weights - x.weights.data() != y.taps[i].weights - y.weights.data())
                return false;
        return true;
    };
    return sameTaps(a.vertical, b.vertical) && sameTaps(a.horizontal, b.horizontal) &&
           a.padded.count == b.padded.count && a.padded.left == b.padded.left &&
           a.padded.weights == b.padded.weights && a.integerWeights == b.integerWeights &&
           a.verticalShift == b.verticalShift;
}

// A pair of sizes in use keeps its plan; one pushed out by many others is built again, alike.
TEST(ResamplePlanTest, PlansAreKeptWhileTheirSizesAreInUse) {
    const auto first = resample_kernels::resamplePlan(1920, 1080, 640, 480);
    EXPECT_EQ(resample_kernels::resamplePlan(1920, 1080, 640, 480), first);
    EXPECT_TRUE(samePlan(*first, *resample_kernels::buildResamplePlan(1920, 1080, 640, 480)));
    EXPECT_NE(resample_kernels::resamplePlan(1920, 1080, 480, 640), first);
    for (int i = 0; i < 20; ++i)
        resample_kernels::resamplePlan(100 + i, 100, 50, 50);
    const auto again = resample_kernels::resamplePlan(1920, 1080, 640, 480);
    EXPECT_NE(again, first);
    EXPECT_TRUE(samePlan(*again, *first));
    EXPECT_EQ(first->padded.left.size(), 640u);
    EXPECT_EQ(first->verticalShift.size(), 480u);
}

// Threads on more sizes than the cache holds, plans coming and going, get the bytes one
// thread gets.
TEST(ResamplePlanTest, ThreadsSharingTheCacheGetTheSameBytes) {
    std::mt19937 rng(13);
    struct Case {
        int sw, sh, dw, dh;
        std::vector<uint8_t> src, expected;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 12; ++i) {
        Case c{40 + 7 * i, 30 + 5 * i, 20 + 11 * i, 60 - 3 * i, {}, {}};
        c.src = randomImage(rng, c.sw, c.sh);
        c.expected = reference(c.src, c.sw, c.sh, c.dw, c.dh);
        cases.push_back(std::move(c));
    }
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (size_t i = 0; i < cases.size(); ++i) {
                    const Case &c = cases[(i + size_t(t) * 5) % cases.size()];
                    std::vector<uint8_t> out(c.expected.size());
                    resampleImage(c.src.data(), c.sw, c.sh, out.data(), c.dw, c.dh);
                    if (out != c.expected)
                        ++mismatches;
                }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
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
        resampleImage(packed.data(), sw, sh, expected.data(), dw, dh);
        for (auto path : {ResamplePath::Scalar, ResamplePath::Avx2, ResamplePath::Avx512}) {
            std::vector<uint8_t> out(expected.size());
            resampleImageStrided(&flipped[size_t(sh - 1) * stride], sw, sh, -stride, out.data(), dw,
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
        resampleImage(src.data(), sw, sh, expected.data(), dw, dh);
        const ptrdiff_t stride = ptrdiff_t(dw) * 3 + 7;
        for (auto path : {ResamplePath::Scalar, ResamplePath::Avx2, ResamplePath::Avx512}) {
            std::vector<uint8_t> frame(size_t(stride) * (dh + 2), 0xAB);
            uint8_t *origin = frame.data() + stride + 2;
            resampleInto(src.data(), sw, sh, ptrdiff_t(sw) * 4, origin, dw, dh, stride,
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
