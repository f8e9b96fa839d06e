// SPDX-License-Identifier: LGPL-2.1-or-later
#include "programs/lumacam/v4l2_output.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "frames/frame_convert.h"
#include "platform/posix_file.h"
#include "platform/video_nodes.h"

namespace lumaghost {

namespace {

class RealVideoNode final : public VideoNode {
public:
    explicit RealVideoNode(UniqueFd fd) : fd_(std::move(fd)) {}
    int ioctl(unsigned long request, void *argument) override {
        return ioctlRetry(fd_.get(), request, argument);
    }
    ssize_t write(const void *data, size_t size) override { return ::write(fd_.get(), data, size); }

private:
    UniqueFd fd_;
};

}  // namespace

std::unique_ptr<VideoNode> openVideoNode(const std::string &path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd)
        return nullptr;
    return std::make_unique<RealVideoNode>(std::move(fd));
}

std::string findLoopbackNode(const std::string &label, const std::string &directory) {
    for (const VideoNodeInfo &node : listVideoNodes(directory)) {
        if (node.card == label && (node.capabilities & V4L2_CAP_VIDEO_OUTPUT))
            return node.path.string();
    }
    return {};
}

HResult V4l2Output::open(std::unique_ptr<VideoNode> node, int width, int height, int fps,
                         OutputFormat format, std::unique_ptr<V4l2Output> &out) {
    if (!node || width <= 0 || height <= 0 || fps <= 0)
        return E_INVALIDARG;
    v4l2_capability cap{};
    if (node->ioctl(VIDIOC_QUERYCAP, &cap) < 0)
        return E_FAIL;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_OUTPUT))
        return E_NOINTERFACE;

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    parm.parm.output.timeperframe.numerator = 1;
    parm.parm.output.timeperframe.denominator = uint32_t(fps);
    (void)node->ioctl(VIDIOC_S_PARM, &parm);  // a loopback without rate control still works

    const size_t size =
        format == OutputFormat::Yuyv ? yuyvSize(width, height) : i420Size(width, height);
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    fmt.fmt.pix.width = uint32_t(width);
    fmt.fmt.pix.height = uint32_t(height);
    fmt.fmt.pix.pixelformat =
        format == OutputFormat::Yuyv ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_YUV420;
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    fmt.fmt.pix.bytesperline =
        format == OutputFormat::Yuyv ? uint32_t((width + 1) / 2 * 4) : uint32_t(width);
    fmt.fmt.pix.sizeimage = uint32_t(size);
    fmt.fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    if (node->ioctl(VIDIOC_S_FMT, &fmt) < 0)
        return E_FAIL;
    // The driver may adjust the format; only what we write is acceptable.
    if (fmt.fmt.pix.width != uint32_t(width) || fmt.fmt.pix.height != uint32_t(height) ||
        fmt.fmt.pix.pixelformat !=
            (format == OutputFormat::Yuyv ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_YUV420))
        return E_FAIL;

    std::unique_ptr<V4l2Output> output(new V4l2Output);
    output->node_ = std::move(node);
    output->width_ = width;
    output->height_ = height;
    output->format_ = format;
    output->buffer_.resize(size);
    out = std::move(output);
    return S_OK;
}

HResult V4l2Output::writeFrame(const uint8_t *frame) {
    if (format_ == OutputFormat::Yuyv)
        bgrToYuyv(frame, width_, height_, buffer_.data());
    else
        bgrToI420(frame, width_, height_, buffer_.data());
    return writeConverted(buffer_.data());
}

HResult V4l2Output::writeConverted(const uint8_t *data) {
    // Partial writes go on where they stopped; interrupted and busy writes are retried.
    const uint8_t *p = data;
    size_t left = buffer_.size();
    int retries = 0;
    while (left > 0) {
        const ssize_t n = node_->write(p, left);
        if (n < 0) {
            if ((errno == EINTR || errno == EAGAIN) && ++retries < 1000)
                continue;
            return E_FAIL;
        }
        if (n == 0)
            return E_FAIL;
        p += n;
        left -= size_t(n);
    }
    return S_OK;
}

}  // namespace lumaghost
