// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence worker: plays a sequence into the camera in an endless loop, each frame for its
// display time, on a thread of its own. It plays a snapshot taken when it starts, so the
// sequence may be edited, replaced or freed meanwhile; every stop (Stop, another Play, leaving
// sequence mode, the window's end) ends it at once and waits for it. Pixels left in their file
// are read by the worker during the display time of the frame before theirs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/sequence_file.h"
#include "platform/hresult.h"

namespace lumaghost {

class CameraGate;

/// One frame of a sequence: its size, its pixels (width × height × 3 bytes, blue, green, red,
/// the bottom row first; in memory or left in their file; shared, never changed once made) and
/// its display time.
struct PlayItem {
    int width = 0;
    int height = 0;
    std::shared_ptr<const FramePixels> pixels;
    uint32_t displayTime = kNewItemDisplayTime;
};

class SequencePlayer {
public:
    /// How long a frame waits when the camera hands out a buffer of no bytes.
    static constexpr uint32_t kEmptyBufferWait = 1000;

    /// Why the worker ended on its own.
    enum class End {
        None,          // still playing, stopped, or never started
        CameraFailed,  // a fetch or a commit failed (result())
        SizeMismatch,  // a frame's size is not the camera's
    };

    /// Told on the worker's thread, after a frame went to the camera: its index in the list.
    using ItemShown = std::function<void(size_t index)>;

    explicit SequencePlayer(CameraGate &camera);
    /// Stops the worker and waits for it.
    ~SequencePlayer();
    SequencePlayer(const SequencePlayer &) = delete;
    SequencePlayer &operator=(const SequencePlayer &) = delete;

    /// Stops a worker that runs, then plays `items` from the first, without end. An empty list
    /// waits for the stop without using the processor.
    void start(std::vector<PlayItem> items);
    /// The call after each frame handed to the camera; set while no worker runs.
    void setItemShown(ItemShown itemShown) { itemShown_ = std::move(itemShown); }
    /// Asks the worker to stop and waits for it; nothing is handed to the camera afterwards.
    void stop();

    /// The worker is on its way: started and neither stopped nor ended.
    bool running() const;
    End end() const;
    /// The failure that ended the worker (End::CameraFailed).
    HResult result() const;
    /// Frames handed to the camera since the last start.
    uint64_t framesSent() const;

private:
    void run(std::vector<PlayItem> items);
    /// Waits until `deadline` or a stop; true when a stop came.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);
    bool stopRequested() const;
    /// Reads the pixels of `item`, left in their file, into `out`, in pieces between which a
    /// stop is heard; pixels the file no longer holds read as black. False when a stop came.
    bool readPixels(const PlayItem &item, std::vector<uint8_t> &out) const;

    CameraGate &camera_;
    mutable std::mutex mutex_;  // guards stopRequested_, running_, end_, result_, sent_
    std::condition_variable wake_;
    bool stopRequested_ = false;
    bool running_ = false;
    End end_ = End::None;
    HResult result_ = S_OK;
    uint64_t sent_ = 0;
    ItemShown itemShown_;  // read by the worker, set only while none runs
    std::thread worker_;
};

}  // namespace lumaghost
