// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/camera_reader.h"

#include <cstring>

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "device/installed_devices.h"
#include "platform/paths.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

struct ReaderFixture : ::testing::Test {
    test::TempRoot root;
    RegistryHive hive = machineHive();
    DeviceInstance device{"MEDIA", "0000"};

    void SetUp() override {
        ASSERT_TRUE(hive.modify([&](HiveData &data) {
                            data.setValue(device.keyPath(), kFriendlyNameValue,
                                          RegValue::string("Reader Cam"));
                            data.setValue(device.keyPath(), kServiceValue,
                                          RegValue::string("lumacam"));
                            return S_OK;
                        })
                        .succeeded());
        ASSERT_TRUE(FrameChannel::create(frameChannelPath(device), {8, 6, 25}).succeeded());
    }

    // Commits a frame of one byte value through the camera link, as a writer does.
    void commit(uint8_t value) {
        CameraLink link;
        ASSERT_EQ(openCameraLink(link, "Reader Cam"), S_OK);
        ASSERT_EQ(pushFrameToCamera(link,
                                    [&](const FrameDescriptor &d) {
                                        std::memset(d.buffer(), value, d.byteCount);
                                        return S_OK;
                                    }),
                  S_OK);
    }
};

// What a writer commits through the camera link is what a reader of the same name gets, with
// the camera's own size and rate; a reader waiting for a commit wakes on it.
TEST_F(ReaderFixture, ReadsWhatTheLinkCommits) {
    std::unique_ptr<CameraReader> reader;
    ASSERT_EQ(CameraReader::open("Reader Cam", reader), S_OK);
    EXPECT_EQ(reader->format(), (ChannelFormat{8, 6, 25}));
    EXPECT_EQ(reader->frameBytes(), 8u * 6 * 3);
    std::vector<uint8_t> frame;
    EXPECT_FALSE(reader->readLatest(frame));  // nothing committed yet

    const uint64_t seen = reader->commitSequence();
    commit(0x42);
    EXPECT_NE(reader->waitForCommit(seen, 1000), seen);
    uint64_t sequence = 0;
    ASSERT_TRUE(reader->readLatest(frame, &sequence));
    EXPECT_EQ(sequence, reader->commitSequence());
    EXPECT_EQ(frame, std::vector<uint8_t>(8 * 6 * 3, 0x42));
}

// Only a Lumaghost device can be read; a name nobody has is not found, and nothing is handed
// out on failure.
TEST_F(ReaderFixture, OnlyLumaghostCamerasAreRead) {
    std::unique_ptr<CameraReader> reader;
    EXPECT_EQ(CameraReader::open(NamedFilter(FilterKind::V4l2, "Webcam", "/dev/video0"), reader),
              E_NOINTERFACE);
    EXPECT_EQ(CameraReader::open("Nobody's Cam", reader), VFW_E_NOT_FOUND);
    EXPECT_EQ(reader, nullptr);
    // A Lumaghost filter whose channel file holds no channel.
    test::writeFile(root.path() / "other.frames", "no channel");
    EXPECT_EQ(CameraReader::open(NamedFilter(FilterKind::Lumaghost, "Broken",
                                             (root.path() / "other.frames").string()),
                                 reader),
              hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_EQ(reader, nullptr);
}

// A camera re-installed at its frame size is followed, whatever its new rate; one of another
// size is not, and the reader keeps its channel.
TEST_F(ReaderFixture, FollowsAReplacedChannelOfTheSameSizeOnly) {
    std::unique_ptr<CameraReader> reader;
    ASSERT_EQ(CameraReader::open("Reader Cam", reader), S_OK);
    EXPECT_FALSE(reader->followReplacedChannel());  // nothing replaced

    ASSERT_TRUE(FrameChannel::create(frameChannelPath(device), {8, 6, 10}).succeeded());
    EXPECT_TRUE(reader->followReplacedChannel());
    commit(0x17);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(reader->readLatest(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(8 * 6 * 3, 0x17));

    ASSERT_TRUE(FrameChannel::create(frameChannelPath(device), {16, 12, 10}).succeeded());
    EXPECT_FALSE(reader->followReplacedChannel());
    EXPECT_EQ(reader->format().width, 8u);
    ASSERT_TRUE(reader->readLatest(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(8 * 6 * 3, 0x17));
}

}  // namespace
}  // namespace lumaghost
