// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/sequence/sequence_player.h"

#include <algorithm>
#include <cstring>

#include "desk/model/camera_gate.h"

namespace lumaghost {

using Clock = std::chrono::steady_clock;

SequencePlayer::SequencePlayer(CameraGate &camera) : camera_(camera) {}

SequencePlayer::~SequencePlayer() {
    stop();
}

void SequencePlayer::start(std::vector<PlayItem> items) {
    stop();
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
        running_ = true;
        end_ = End::None;
        result_ = S_OK;
        sent_ = 0;
    }
    worker_ = std::thread([this, items = std::move(items)]() mutable { run(std::move(items)); });
}

void SequencePlayer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    std::lock_guard lock(mutex_);
    running_ = false;
}

bool SequencePlayer::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

SequencePlayer::End SequencePlayer::end() const {
    std::lock_guard lock(mutex_);
    return end_;
}

HResult SequencePlayer::result() const {
    std::lock_guard lock(mutex_);
    return result_;
}

uint64_t SequencePlayer::framesSent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

bool SequencePlayer::waitUntil(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return wake_.wait_until(lock, deadline, [this] { return stopRequested_; });
}

bool SequencePlayer::stopRequested() const {
    std::lock_guard lock(mutex_);
    return stopRequested_;
}

bool SequencePlayer::readPixels(const PlayItem &item, std::vector<uint8_t> &out) const {
    constexpr size_t kPiece = size_t{4} << 20;
    const size_t size = item.pixels->size();
    out.resize(size);
    for (size_t at = 0; at < size; at += kPiece) {
        if (stopRequested())
            return false;
        const size_t piece = std::min(kPiece, size - at);
        if (!item.pixels->read(at, out.data() + at, piece)) {
            // A file that shrank meanwhile: what is missing shows black.
            std::fill(out.begin() + ptrdiff_t(at), out.end(), 0);
            break;
        }
    }
    return true;
}

/// \brief The worker: each frame in turn, for its display time, from the first after the last.
void SequencePlayer::run(std::vector<PlayItem> items) {
    if (items.empty()) {
        // Nothing to play: waits for the stop, asleep.
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopRequested_; });
        return;
    }
    // Pixels left in their file: the item's whose pixels `ahead` holds, read before its turn.
    // One record is held at a time; it is read again only when another one came between.
    std::vector<uint8_t> ahead;
    size_t aheadIndex = items.size();
    // False when a stop came while item `index`'s pixels were read.
    auto load = [&](size_t index) {
        const PlayItem &item = items[index];
        if (!item.pixels || item.pixels->inMemory() || aheadIndex == index)
            return true;
        aheadIndex = items.size();
        if (!readPixels(item, ahead))
            return false;
        aheadIndex = index;
        return true;
    };
    // The display times are kept against a schedule, not against each wake-up: the time a
    // fetch and a copy take does not add up over the frames.
    Clock::time_point next = Clock::now();
    for (size_t i = 0;; i = (i + 1) % items.size()) {
        const PlayItem &item = items[i];
        if (!load(i))
            return;
        const uint8_t *pixels = !item.pixels              ? nullptr
                                : item.pixels->inMemory() ? item.pixels->data()
                                                          : ahead.data();
        HResult failed = S_OK;
        End end = End::None;
        bool handed = false;
        camera_.run([&](CameraLink &link) {
            FrameDescriptor descriptor;
            if (const HResult r = getFrameDescriptor(link, descriptor); r.failed()) {
                failed = r;
                end = End::CameraFailed;
                return;
            }
            if (descriptor.width != item.width || descriptor.height != item.height) {
                end = End::SizeMismatch;
                return;
            }
            if (descriptor.byteCount == 0 || !descriptor.buffer())
                return;
            // Bounded by the camera's buffer, the camera's frame and the item's own pixels.
            const size_t frameBytes = size_t(item.width) * size_t(item.height) * 3;
            const size_t bytes = std::min(
                {size_t(descriptor.byteCount), frameBytes, pixels ? item.pixels->size() : 0});
            if (bytes)
                std::memcpy(descriptor.buffer(), pixels, bytes);
            if (const HResult r = commitFrame(link, descriptor); r.failed()) {
                failed = r;
                end = End::CameraFailed;
                return;
            }
            handed = true;
        });
        if (end != End::None) {
            std::lock_guard lock(mutex_);
            end_ = end;
            result_ = failed;
            running_ = false;
            return;
        }
        if (handed) {
            {
                std::lock_guard lock(mutex_);
                ++sent_;
            }
            if (itemShown_)
                itemShown_(i);
        }
        next += std::chrono::milliseconds(handed ? item.displayTime : kEmptyBufferWait);
        // The next frame's pixels, while this one is shown.
        if (!load((i + 1) % items.size()))
            return;
        // After a stall longer than a frame (a suspended machine, say) the schedule starts
        // afresh rather than racing to catch up.
        const Clock::time_point now = Clock::now();
        if (next < now)
            next = now;
        if (waitUntil(next))
            return;
    }
}

}  // namespace lumaghost
