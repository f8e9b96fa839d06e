// SPDX-License-Identifier: LGPL-2.1-or-later
// Publishing a camera as a PipeWire Video/Source node (media.role Camera), the way desktop
// programs and browsers find cameras through PipeWire. Our own stream drives the graph at the
// camera's rate; consumers come and go without disturbing one another.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "programs/lumacam/converted_frames.h"

namespace lumaghost {

class PipeWireConnection;

/// A connection to the PipeWire daemon with its own loop thread; nullptr when none runs.
std::shared_ptr<PipeWireConnection> connectPipeWire();

class PipeWireOutput {
public:
    /// A source node named `nodeName`, described to users as `description`.
    static std::unique_ptr<PipeWireOutput> create(std::shared_ptr<PipeWireConnection> connection,
                                                  const std::string &nodeName,
                                                  const std::string &description, int width,
                                                  int height, int fps);
    ~PipeWireOutput();

    /// Hands the camera's frame of generation `generation` to the consumers, at once: while a
    /// consumer takes frames, each buffer that does not hold it yet gets a copy of its
    /// conversion in `converted` to their format where another output made one, else is
    /// converted into from `source`. The buffer is filled and queued before the period's cycle
    /// starts where this stream drives its graph; in a graph another node drives, it is filled
    /// when that graph runs, on the loop thread, which must be able to call `source` until
    /// this output ends.
    void publish(uint64_t generation, ConvertedFrames &converted, const FrameSource &source);

    /// Offers consumers another format, which they negotiate anew; `change` runs first, where
    /// the loop thread cannot be calling a frame source (it swaps what the source reads).
    void setFormat(int width, int height, int fps, const std::function<void()> &change = {});

    struct State;

private:
    PipeWireOutput() = default;
    std::shared_ptr<PipeWireConnection> connection_;
    std::unique_ptr<State> state_;
};

}  // namespace lumaghost
