// SPDX-License-Identifier: LGPL-2.1-or-later
// The daemon's conversions of the frame on show: each layout converted once per frame, equal to
// the conversion itself, and a conversion a PipeWire buffer is still being filled from never
// written over by the next frame's; lumacam run writes the loopback node the committed frame,
// converted where it lies in the channel, and black before the first commit.
#include "programs/lumacam/converted_frames.h"

#include <linux/videodev2.h>

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/frame_convert.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "programs/lumacam/lumacam_daemon.h"
#include "tests/device/test_camera.h"
#include "tests/programs/lumacam/fake_loopback.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

constexpr int kWidth = 70, kHeight = 37;

std::vector<uint8_t> randomFrame(unsigned seed) {
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 3);
    std::mt19937 rng(seed);
    for (auto &b : frame)
        b = uint8_t(rng());
    return frame;
}

std::vector<uint8_t> direct(FrameLayout layout, const std::vector<uint8_t> &frame) {
    std::vector<uint8_t> out(layoutSize(layout, kWidth, kHeight));
    if (layout == FrameLayout::Yuyv)
        bgrToYuyv(frame.data(), kWidth, kHeight, out.data());
    else if (layout == FrameLayout::I420)
        bgrToI420(frame.data(), kWidth, kHeight, out.data());
    else
        bgrToBgrx(frame.data(), kWidth, kHeight, out.data(), kWidth * 4);
    return out;
}

TEST(ConvertedFramesTest, EachLayoutOncePerGeneration) {
    ConvertedFrames converted(kWidth, kHeight);
    std::vector<uint8_t> frame = randomFrame(1);
    for (FrameLayout layout : {FrameLayout::Yuyv, FrameLayout::I420, FrameLayout::Bgrx}) {
        const SharedBytes first = converted.get(layout, frame.data(), 1);
        EXPECT_EQ(*first, direct(layout, frame));
        // The same generation again is the same conversion, not a new one.
        EXPECT_EQ(converted.get(layout, frame.data(), 1), first);
    }
    // A new generation is converted afresh.
    frame = randomFrame(2);
    EXPECT_EQ(*converted.get(FrameLayout::Yuyv, frame.data(), 2), direct(FrameLayout::Yuyv, frame));
    EXPECT_EQ(*converted.get(FrameLayout::I420, frame.data(), 2), direct(FrameLayout::I420, frame));
}

TEST(ConvertedFramesTest, AHeldConversionIsNeverOverwritten) {
    ConvertedFrames converted(kWidth, kHeight);
    const std::vector<uint8_t> first = randomFrame(3);
    const SharedBytes held = converted.get(FrameLayout::Yuyv, first.data(), 1);
    const std::vector<uint8_t> expected = direct(FrameLayout::Yuyv, first);
    // Frames go on while a reader holds the first one's conversion.
    for (uint64_t generation = 2; generation < 6; ++generation) {
        const std::vector<uint8_t> next = randomFrame(unsigned(generation) + 10);
        const SharedBytes now = converted.get(FrameLayout::Yuyv, next.data(), generation);
        EXPECT_EQ(*now, direct(FrameLayout::Yuyv, next));
        EXPECT_NE(now, held);
        ASSERT_EQ(*held, expected) << "overwritten at generation " << generation;
    }
}

// Buffers nobody else holds are written again, not made anew at every frame.
TEST(ConvertedFramesTest, BuffersAreReused) {
    ConvertedFrames converted(kWidth, kHeight);
    const std::vector<uint8_t> frame = randomFrame(4);
    const uint8_t *seen[2] = {converted.get(FrameLayout::Yuyv, frame.data(), 1)->data(),
                              converted.get(FrameLayout::Yuyv, frame.data(), 2)->data()};
    for (uint64_t generation = 3; generation < 9; ++generation) {
        const uint8_t *data = converted.get(FrameLayout::Yuyv, frame.data(), generation)->data();
        EXPECT_TRUE(data == seen[0] || data == seen[1]) << "generation " << generation;
    }
}

TEST(LumacamRunTest, TheLoopbackNodeGetsTheCommittedFrameAndBlackBefore) {
    test::TempRoot root;
    std::filesystem::create_directories(root.path() / "sys/module/v4l2loopback");
    const DeviceInstance device{"MEDIA", "0000"};
    ASSERT_TRUE(test::installCamera(device, "Lumaghost", {kWidth, kHeight, 30}).succeeded());

    test::FakeLoopback node;
    DaemonOptions options;
    options.seconds = 0.3;
    options.pipewire = false;
    options.openLoopback = [&](const std::string &) { return node.open(); };
    auto last = [&] {
        std::vector<uint8_t> frame = node.latest();
        frame.resize(std::min(frame.size(), yuyvSize(kWidth, kHeight)));
        return frame;
    };

    ASSERT_EQ(runDaemon(options), 0);
    const std::vector<uint8_t> black(size_t(kWidth) * kHeight * 3, 0);
    EXPECT_EQ(last(), direct(FrameLayout::Yuyv, black));

    std::unique_ptr<FrameChannel> channel;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(device), channel).succeeded());
    const std::vector<uint8_t> frame = randomFrame(7);
    uint32_t slot = 0;
    uint64_t token = 0;
    ASSERT_TRUE(channel->acquireSlot(slot, token).succeeded());
    std::memcpy(channel->slotData(slot), frame.data(), frame.size());
    ASSERT_TRUE(channel->commitSlot(slot, token).succeeded());
    ASSERT_EQ(runDaemon(options), 0);
    EXPECT_EQ(last(), direct(FrameLayout::Yuyv, frame));
}

}  // namespace
}  // namespace lumaghost
