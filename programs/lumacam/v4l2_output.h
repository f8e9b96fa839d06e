// SPDX-License-Identifier: LGPL-2.1-or-later
// Writing frames to a V4L2 output node (a v4l2loopback device), so that every program that
// opens the loopback's capture side sees the camera. Frames go through the streaming output
// API (mmap buffers, QBUF and DQBUF after STREAMON): a v4l2loopback 0.12 node fed by write()
// stops offering its output side once that writer goes, and no later writer can feed it.
// write() is used only where a node refuses streaming.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "platform/v4l2_device.h"

namespace lumaghost {

/// The v4l2loopback node whose card label is `label`, among the videoN of `directory`, whatever
/// it offers at the moment (a node that a writer fed and a reader holds offers only capture);
/// empty when there is none.
std::string findLoopbackNode(const std::string &label, const std::string &directory = "/dev");

enum class OutputFormat { Yuyv, I420 };

class V4l2Output {
public:
    /// Checks the node is a v4l2loopback node or a video output, sets the frame rate and the
    /// format, and starts streaming. On failure `why` (when given) says what the node refused,
    /// in words for a log line.
    static HResult open(std::unique_ptr<V4l2Device> node, int width, int height, int fps,
                        OutputFormat format, std::unique_ptr<V4l2Output> &out,
                        std::string *why = nullptr);
    ~V4l2Output();
    V4l2Output(const V4l2Output &) = delete;
    V4l2Output &operator=(const V4l2Output &) = delete;

    /// Converts a camera frame (bottom-up BGR) and hands it to the node whole.
    HResult writeFrame(const uint8_t *frame, std::string *why = nullptr);
    /// Hands over a frame already in the node's format: frameSize() bytes. S_FALSE when the
    /// node has no buffer free for it (the frame is dropped, the next one goes).
    HResult writeConverted(const uint8_t *data, std::string *why = nullptr);

    size_t frameSize() const { return frameSize_; }
    OutputFormat format() const { return format_; }
    /// Frames go through mapped buffers; false where the node takes them by write().
    bool streaming() const { return !buffers_.empty(); }

private:
    struct Buffer {
        void *address = nullptr;
        size_t length = 0;
    };

    V4l2Output() = default;
    HResult startStreaming(std::string *why);
    HResult queueFrame(const uint8_t *data, std::string *why);
    HResult writeWhole(const uint8_t *data, std::string *why);

    std::unique_ptr<V4l2Device> node_;
    int width_ = 0, height_ = 0;
    OutputFormat format_ = OutputFormat::Yuyv;
    size_t frameSize_ = 0;
    std::vector<Buffer> buffers_;  // mapped, in index order
    size_t neverQueued_ = 0;       // buffers from here on are not queued yet
    std::vector<uint8_t> converted_;
};

}  // namespace lumaghost
