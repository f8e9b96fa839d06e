// SPDX-License-Identifier: LGPL-2.1-or-later
// Writing frames to a V4L2 output node (a v4l2loopback device), so that every program that
// opens the loopback's capture side sees the camera.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"

namespace lumaghost {

/// The system calls a video node is driven with; tests put a fake device behind it.
class VideoNode {
public:
    virtual ~VideoNode() = default;
    /// ioctl semantics: 0, or -1 with errno set.
    virtual int ioctl(unsigned long request, void *argument) = 0;
    /// write semantics: bytes written, or -1 with errno set.
    virtual ssize_t write(const void *data, size_t size) = 0;
};

/// Opens a real node; nullptr when it cannot be opened.
std::unique_ptr<VideoNode> openVideoNode(const std::string &path);

/// The output node whose card label is `label`, among /dev/video*; empty when there is none.
std::string findLoopbackNode(const std::string &label, const std::string &directory = "/dev");

enum class OutputFormat { Yuyv, I420 };

class V4l2Output {
public:
    /// Checks the node is a video output, sets the frame rate and the format.
    static HResult open(std::unique_ptr<VideoNode> node, int width, int height, int fps,
                        OutputFormat format, std::unique_ptr<V4l2Output> &out);

    /// Converts a camera frame (bottom-up BGR) and writes it whole.
    HResult writeFrame(const uint8_t *frame);
    /// Writes a frame already in the node's format: frameSize() bytes.
    HResult writeConverted(const uint8_t *data);

    size_t frameSize() const { return buffer_.size(); }
    OutputFormat format() const { return format_; }

private:
    V4l2Output() = default;
    std::unique_ptr<VideoNode> node_;
    int width_ = 0, height_ = 0;
    OutputFormat format_ = OutputFormat::Yuyv;
    std::vector<uint8_t> buffer_;
};

}  // namespace lumaghost
