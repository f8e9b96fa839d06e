// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/fit_geometry.h"

#include <gtest/gtest.h>

namespace lumaghost {
namespace {

TEST(FitAspectTest, LargestRectangleOfTheFirstShapeInsideTheSecond) {
    EXPECT_EQ(fitAspect(320, 240, 320, 240), (Size{320, 240}));
    EXPECT_EQ(fitAspect(100, 100, 320, 240), (Size{240, 240}));
    EXPECT_EQ(fitAspect(320, 240, 100, 100), (Size{100, 75}));
    EXPECT_EQ(fitAspect(400, 100, 320, 240), (Size{320, 80}));
    EXPECT_EQ(fitAspect(320, 240, 400, 100), (Size{133, 100}));  // 133.33 truncated
    EXPECT_EQ(fitAspect(640, 480, 320, 240), (Size{320, 240}));
}

// A side that truncates to nothing keeps one pixel: the crop of a picture one pixel wide or
// high, and the letterbox of one, are never empty.
TEST(FitAspectTest, OnePixelSidesAreKept) {
    EXPECT_EQ(fitAspect(320, 240, 1, 100), (Size{1, 1}));     // 1 x 0.75
    EXPECT_EQ(fitAspect(320, 240, 1, 1), (Size{1, 1}));       // 1 x 0.75
    EXPECT_EQ(fitAspect(240, 320, 100, 1), (Size{1, 1}));     // 0.75 x 1
    EXPECT_EQ(fitAspect(240, 320, 1, 1), (Size{1, 1}));       // 0.75 x 1
    EXPECT_EQ(fitAspect(320, 240, 100, 1), (Size{1, 1}));     // 1.33 x 1
    EXPECT_EQ(fitAspect(1, 1000, 320, 240), (Size{1, 240}));  // 0.24 x 240
    EXPECT_EQ(fitAspect(1000, 1, 320, 240), (Size{320, 1}));  // 320 x 0.32
    EXPECT_EQ(fitAspect(0, 5, 320, 240), (Size{0, 0}));
    EXPECT_EQ(fitAspect(320, 240, 5, 0), (Size{0, 0}));
}

struct PictureCase {
    Size picture;
    FitFlags flags;
    PictureFit expected;
};

class FitPictureTest : public ::testing::TestWithParam<PictureCase> {};

// A picture cut on the wrong side, placed a pixel off, rounded the other way or scaled where it
// should not be fails one of these worked cases.
TEST_P(FitPictureTest, CutAndPlacementFollowTheSwitches) {
    const auto &c = GetParam();
    EXPECT_EQ(fitPicture(c.picture, {320, 240}, c.flags), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitPictureTest,
    ::testing::Values(
        // The camera's own size is drawn 1:1 whatever the switches.
        PictureCase{{320, 240}, {0, 0, 0}, {{0, 0, 320, 240}, {0, 0, 320, 240}}},
        PictureCase{{320, 240}, {1, 1, 1}, {{0, 0, 320, 240}, {0, 0, 320, 240}}},
        // Natural size at the top-left corner, cut at the target's edges.
        PictureCase{{400, 100}, {0, 1, 0}, {{0, 0, 320, 100}, {0, 0, 320, 100}}},
        // Centred: the middle of a larger picture, a smaller one in the middle.
        PictureCase{{400, 300}, {0, 0, 1}, {{40, 30, 320, 240}, {0, 0, 320, 240}}},
        PictureCase{{100, 50}, {0, 1, 1}, {{0, 0, 100, 50}, {110, 95, 100, 50}}},
        // Odd differences: the halves truncate, so one more column or row is stretched over.
        PictureCase{{401, 241}, {0, 0, 1}, {{40, 0, 321, 241}, {0, 0, 320, 240}}},
        PictureCase{{101, 51}, {0, 0, 1}, {{0, 0, 101, 51}, {109, 94, 102, 52}}},
        PictureCase{{100, 100}, {1, 0, 0}, {{0, 0, 100, 100}, {0, 0, 320, 240}}},
        PictureCase{{100, 100}, {1, 1, 0}, {{0, 0, 100, 100}, {40, 0, 240, 240}}},
        PictureCase{{100, 100}, {1, 1, 1}, {{0, 12, 100, 75}, {0, 0, 320, 240}}},
        // One pixel wide or high: pan and scan crops one source pixel, letterbox draws a line.
        PictureCase{{1, 100}, {1, 1, 1}, {{0, 49, 1, 1}, {0, 0, 320, 240}}},
        PictureCase{{100, 1}, {1, 1, 1}, {{49, 0, 1, 1}, {0, 0, 320, 240}}},
        PictureCase{{1, 1}, {1, 1, 1}, {{0, 0, 1, 1}, {0, 0, 320, 240}}},
        PictureCase{{1, 1000}, {1, 1, 0}, {{0, 0, 1, 1000}, {159, 0, 1, 240}}},
        PictureCase{{1000, 1}, {1, 1, 0}, {{0, 0, 1000, 1}, {0, 119, 320, 1}}},
        PictureCase{{1, 1}, {1, 1, 0}, {{0, 0, 1, 1}, {40, 0, 240, 240}}}));

struct VideoCase {
    Size input;
    FitFlags flags;
    VideoFit expected;
};

class FitVideoTest : public ::testing::TestWithParam<VideoCase> {};

// A video frame cropped, scaled or placed otherwise than the switches say fails one of these
// worked cases.
TEST_P(FitVideoTest, CropScaleAndPlacementFollowTheSwitches) {
    const auto &c = GetParam();
    EXPECT_EQ(fitVideo(c.input, {320, 240}, c.flags), c.expected);
}

VideoFit copyOnly(Rect source, int column, int row) {
    VideoFit f;
    f.copySource = source;
    f.frameColumn = column;
    f.frameRow = row;
    return f;
}

VideoFit scaled(bool crop, Rect cropRect, Size from, Size to, int column, int row) {
    VideoFit f;
    f.crop = crop;
    f.cropRect = cropRect;
    f.scale = true;
    f.scaleFrom = from;
    f.scaleTo = to;
    f.copySource = {0, 0, to.width, to.height};
    f.frameColumn = column;
    f.frameRow = row;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitVideoTest,
    ::testing::Values(
        VideoCase{{320, 240}, {1, 1, 1}, copyOnly({0, 0, 320, 240}, 0, 0)},
        VideoCase{{320, 240}, {0, 0, 0}, copyOnly({0, 0, 320, 240}, 0, 0)},
        VideoCase{{400, 300}, {0, 1, 1}, copyOnly({40, 30, 320, 240}, 0, 0)},
        VideoCase{{160, 120}, {0, 1, 0}, copyOnly({0, 0, 160, 120}, 0, 0)},
        VideoCase{{160, 120}, {0, 0, 1}, copyOnly({0, 0, 160, 120}, 80, 60)},
        VideoCase{{640, 480}, {1, 0, 0}, scaled(false, {}, {640, 480}, {320, 240}, 0, 0)},
        VideoCase{{640, 480}, {1, 1, 0}, scaled(false, {}, {640, 480}, {320, 240}, 0, 0)},
        VideoCase{
            {640, 480}, {1, 1, 1}, scaled(true, {0, 0, 640, 480}, {640, 480}, {320, 240}, 0, 0)},
        VideoCase{{400, 100}, {1, 1, 0}, scaled(false, {}, {400, 100}, {320, 80}, 0, 80)},
        VideoCase{
            {400, 100}, {1, 1, 1}, scaled(true, {133, 0, 133, 100}, {133, 100}, {320, 240}, 0, 0)},
        // One pixel wide or high: one source pixel is cropped and scaled, or a line placed.
        VideoCase{{1, 100}, {1, 1, 1}, scaled(true, {0, 49, 1, 1}, {1, 1}, {320, 240}, 0, 0)},
        VideoCase{{100, 1}, {1, 1, 1}, scaled(true, {49, 0, 1, 1}, {1, 1}, {320, 240}, 0, 0)},
        VideoCase{{1, 1}, {1, 1, 1}, scaled(true, {0, 0, 1, 1}, {1, 1}, {320, 240}, 0, 0)},
        VideoCase{{1, 1000}, {1, 1, 0}, scaled(false, {}, {1, 1000}, {1, 240}, 159, 0)},
        VideoCase{{1000, 1}, {1, 1, 0}, scaled(false, {}, {1000, 1}, {320, 1}, 0, 119)}));

}  // namespace
}  // namespace lumaghost
