// SPDX-License-Identifier: LGPL-2.1-or-later
// Reading what a Lumaghost camera shows: the newest frame committed to it. Programs feed a
// camera through the camera link (camera_link.h) and read one through this, both found by
// FriendlyName among the video input devices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "camera/capture_devices.h"
#include "device/frame_channel.h"
#include "platform/hresult.h"

namespace lumaghost {

class CameraReader {
public:
    /// Reads the frames of a bound camera; E_NOINTERFACE when it is no Lumaghost device, or the
    /// failure of opening its frame channel.
    static HResult open(const BaseFilter &camera, std::unique_ptr<CameraReader> &out);
    /// Finds the camera by FriendlyName among the video input devices (findFilterByName) and
    /// opens it as above. `out` is written only on success.
    static HResult open(std::string_view friendlyName, std::unique_ptr<CameraReader> &out);

    /// The frame channel file read.
    const std::filesystem::path &location() const { return channel_->file(); }
    /// The frame size and rate, as they were when the camera was opened.
    ChannelFormat format() const { return channel_->format(); }
    uint64_t frameBytes() const { return channel_->frameBytes(); }

    /// Counts the commits; a new value means a new frame.
    uint64_t commitSequence() const { return channel_->commitSequence(); }
    /// When the newest frame was committed, by the realtime clock in nanoseconds.
    int64_t commitTimeNs() const { return channel_->commitTimeNs(); }
    /// Waits until the commit sequence differs from `seen` or the timeout passes; returns the
    /// current commit sequence.
    uint64_t waitForCommit(uint64_t seen, int timeoutMs) const {
        return channel_->waitForCommit(seen, timeoutMs);
    }
    /// Copies the newest committed frame (frameBytes() bytes, bottom row first); false when
    /// nothing has been committed yet or no whole frame could be had.
    bool readLatest(std::vector<uint8_t> &frame, uint64_t *sequence = nullptr) const {
        return channel_->readLatest(frame, sequence);
    }

    /// After the camera was re-installed or its channel damaged: reads the channel its file now
    /// holds when that has the same frame size, whatever its rate. True when it changed over.
    bool followReplacedChannel();

private:
    explicit CameraReader(std::unique_ptr<FrameChannel> channel) : channel_(std::move(channel)) {}

    std::unique_ptr<FrameChannel> channel_;
};

}  // namespace lumaghost
