// SPDX-License-Identifier: LGPL-2.1-or-later
// A v4l2loopback 0.12 device as its openers see it, for the loopback writer's tests: with
// exclusive_caps=1 a node offers output while no writer feeds it and capture once one does; a
// writer that streamed (STREAMON on its output queue) gives the output side back when it
// closes, one that only wrote never does; the format is the first writer's while anyone holds
// the node; the V4L2 core refuses an output format once the node stopped offering output.
#pragma once

#include <linux/videodev2.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/v4l2_device.h"

namespace lumaghost::test {

class FakeLoopback {
public:
    explicit FakeLoopback(std::string label = "Lumaghost", uint32_t maxBuffers = 2)
        : label_(std::move(label)), maxBuffers_(maxBuffers) {}

    /// A new opener of the node.
    std::unique_ptr<V4l2Device> open();
    /// Opens a reader that stays attached until it is reset.
    std::unique_ptr<V4l2Device> attachReader() { return open(); }

    /// The newest frame a writer handed over; empty before the first.
    std::vector<uint8_t> latest() const {
        return latest_ < 0 ? std::vector<uint8_t>() : buffers_[size_t(latest_)];
    }
    size_t frames() const { return frames_; }
    bool offersOutput() const { return readyForOutput_; }
    bool offersCapture() const { return readyForCapture_; }
    /// Answers the next DQBUF with EAGAIN, as a driver with every buffer queued does.
    bool dequeueRefused = false;
    /// Refuses streaming (REQBUFS answers EINVAL): frames come by write().
    bool streamingRefused = false;

private:
    class Opener;
    friend class Opener;

    std::string label_;
    uint32_t maxBuffers_;
    int openers_ = 0;
    bool readyForCapture_ = false;
    bool readyForOutput_ = true;
    uint32_t deviceCaps_ = 0;  // what the last QUERYCAP said: the core checks requests by it
    v4l2_pix_format format_{};
    size_t bufferSize_ = 0;
    std::vector<std::vector<uint8_t>> buffers_;
    int latest_ = -1;
    uint32_t writePosition_ = 0;
    size_t frames_ = 0;
};

class FakeLoopback::Opener final : public V4l2Device {
public:
    explicit Opener(FakeLoopback &device) : d_(device) { ++d_.openers_; }
    ~Opener() override {
        if (--d_.openers_ == 0) {
            d_.readyForCapture_ = false;
            d_.writePosition_ = 0;
        }
        if (writer_)
            d_.readyForOutput_ = true;
    }

    int ioctl(unsigned long request, void *argument) override {
        switch (request) {
            case VIDIOC_QUERYCAP: {
                auto *cap = static_cast<v4l2_capability *>(argument);
                *cap = {};
                std::strcpy(reinterpret_cast<char *>(cap->driver), kLoopbackDriver);
                std::strncpy(reinterpret_cast<char *>(cap->card), d_.label_.c_str(),
                             sizeof(cap->card) - 1);
                uint32_t caps = V4L2_CAP_STREAMING | V4L2_CAP_READWRITE;
                if (d_.readyForCapture_)
                    caps |= V4L2_CAP_VIDEO_CAPTURE;
                if (d_.readyForOutput_)
                    caps |= V4L2_CAP_VIDEO_OUTPUT;
                d_.deviceCaps_ = caps;
                cap->device_caps = caps;
                cap->capabilities = caps | V4L2_CAP_DEVICE_CAPS;
                return 0;
            }
            case VIDIOC_S_PARM:
                return 0;
            case VIDIOC_S_FMT: {
                auto *fmt = static_cast<v4l2_format *>(argument);
                if (fmt->type != V4L2_BUF_TYPE_VIDEO_OUTPUT ||
                    !(d_.deviceCaps_ & V4L2_CAP_VIDEO_OUTPUT))
                    return EINVAL;
                if (d_.readyForCapture_) {
                    fmt->fmt.pix = d_.format_;
                    return 0;
                }
                d_.format_ = fmt->fmt.pix;
                d_.bufferSize_ = (fmt->fmt.pix.sizeimage + 4095) & ~size_t(4095);
                d_.buffers_.assign(d_.maxBuffers_, std::vector<uint8_t>(d_.bufferSize_));
                fmt->fmt.pix.sizeimage = uint32_t(d_.bufferSize_);
                return 0;
            }
            case VIDIOC_REQBUFS: {
                auto *r = static_cast<v4l2_requestbuffers *>(argument);
                if (d_.streamingRefused || r->memory != V4L2_MEMORY_MMAP)
                    return EINVAL;
                r->count = std::min(r->count, d_.maxBuffers_);
                return 0;
            }
            case VIDIOC_QUERYBUF: {
                auto *b = static_cast<v4l2_buffer *>(argument);
                if (b->index >= d_.maxBuffers_)
                    return EINVAL;
                b->length = uint32_t(d_.bufferSize_);
                b->m.offset = uint32_t(b->index * d_.bufferSize_);
                return 0;
            }
            case VIDIOC_STREAMON:
                if (*static_cast<int *>(argument) != V4L2_BUF_TYPE_VIDEO_OUTPUT)
                    return EINVAL;
                writer_ = true;
                startWriting();
                return 0;
            case VIDIOC_STREAMOFF:
                return 0;
            case VIDIOC_QBUF: {
                auto *b = static_cast<v4l2_buffer *>(argument);
                if (b->index >= d_.maxBuffers_ || b->bytesused > d_.bufferSize_)
                    return EINVAL;
                d_.latest_ = int(b->index);
                ++d_.frames_;
                ++d_.writePosition_;
                return 0;
            }
            case VIDIOC_DQBUF: {
                if (d_.dequeueRefused) {
                    d_.dequeueRefused = false;
                    return EAGAIN;
                }
                auto *b = static_cast<v4l2_buffer *>(argument);
                b->index = d_.writePosition_ % d_.maxBuffers_;
                return 0;
            }
            default:
                return ENOTTY;
        }
    }

    int write(const void *data, size_t size, size_t &written) override {
        startWriting();
        if (d_.buffers_.empty())
            return EINVAL;
        const size_t index = d_.writePosition_ % d_.maxBuffers_;
        written = std::min(size, d_.bufferSize_);
        std::memcpy(d_.buffers_[index].data(), data, written);
        d_.latest_ = int(index);
        ++d_.frames_;
        ++d_.writePosition_;
        return 0;
    }

    int map(size_t length, uint32_t offset, void *&address) override {
        const size_t index = d_.bufferSize_ ? offset / d_.bufferSize_ : 0;
        if (index >= d_.buffers_.size() || length > d_.bufferSize_)
            return EINVAL;
        address = d_.buffers_[index].data();
        ++mapped_;
        return 0;
    }
    void unmap(void *, size_t) override { --mapped_; }

private:
    void startWriting() {
        d_.readyForOutput_ = false;
        d_.readyForCapture_ = true;
    }

    FakeLoopback &d_;
    bool writer_ = false;
    int mapped_ = 0;
};

inline std::unique_ptr<V4l2Device> FakeLoopback::open() {
    return std::make_unique<Opener>(*this);
}

}  // namespace lumaghost::test
