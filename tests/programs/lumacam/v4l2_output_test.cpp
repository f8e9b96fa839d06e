// SPDX-License-Identifier: LGPL-2.1-or-later
// The loopback writer against a v4l2loopback stand-in: the format it sets, frames through mapped
// buffers, a node that takes a new writer after every restart with and without a reader, the
// write() path where streaming is refused, and failures that say what the node refused.
#include "programs/lumacam/v4l2_output.h"

#include <linux/videodev2.h>
#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "frames/frame_convert.h"
#include "tests/programs/lumacam/fake_loopback.h"

namespace lumaghost {
namespace {

using test::FakeLoopback;

std::vector<uint8_t> patternFrame(int width, int height, int seed) {
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 31 + seed * 7);
    return frame;
}

std::vector<uint8_t> yuyvOf(const std::vector<uint8_t> &frame, int width, int height) {
    std::vector<uint8_t> out(yuyvSize(width, height));
    bgrToYuyv(frame.data(), width, height, out.data());
    return out;
}

// What the node holds of a frame: its first frameSize bytes (buffers are page-rounded).
std::vector<uint8_t> shown(const FakeLoopback &node, size_t size) {
    std::vector<uint8_t> latest = node.latest();
    latest.resize(std::min(latest.size(), size));
    return latest;
}

// Frames go through the node's mapped buffers in turn, each one whole.
TEST(V4l2OutputTest, StreamsFramesThroughMappedBuffers) {
    FakeLoopback node;
    std::unique_ptr<V4l2Output> out;
    ASSERT_EQ(V4l2Output::open(node.open(), 64, 48, 30, OutputFormat::Yuyv, out), S_OK);
    ASSERT_TRUE(out->streaming());
    EXPECT_TRUE(node.offersCapture());
    EXPECT_FALSE(node.offersOutput());
    for (int i = 0; i < 5; ++i) {
        const std::vector<uint8_t> frame = patternFrame(64, 48, i);
        ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
        EXPECT_EQ(shown(node, out->frameSize()), yuyvOf(frame, 64, 48)) << "frame " << i;
    }
    EXPECT_EQ(node.frames(), 5u);
}

// After each writer goes, the next one feeds the node: with a reader holding it across the
// restarts (the format stays the first writer's) and without one.
TEST(V4l2OutputTest, TheNodeTakesANewWriterAfterEveryRestart) {
    FakeLoopback node;
    for (bool withReader : {false, true}) {
        std::unique_ptr<V4l2Device> reader;
        for (int run = 0; run < 10; ++run) {
            std::unique_ptr<V4l2Output> out;
            ASSERT_EQ(V4l2Output::open(node.open(), 320, 240, 30, OutputFormat::Yuyv, out), S_OK)
                << (withReader ? "with" : "without") << " a reader, run " << run;
            if (withReader && !reader)
                reader = node.attachReader();
            const std::vector<uint8_t> frame = patternFrame(320, 240, run);
            ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
            EXPECT_EQ(shown(node, out->frameSize()), yuyvOf(frame, 320, 240));
        }
    }
}

// Where streaming is refused, frames are written; partial, interrupted and busy writes go on
// from where they stopped.
TEST(V4l2OutputTest, WritesFramesWhereStreamingIsRefused) {
    class PartialWrites final : public V4l2Device {
    public:
        std::vector<uint8_t> written;
        std::vector<int> script = {1000, -EINTR, 7, -EAGAIN, 50000};
        size_t calls = 0;
        int ioctl(unsigned long request, void *argument) override {
            if (request == VIDIOC_QUERYCAP) {
                auto *c = static_cast<v4l2_capability *>(argument);
                c->device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE;
                c->capabilities = c->device_caps | V4L2_CAP_DEVICE_CAPS;
                return 0;
            }
            return request == VIDIOC_REQBUFS ? EINVAL : 0;
        }
        int write(const void *data, size_t size, size_t &n) override {
            const int step = calls < script.size() ? script[calls] : int(size);
            ++calls;
            if (step < 0)
                return -step;
            n = std::min(size, size_t(step));
            auto *p = static_cast<const uint8_t *>(data);
            written.insert(written.end(), p, p + n);
            return 0;
        }
        int map(size_t, uint32_t, void *&) override { return ENOTTY; }
        void unmap(void *, size_t) override {}
    };
    auto device = std::make_unique<PartialWrites>();
    PartialWrites *fake = device.get();
    std::unique_ptr<V4l2Output> out;
    ASSERT_EQ(V4l2Output::open(std::move(device), 64, 48, 30, OutputFormat::Yuyv, out), S_OK);
    EXPECT_FALSE(out->streaming());
    const std::vector<uint8_t> frame = patternFrame(64, 48, 3);
    ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
    EXPECT_EQ(fake->written, yuyvOf(frame, 64, 48));

    FakeLoopback refusing;
    refusing.streamingRefused = true;
    ASSERT_EQ(V4l2Output::open(refusing.open(), 64, 48, 30, OutputFormat::Yuyv, out), S_OK);
    ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
    EXPECT_EQ(shown(refusing, out->frameSize()), yuyvOf(frame, 64, 48));
}

// A node with no buffer free drops that frame, and takes the next.
TEST(V4l2OutputTest, AFrameWithoutAFreeBufferIsDropped) {
    FakeLoopback node;
    std::unique_ptr<V4l2Output> out;
    ASSERT_EQ(V4l2Output::open(node.open(), 32, 24, 30, OutputFormat::Yuyv, out), S_OK);
    const std::vector<uint8_t> frame = patternFrame(32, 24, 1);
    ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
    ASSERT_EQ(out->writeFrame(frame.data()), S_OK);  // both buffers are queued now
    node.dequeueRefused = true;
    EXPECT_EQ(out->writeFrame(frame.data()), S_FALSE);
    EXPECT_EQ(out->writeFrame(frame.data()), S_OK);
    EXPECT_EQ(node.frames(), 3u);
}

// What cannot be used is refused, and the reason says what the node refused.
TEST(V4l2OutputTest, RefusedNodesSayWhy) {
    std::unique_ptr<V4l2Output> out;
    std::string why;
    EXPECT_EQ(V4l2Output::open(nullptr, 320, 240, 30, OutputFormat::Yuyv, out), E_INVALIDARG);

    // A writer fed the node by write() and went, while a reader holds it: as v4l2loopback 0.12
    // does, the node offers neither side to a new writer.
    FakeLoopback fedByWrite;
    std::unique_ptr<V4l2Device> reader = fedByWrite.attachReader();
    {
        std::unique_ptr<V4l2Device> writer = fedByWrite.open();
        size_t n = 0;
        const std::vector<uint8_t> bytes(100);
        (void)writer->write(bytes.data(), bytes.size(), n);
    }
    EXPECT_EQ(V4l2Output::open(fedByWrite.open(), 320, 240, 30, OutputFormat::Yuyv, out, &why),
              hresultFromErrno(EINVAL));
    EXPECT_EQ(why, "VIDIOC_S_FMT: invalid argument");

    // A reader holds the format an earlier writer set.
    FakeLoopback held;
    {
        ASSERT_EQ(V4l2Output::open(held.open(), 640, 480, 30, OutputFormat::Yuyv, out), S_OK);
        reader = held.attachReader();
        out.reset();
    }
    EXPECT_EQ(V4l2Output::open(held.open(), 320, 240, 30, OutputFormat::Yuyv, out, &why), E_FAIL);
    EXPECT_EQ(why, "it keeps the format 640x480 YUYV instead of 320x240 YUYV");
    EXPECT_EQ(out, nullptr);

    class Capture final : public V4l2Device {
    public:
        int ioctl(unsigned long request, void *argument) override {
            if (request != VIDIOC_QUERYCAP)
                return EBUSY;
            auto *c = static_cast<v4l2_capability *>(argument);
            std::strcpy(reinterpret_cast<char *>(c->driver), "uvcvideo");
            c->device_caps = V4L2_CAP_VIDEO_CAPTURE;
            c->capabilities = c->device_caps | V4L2_CAP_DEVICE_CAPS;
            return 0;
        }
        int write(const void *, size_t, size_t &) override { return EBUSY; }
        int map(size_t, uint32_t, void *&) override { return EBUSY; }
        void unmap(void *, size_t) override {}
    };
    EXPECT_EQ(
        V4l2Output::open(std::make_unique<Capture>(), 320, 240, 30, OutputFormat::Yuyv, out, &why),
        E_NOINTERFACE);
    EXPECT_EQ(why, "it is not a video output");
}

TEST(V4l2OutputTest, ErrorsNameTheirCauseForAUser) {
    EXPECT_EQ(describeV4l2Error(EACCES), "permission denied (not in group video?)");
    EXPECT_EQ(describeV4l2Error(EBUSY), "device or resource busy (another program is using it)");
    EXPECT_EQ(describeV4l2Error(ENOENT), "no such file or directory");
}

TEST(V4l2OutputTest, NoLoopbackInAnEmptyDirectory) {
    EXPECT_EQ(findLoopbackNode("Lumaghost", "/nonexistent"), "");
}

}  // namespace
}  // namespace lumaghost
