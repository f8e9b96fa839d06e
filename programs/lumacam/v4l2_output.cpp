// SPDX-License-Identifier: LGPL-2.1-or-later
#include "programs/lumacam/v4l2_output.h"

#include <linux/videodev2.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frames/frame_convert.h"
#include "platform/video_nodes.h"

namespace lumaghost {

namespace {

constexpr uint32_t kBuffersWanted = 4;

// `call` failed with `error`: the log's words for it, and the result.
HResult refuse(std::string *why, const char *call, int error) {
    if (why)
        *why = std::string(call) + ": " + describeV4l2Error(error);
    return hresultFromErrno(error);
}

HResult refuse(std::string *why, std::string text, HResult result) {
    if (why)
        *why = std::move(text);
    return result;
}

uint32_t fourccOf(OutputFormat format) {
    return format == OutputFormat::Yuyv ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_YUV420;
}

std::string describeFormat(uint32_t width, uint32_t height, uint32_t fourcc) {
    char text[64];
    std::snprintf(text, sizeof(text), "%ux%u %c%c%c%c", width, height, char(fourcc & 0xFF),
                  char((fourcc >> 8) & 0xFF), char((fourcc >> 16) & 0xFF),
                  char((fourcc >> 24) & 0xFF));
    return text;
}

}  // namespace

std::string findLoopbackNode(const std::string &label, const std::string &directory) {
    for (const VideoNodeInfo &node : listVideoNodes(directory)) {
        if (node.card == label && (node.loopback() || (node.capabilities & V4L2_CAP_VIDEO_OUTPUT)))
            return node.path.string();
    }
    return {};
}

HResult V4l2Output::open(std::unique_ptr<V4l2Device> node, int width, int height, int fps,
                         OutputFormat format, std::unique_ptr<V4l2Output> &out, std::string *why) {
    if (!node || width <= 0 || height <= 0 || fps <= 0)
        return E_INVALIDARG;
    v4l2_capability cap{};
    if (int e = node->ioctl(VIDIOC_QUERYCAP, &cap))
        return refuse(why, "VIDIOC_QUERYCAP", e);
    VideoNodeInfo info;
    describeCapability(cap, {}, info);
    // A loopback node offers output only while no writer feeds it; its output side takes a new
    // writer all the same once the last one stopped streaming.
    if (!info.loopback() && !(info.capabilities & V4L2_CAP_VIDEO_OUTPUT))
        return refuse(why, "it is not a video output", E_NOINTERFACE);

    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    parm.parm.output.timeperframe.numerator = 1;
    parm.parm.output.timeperframe.denominator = uint32_t(fps);
    (void)node->ioctl(VIDIOC_S_PARM, &parm);  // a loopback without rate control still works

    const size_t size =
        format == OutputFormat::Yuyv ? yuyvSize(width, height) : i420Size(width, height);
    const uint32_t stride =
        format == OutputFormat::Yuyv ? uint32_t((width + 1) / 2 * 4) : uint32_t(width);
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    fmt.fmt.pix.width = uint32_t(width);
    fmt.fmt.pix.height = uint32_t(height);
    fmt.fmt.pix.pixelformat = fourccOf(format);
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    fmt.fmt.pix.bytesperline = stride;
    fmt.fmt.pix.sizeimage = uint32_t(size);
    fmt.fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    if (int e = node->ioctl(VIDIOC_S_FMT, &fmt))
        return refuse(why, "VIDIOC_S_FMT", e);
    // The driver may keep another format (a reader holds the one an earlier writer set); only
    // what we write is acceptable.
    if (fmt.fmt.pix.width != uint32_t(width) || fmt.fmt.pix.height != uint32_t(height) ||
        fmt.fmt.pix.pixelformat != fourccOf(format) ||
        (fmt.fmt.pix.bytesperline != 0 && fmt.fmt.pix.bytesperline != stride))
        return refuse(
            why,
            "it keeps the format " +
                describeFormat(fmt.fmt.pix.width, fmt.fmt.pix.height, fmt.fmt.pix.pixelformat) +
                " instead of " + describeFormat(width, height, fourccOf(format)),
            E_FAIL);

    std::unique_ptr<V4l2Output> output(new V4l2Output);
    output->node_ = std::move(node);
    output->width_ = width;
    output->height_ = height;
    output->format_ = format;
    output->frameSize_ = size;
    output->converted_.resize(size);
    if (HResult r = output->startStreaming(why); r.failed())
        return r;
    out = std::move(output);
    return S_OK;
}

// Mapped buffers and STREAMON; a node that offers no buffers takes frames by write().
HResult V4l2Output::startStreaming(std::string *why) {
    v4l2_requestbuffers request{};
    request.count = kBuffersWanted;
    request.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    request.memory = V4L2_MEMORY_MMAP;
    const int e = node_->ioctl(VIDIOC_REQBUFS, &request);
    if (e == ENOTTY || e == EINVAL || (e == 0 && request.count == 0))
        return S_OK;  // no streaming: write() it is
    if (e)
        return refuse(why, "VIDIOC_REQBUFS", e);
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer b{};
        b.index = i;
        b.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        b.memory = V4L2_MEMORY_MMAP;
        if (int q = node_->ioctl(VIDIOC_QUERYBUF, &b))
            return refuse(why, "VIDIOC_QUERYBUF", q);
        if (b.length < frameSize_)
            return refuse(why,
                          "its buffers hold " + std::to_string(b.length) + " bytes, a frame " +
                              std::to_string(frameSize_),
                          E_FAIL);
        Buffer mapped;
        mapped.length = b.length;
        if (int m = node_->map(b.length, b.m.offset, mapped.address))
            return refuse(why, "mmap", m);
        buffers_.push_back(mapped);
    }
    int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    if (int s = node_->ioctl(VIDIOC_STREAMON, &type))
        return refuse(why, "VIDIOC_STREAMON", s);
    return S_OK;
}

