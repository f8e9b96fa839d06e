// The frame on show in the layouts the outputs take, each converted once per frame however
// many outputs take it and however often it is repeated.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace lumaghost {

enum class FrameLayout { Yuyv, I420, Bgrx };

using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;

/// Bytes of a frame of the given size in `layout`.
size_t layoutSize(FrameLayout layout, int width, int height);

class ConvertedFrames {
public:
    ConvertedFrames(int width, int height) : width_(width), height_(height) {}

    /// The camera frame (bottom-up BGR) of generation `generation` in `layout`: converted now
    /// when the layout was last converted from another generation. A buffer that a reader
    /// still holds is not written again.
    SharedBytes get(FrameLayout layout, const uint8_t *frame, uint64_t generation);

private:
    struct Slot {
        std::shared_ptr<std::vector<uint8_t>> current, spare;
        uint64_t generation = 0;
        bool valid = false;
    };
    int width_, height_;
    Slot slots_[3];
};

/// A buffer to write into: `buffer` itself when nobody else holds it, else a new one.
std::shared_ptr<std::vector<uint8_t>> &writable(std::shared_ptr<std::vector<uint8_t>> &buffer);

}  // namespace lumaghost
