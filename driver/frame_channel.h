// A device's frame channel: a shared-memory file holding the current format and a few frame
// slots. One producer at a time fills a slot it was handed and commits it; readers copy the last
// committed slot and never see a half-written frame (each slot carries a sequence lock).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "hresult.h"

namespace lumaghost {

struct ChannelFormat {
    uint32_t width = 320;
    uint32_t height = 240;
    uint32_t fps = 30;

    uint64_t frameBytes() const { return uint64_t{width} * height * 3; }
    friend bool operator==(const ChannelFormat &, const ChannelFormat &) = default;
};

struct ChannelHeader;

class FrameChannel {
public:
    static constexpr uint32_t kSlotCount = 4;
    static constexpr uint32_t kMaxDimension = 16384;

    /// Creates the channel file, or replaces it when its format differs; an existing channel
    /// of the same format is kept with its frames.
    static HResult create(const std::filesystem::path &file, const ChannelFormat &format);
    /// Maps an existing channel for reading and writing.
    static HResult open(const std::filesystem::path &file, std::unique_ptr<FrameChannel> &out);

    ~FrameChannel();
    FrameChannel(const FrameChannel &) = delete;
    FrameChannel &operator=(const FrameChannel &) = delete;

    const std::filesystem::path &file() const { return file_; }
    ChannelFormat format() const;
    uint32_t channelId() const;
    uint64_t frameBytes() const;
    /// Whether the file on disk is no longer the one mapped (the channel was re-created).
    bool replaced() const;

    // Producer side.
    /// Hands out a free slot (never the committed one) under a fresh token.
    HResult acquireSlot(uint32_t &slot, uint64_t &token);
    uint8_t *slotData(uint32_t slot) const;
    bool ownsSlot(uint32_t slot, uint64_t token) const;
    /// Publishes the slot as the newest frame.
    HResult commitSlot(uint32_t slot, uint64_t token);
    /// Gives the slot back without publishing it.
    void releaseSlot(uint32_t slot, uint64_t token);

    // Reader side.
    uint64_t commitSequence() const;
    /// Copies the newest committed frame; false when nothing has been committed yet.
    bool readLatest(std::vector<uint8_t> &frame, uint64_t *sequence = nullptr) const;
    /// Waits until the commit sequence differs from `seen` or the timeout passes; returns the
    /// current commit sequence.
    uint64_t waitForCommit(uint64_t seen, int timeoutMs) const;

private:
    FrameChannel() = default;

    std::filesystem::path file_;
    ChannelHeader *header_ = nullptr;
    uint8_t *base_ = nullptr;
    size_t mappedSize_ = 0;
    uint64_t inode_ = 0;
};

}  // namespace lumaghost