V4l2Output::~V4l2Output() {
    if (!node_)
        return;
    if (!buffers_.empty()) {
        int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        (void)node_->ioctl(VIDIOC_STREAMOFF, &type);
    }
    for (const Buffer &b : buffers_)
        node_->unmap(b.address, b.length);
}

HResult V4l2Output::writeFrame(const uint8_t *frame, std::string *why) {
    if (format_ == OutputFormat::Yuyv)
        bgrToYuyv(frame, width_, height_, converted_.data());
    else
        bgrToI420(frame, width_, height_, converted_.data());
    return writeConverted(converted_.data(), why);
}

HResult V4l2Output::writeConverted(const uint8_t *data, std::string *why) {
    return streaming() ? queueFrame(data, why) : writeWhole(data, why);
}

// Every buffer is queued once as it comes; after that each frame takes the buffer the node
// hands back.
HResult V4l2Output::queueFrame(const uint8_t *data, std::string *why) {
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    b.memory = V4L2_MEMORY_MMAP;
    if (neverQueued_ < buffers_.size()) {
        b.index = uint32_t(neverQueued_);
    } else {
        const int e = node_->ioctl(VIDIOC_DQBUF, &b);
        if (e == EAGAIN)
            return S_FALSE;
        if (e)
            return refuse(why, "VIDIOC_DQBUF", e);
        if (b.index >= buffers_.size())
            return refuse(why, "VIDIOC_DQBUF gave buffer " + std::to_string(b.index), E_FAIL);
    }
    std::memcpy(buffers_[b.index].address, data, frameSize_);
    b.bytesused = uint32_t(frameSize_);
    b.field = V4L2_FIELD_NONE;
    b.timestamp = {};
    if (int e = node_->ioctl(VIDIOC_QBUF, &b))
        return refuse(why, "VIDIOC_QBUF", e);
    if (neverQueued_ < buffers_.size())
        ++neverQueued_;
    return S_OK;
}

HResult V4l2Output::writeWhole(const uint8_t *data, std::string *why) {
    // Partial writes go on where they stopped; interrupted and busy writes are retried.
    const uint8_t *p = data;
    size_t left = frameSize_;
    int retries = 0;
    while (left > 0) {
        size_t n = 0;
        const int e = node_->write(p, left, n);
        if (e == EINTR || e == EAGAIN) {
            if (++retries < 1000)
                continue;
            return refuse(why, "write", e);
        }
        if (e)
            return refuse(why, "write", e);
        if (n == 0)
            return refuse(why, "write took nothing", E_FAIL);
        p += n;
        left -= n;
    }
    return S_OK;
}

}  // namespace lumaghost
