// SPDX-License-Identifier: LGPL-2.1-or-later
// A device's frame channel: a shared-memory file holding the current format and a few frame
// slots. One producer at a time fills a slot it was handed and commits it; readers copy the last
// committed slot and never see a half-written frame (each slot carries a sequence lock).
//
// Every process of group video may write the file, so nothing read from it is trusted: the
// geometry is taken once when the channel is opened and every later index, offset and copy is
// bounded by that; a file shrunk under a mapping turns the mapping into private zero pages and
// the channel into a broken one (see broken()) instead of a SIGBUS.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "platform/hresult.h"

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
    /// How long readLatest tries to get an untorn copy before it gives up.
    static constexpr int kReadPatienceMs = 250;

    /// Creates the channel file, or replaces it when its format differs or it is no channel;
    /// an existing channel of the same format is kept with its frames, and its mode and group
    /// are set back to 0660 and video where this process may.
    static HResult create(const std::filesystem::path &file, const ChannelFormat &format);
    /// Maps an existing channel for reading and writing.
    static HResult open(const std::filesystem::path &file, std::unique_ptr<FrameChannel> &out);
    /// Opens the channel, creating it with `format` when there is none. Of several processes
    /// that find it missing at once, one creates it and all open that one; an existing file is
    /// never replaced, whatever its format.
    static HResult openOrCreate(const std::filesystem::path &file, const ChannelFormat &format,
                                std::unique_ptr<FrameChannel> &out);

    ~FrameChannel();
    FrameChannel(const FrameChannel &) = delete;
    FrameChannel &operator=(const FrameChannel &) = delete;

    const std::filesystem::path &file() const { return file_; }
    /// The format taken when the channel was opened.
    ChannelFormat format() const { return format_; }
    uint32_t channelId() const { return channelId_; }
    uint64_t frameBytes() const { return frameBytes_; }
    /// Whether the file on disk is no longer the one mapped (the channel was re-created).
    bool replaced() const;
    /// Whether the file shrank under the mapping: the mapping no longer reaches the file and
    /// every operation fails from then on.
    bool broken() const;
    /// Whether the mapping still holds the channel that was opened: the file did not shrink and
    /// its header still describes that channel.
    bool intact() const;
    /// Whether this mapping should be given up for a fresh open: the file was replaced or cut
    /// shorter than the mapping, or the mapping is no longer intact.
    bool stale() const;

    // Producer side.
    /// Hands out a free slot (never the committed one) under a fresh token.
    HResult acquireSlot(uint32_t &slot, uint64_t &token);
    /// The slot's frameBytes() bytes; null for a slot number out of range.
    uint8_t *slotData(uint32_t slot) const;
    bool ownsSlot(uint32_t slot, uint64_t token) const;
    /// Publishes the slot as the newest frame.
    HResult commitSlot(uint32_t slot, uint64_t token);
    /// Gives the slot back without publishing it.
    void releaseSlot(uint32_t slot, uint64_t token);

    // Reader side.
    uint64_t commitSequence() const;
    /// When the newest frame was committed (CLOCK_REALTIME, nanoseconds), as its producer
    /// wrote it: nothing read from it is trusted beyond measuring.
    int64_t commitTimeNs() const;
    /// Copies the newest committed frame (frameBytes() bytes); false when nothing has been
    /// committed yet, the channel is broken, or no untorn copy was had within kReadPatienceMs.
    bool readLatest(std::vector<uint8_t> &frame, uint64_t *sequence = nullptr) const;
    /// Hands the newest committed frame, in place in the mapping, to `use` (which converts or
    /// copies it): called again when a commit tore what it read, and what it made is to be
    /// trusted only when this returns true. Fails as readLatest does.
    bool useLatest(const std::function<void(const uint8_t *frame)> &use,
                   uint64_t *sequence = nullptr) const;
    /// Waits until the commit sequence differs from `seen` or the timeout passes; returns the
    /// current commit sequence.
    uint64_t waitForCommit(uint64_t seen, int timeoutMs) const;

private:
    FrameChannel() = default;

    std::filesystem::path file_;
    ChannelHeader *header_ = nullptr;
    uint8_t *base_ = nullptr;
    size_t usedSize_ = 0;    // header and slots
    size_t mappedSize_ = 0;  // the same, followed by one inaccessible guard page
    int mapping_ = -1;       // the mapping's entry in the SIGBUS guard
    dev_t device_ = 0;
    ino_t inode_ = 0;

    // Taken from the header once, at open.
    ChannelFormat format_;
    uint64_t frameBytes_ = 0;
    uint64_t slotStride_ = 0;
    uint32_t channelId_ = 0;
};

}  // namespace lumaghost
