// SPDX-License-Identifier: LGPL-2.1-or-later
// The upright pictures and video that `lumacam capture` writes of a camera frame.
#include "frames/frame_output.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace lumaghost {
namespace {

// A frame that came out upside down or with red and blue swapped fails here.
TEST(FrameOutputTest, PpmAndY4mAreUpright) {
    // 2 x 2, bottom row first: bottom = blue, green; top = red, white.
    const uint8_t frame[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    std::vector<uint8_t> ppm = frameToPpm(frame, 2, 2);
    const std::string header = "P6\n2 2\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 12);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + header.size()), header);
    const uint8_t rgb[] = {255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0};
    EXPECT_TRUE(std::equal(rgb, rgb + 12, ppm.begin() + header.size()));

    std::vector<uint8_t> y4m = frameToY4m(frame, 2, 2);
    ASSERT_EQ(y4m.size(), 6u + 12);
    EXPECT_EQ(y4m[6 + 1], 235);  // white, top right: full luma in limited range
    EXPECT_EQ(y4m[6 + 0], 81);   // red
    EXPECT_EQ(y4mHeader(320, 240, 30),
              "YUV4MPEG2 W320 H240 F30:1 Ip A1:1 C444 XCOLORRANGE=LIMITED\n");
}

}  // namespace
}  // namespace lumaghost
