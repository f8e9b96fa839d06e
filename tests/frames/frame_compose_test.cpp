// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/frame_compose.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lumaghost {
namespace {

// A top-down test picture whose every pixel tells where it came from.
struct Picture {
    int width, height;
    std::vector<uint8_t> bytes;
    Picture(int w, int h) : width(w), height(h), bytes(size_t(w) * h * 4) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t *p = &bytes[(size_t(y) * w + x) * 4];
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = uint8_t(x / 256 * 16 + y / 256 + 1);
                p[3] = 0xEE;
            }
        }
    }
    ImageView view() const { return {bytes.data(), width, height, size_t(width) * 4}; }
};

struct Frame {
    int width, height;
    std::vector<uint8_t> bytes;
    Frame(int w, int h) : width(w), height(h), bytes(size_t(w) * h * 3, 0x55) {}
    CameraFrame camera() { return {bytes.data(), width, height, bytes.size()}; }
    // The pixel at (x, y) counted from the top, as blue, green, red.
    const uint8_t *at(int x, int y) const {
        return &bytes[(size_t(height - 1 - y) * width + x) * 3];
    }
};

TEST(ComposePictureFrameTest, CameraSizedPictureIsCopiedWhateverTheSwitches) {
    Picture pic(32, 24);
    for (int s = 0; s < 8; ++s) {
        Frame f(32, 24);
        composePictureFrame(pic.view(), f.camera(), {s & 1, (s >> 1) & 1, (s >> 2) & 1});
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(std::memcmp(f.at(x, y), &pic.bytes[(size_t(y) * 32 + x) * 4], 3), 0);
        }
    }
}

// The first three bytes of the frame are the bottom-left pixel.
TEST(ComposePictureFrameTest, FrameStartsWithTheBottomLeftPixel) {
    Picture pic(320, 240);
    Frame f(320, 240);
    composePictureFrame(pic.view(), f.camera(), {1, 1, 1});
    EXPECT_EQ(f.bytes[0], 0);    // x = 0
    EXPECT_EQ(f.bytes[1], 239);  // y = 239
    EXPECT_EQ(f.bytes[2], 1);
}

TEST(ComposePictureFrameTest, CentredLargerPictureShowsItsMiddle) {
    Picture pic(400, 300);
    Frame f(320, 240);
    composePictureFrame(pic.view(), f.camera(), {0, 0, 1});
    for (int y = 0; y < 240; y += 7) {
        for (int x = 0; x < 320; x += 5)
            ASSERT_EQ(std::memcmp(f.at(x, y), &pic.bytes[(size_t(y + 30) * 400 + x + 40) * 4], 3),
                      0);
    }
}

TEST(ComposePictureFrameTest, LetterboxLeavesBlackBars) {
    Picture pic(100, 100);
    Frame f(320, 240);
    composePictureFrame(pic.view(), f.camera(), {1, 1, 0});
    const uint8_t black[3] = {0, 0, 0};
    for (int y = 0; y < 240; ++y) {
        for (int x : {0, 39, 280, 319})
            ASSERT_EQ(std::memcmp(f.at(x, y), black, 3), 0) << x << "," << y;
        ASSERT_NE(std::memcmp(f.at(40, y), black, 3), 0) << y;
    }
}

// Natural size at the top-left; the rest of the frame is black, nothing of the old buffer stays.
TEST(ComposePictureFrameTest, NaturalSizeAtTopLeft) {
    Picture pic(10, 5);
    Frame f(16, 8);
    composePictureFrame(pic.view(), f.camera(), {0, 0, 0});
    EXPECT_EQ(std::memcmp(f.at(9, 4), &pic.bytes[(4 * 10 + 9) * 4], 3), 0);
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_EQ(std::memcmp(f.at(10, 0), black, 3), 0);
    EXPECT_EQ(std::memcmp(f.at(0, 5), black, 3), 0);
}

