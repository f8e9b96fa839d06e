// SPDX-License-Identifier: LGPL-2.1-or-later
// The frame on show in the layouts the outputs take, each converted once per frame however
// many outputs take it and however often it is repeated.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lumaghost {

enum class FrameLayout { Yuyv, I420, Bgrx };

using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;

/// Hands the frame on show (bottom-up BGR) to `use`, perhaps in place in the frame channel and
/// more than once; false when no whole frame could be had.
using FrameSource = std::function<bool(const std::function<void(const uint8_t *frame)> &use)>;

/// Bytes of a frame of the given size in `layout`.
size_t layoutSize(FrameLayout layout, int width, int height);

/// Converts a camera frame (bottom-up BGR) into `out`, layoutSize() bytes.
void convertFrame(FrameLayout layout, const uint8_t *frame, int width, int height, uint8_t *out);

class ConvertedFrames {
public:
    ConvertedFrames(int width, int height) : width_(width), height_(height) {}

    /// The frame of generation `generation` in `layout`: converted now, from `source`, when the
    /// layout was last converted from another generation. A buffer that a reader still holds
    /// is not written again. When the source fails, the layout's last conversion stands for
    /// the generation (null when there is none).
    SharedBytes get(FrameLayout layout, uint64_t generation, const FrameSource &source);
    /// The conversion to `layout` of generation `generation` when there is one already; null
    /// when there is none.
    SharedBytes peek(FrameLayout layout, uint64_t generation) const;
    /// The same from a frame in memory.
    SharedBytes get(FrameLayout layout, const uint8_t *frame, uint64_t generation);

private:
    struct Slot {
        std::shared_ptr<std::vector<uint8_t>> current, spare;
        uint64_t generation = 0;  // tried last
        bool tried = false;
        bool valid = false;  // current holds a conversion
    };
    int width_, height_;
    Slot slots_[3];
};

/// A buffer to write into: `buffer` itself when nobody else holds it, else a new one.
std::shared_ptr<std::vector<uint8_t>> &writable(std::shared_ptr<std::vector<uint8_t>> &buffer);

}  // namespace lumaghost
