// SPDX-License-Identifier: LGPL-2.1-or-later
// The loopback writer against a fake video node: the ioctl sequence, the format it sets, and whole
// frames written across partial and interrupted writes.
#include "programs/lumacam/v4l2_output.h"

#include <linux/videodev2.h>
#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "frames/frame_convert.h"

namespace lumaghost {
namespace {

class FakeNode : public VideoNode {
public:
    uint32_t caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE;
    bool adjustWidth = false;
    std::vector<unsigned long> requests;
    v4l2_format format{};
    v4l2_streamparm parm{};
    std::vector<uint8_t> written;
    std::vector<ssize_t>
        writeScript;  // results to give, in order: >0 partial size, -1 EINTR, -2 EAGAIN
    size_t writes = 0;

    int ioctl(unsigned long request, void *arg) override {
        requests.push_back(request);
        if (request == VIDIOC_QUERYCAP) {
            auto *c = static_cast<v4l2_capability *>(arg);
            std::strcpy(reinterpret_cast<char *>(c->card), "Lumaghost");
            c->capabilities = caps | V4L2_CAP_DEVICE_CAPS;
            c->device_caps = caps;
            return 0;
        }
        if (request == VIDIOC_S_PARM) {
            parm = *static_cast<v4l2_streamparm *>(arg);
            return 0;
        }
        if (request == VIDIOC_S_FMT) {
            format = *static_cast<v4l2_format *>(arg);
            if (adjustWidth)
                static_cast<v4l2_format *>(arg)->fmt.pix.width += 16;
            return 0;
        }
        errno = ENOTTY;
        return -1;
    }
    ssize_t write(const void *data, size_t size) override {
        ssize_t n = ssize_t(size);
        if (writes < writeScript.size()) {
            const ssize_t scripted = writeScript[writes];
            if (scripted < 0) {
                ++writes;
                errno = scripted == -1 ? EINTR : EAGAIN;
                return -1;
            }
            n = std::min<ssize_t>(scripted, n);
        }
        ++writes;
        auto *p = static_cast<const uint8_t *>(data);
        written.insert(written.end(), p, p + n);
        return n;
    }
};

TEST(V4l2OutputTest, SetsRateAndFormatAfterCheckingTheNode) {
    auto node = std::make_unique<FakeNode>();
    FakeNode *fake = node.get();
    std::unique_ptr<V4l2Output> out;
    ASSERT_EQ(V4l2Output::open(std::move(node), 320, 240, 30, OutputFormat::Yuyv, out), S_OK);
    EXPECT_EQ(fake->requests,
              (std::vector<unsigned long>{VIDIOC_QUERYCAP, VIDIOC_S_PARM, VIDIOC_S_FMT}));
    EXPECT_EQ(fake->parm.type, V4L2_BUF_TYPE_VIDEO_OUTPUT);
    EXPECT_EQ(fake->parm.parm.output.timeperframe.denominator, 30u);
    EXPECT_EQ(fake->format.type, V4L2_BUF_TYPE_VIDEO_OUTPUT);
    EXPECT_EQ(fake->format.fmt.pix.pixelformat, V4L2_PIX_FMT_YUYV);
    EXPECT_EQ(fake->format.fmt.pix.bytesperline, 640u);
    EXPECT_EQ(fake->format.fmt.pix.sizeimage, 320u * 240 * 2);

    auto i420 = std::make_unique<FakeNode>();
    FakeNode *second = i420.get();
    ASSERT_EQ(V4l2Output::open(std::move(i420), 321, 241, 25, OutputFormat::I420, out), S_OK);
    EXPECT_EQ(second->format.fmt.pix.pixelformat, V4L2_PIX_FMT_YUV420);
    EXPECT_EQ(second->format.fmt.pix.sizeimage, 321u * 241 + 2u * 161 * 121);
}

TEST(V4l2OutputTest, RefusesNodesItCannotUse) {
    std::unique_ptr<V4l2Output> out;
    auto capture = std::make_unique<FakeNode>();
    capture->caps = V4L2_CAP_VIDEO_CAPTURE;
    EXPECT_EQ(V4l2Output::open(std::move(capture), 320, 240, 30, OutputFormat::Yuyv, out),
              E_NOINTERFACE);
    auto adjusting = std::make_unique<FakeNode>();
    adjusting->adjustWidth = true;
    EXPECT_EQ(V4l2Output::open(std::move(adjusting), 320, 240, 30, OutputFormat::Yuyv, out),
              E_FAIL);
    EXPECT_EQ(V4l2Output::open(nullptr, 320, 240, 30, OutputFormat::Yuyv, out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
}

// Partial, interrupted and busy writes go on from where they stopped: the frame arrives whole,
// once, in order.
TEST(V4l2OutputTest, WholeFramesAcrossPartialWrites) {
    auto node = std::make_unique<FakeNode>();
    FakeNode *fake = node.get();
    fake->writeScript = {1000, -1, 7, -2, 50000};
    std::unique_ptr<V4l2Output> out;
    ASSERT_EQ(V4l2Output::open(std::move(node), 64, 48, 30, OutputFormat::Yuyv, out), S_OK);
    std::vector<uint8_t> frame(64 * 48 * 3);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 31);
    ASSERT_EQ(out->writeFrame(frame.data()), S_OK);
    std::vector<uint8_t> expected(yuyvSize(64, 48));
    bgrToYuyv(frame.data(), 64, 48, expected.data());
    EXPECT_EQ(fake->written, expected);
}

TEST(V4l2OutputTest, NoLoopbackInAnEmptyDirectory) {
    EXPECT_EQ(findLoopbackNode("Lumaghost", "/nonexistent"), "");
}

}  // namespace
}  // namespace lumaghost