// A picture one pixel wide or high, or of one pixel, shows in every switch combination and in
// either orientation of the frame; where the switches fill the frame, it fills all of it.
TEST(ComposePictureFrameTest, OnePixelPicturesShowUnderEverySwitch) {
    const uint8_t colour[3] = {0x20, 0x90, 0xF0};
    for (auto [pw, ph] : {std::pair{1, 1}, std::pair{1, 100}, std::pair{100, 1}, std::pair{1, 1000},
                          std::pair{1000, 1}}) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < pw * ph; ++i)
            bytes.insert(bytes.end(), {colour[0], colour[1], colour[2], 0xFF});
        const ImageView picture{bytes.data(), pw, ph, size_t(pw) * 4};
        for (auto [tw, th] : {std::pair{320, 240}, std::pair{240, 320}}) {
            for (int s = 0; s < 8; ++s) {
                const FitFlags flags{s & 1, (s >> 1) & 1, (s >> 2) & 1};
                Frame f(tw, th);
                composePictureFrame(picture, f.camera(), flags);
                size_t shown = 0;
                for (size_t i = 0; i < f.bytes.size(); i += 3)
                    shown += std::memcmp(&f.bytes[i], colour, 3) == 0;
                const bool fills = flags.stretch && (!flags.keepRatio || flags.center);
                const std::string what = std::to_string(pw) + "x" + std::to_string(ph) + " into " +
                                         std::to_string(tw) + "x" + std::to_string(th) +
                                         " switches " + std::to_string(s);
                EXPECT_GT(shown, 0u) << what;
                if (fills) {
                    EXPECT_EQ(shown, size_t(tw) * th) << what;
                }
            }
        }
    }
}

TEST(ReadSurfaceTest, WritesNoMoreThanTheFrameHolds) {
    Picture pic(4, 4);
    std::vector<uint8_t> frame(4 * 4 * 3 + 8, 0xAB);
    readSurfaceIntoFrame(pic.view(), {0, 0, 4, 4}, frame.data(), 20);
    EXPECT_EQ(frame[20], 0xAB);
    EXPECT_EQ(frame[17], pic.bytes[(3 * 4 + 1) * 4 + 2]);  // the bottom row's second pixel, red
}

// A pick frame of the camera's width stays where it is, whatever its height; others are
// re-centred at the camera size.
TEST(CapturePickedRegionTest, OnlyAPickFrameOfTheCameraWidthKeepsItsPlace) {
    Picture view(200, 150);
    Frame f(64, 48);
    PickFrame pick{10, 20, 74, 30, true};
    capturePickedRegion(view.view(), pick, f.camera());
    EXPECT_EQ(pick.left, 10);
    EXPECT_EQ(pick.top, 20);
    EXPECT_EQ(std::memcmp(f.at(0, 0), &view.bytes[(20 * 200 + 10) * 4], 3), 0);
    EXPECT_EQ(std::memcmp(f.at(63, 47), &view.bytes[(67 * 200 + 73) * 4], 3), 0);

    PickFrame hidden{100, 100, 110, 111, false};
    placePickFrame(hidden, 64, 48);
    EXPECT_EQ(hidden.left, 105 - 32);
    EXPECT_EQ(hidden.top, 105 - 24);
    EXPECT_EQ(hidden.right, hidden.left + 64);
    EXPECT_EQ(hidden.bottom, hidden.top + 48);
    EXPECT_TRUE(hidden.shown);

    // Beyond the view's edge the frame reads black.
    PickFrame corner{-10, -10, 54, 38, true};
    capturePickedRegion(view.view(), corner, f.camera());
    const uint8_t black[3] = {0, 0, 0};
    EXPECT_EQ(std::memcmp(f.at(0, 0), black, 3), 0);
    EXPECT_EQ(std::memcmp(f.at(10, 10), &view.bytes[0], 3), 0);
}

}  // namespace
}  // namespace lumaghost
