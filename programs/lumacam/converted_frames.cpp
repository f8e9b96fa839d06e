#include "programs/lumacam/converted_frames.h"

#include "frames/frame_convert.h"

namespace lumaghost {

size_t layoutSize(FrameLayout layout, int width, int height) {
    switch (layout) {
        case FrameLayout::Yuyv:
            return yuyvSize(width, height);
        case FrameLayout::I420:
            return i420Size(width, height);
        case FrameLayout::Bgrx:
            break;
    }
    return size_t(width) * height * 4;
}

std::shared_ptr<std::vector<uint8_t>> &writable(std::shared_ptr<std::vector<uint8_t>> &buffer) {
    // Only this owner can hand out a buffer it alone holds: once unique it stays so.
    if (!buffer || buffer.use_count() > 1)
        buffer = std::make_shared<std::vector<uint8_t>>();
    return buffer;
}

SharedBytes ConvertedFrames::get(FrameLayout layout, const uint8_t *frame, uint64_t generation) {
    Slot &slot = slots_[int(layout)];
    if (slot.valid && slot.generation == generation)
        return slot.current;
    // Into the buffer not on show, which a reader may still be copying from.
    std::vector<uint8_t> &out = *writable(slot.spare);
    out.resize(layoutSize(layout, width_, height_));
    switch (layout) {
        case FrameLayout::Yuyv:
            bgrToYuyv(frame, width_, height_, out.data());
            break;
        case FrameLayout::I420:
            bgrToI420(frame, width_, height_, out.data());
            break;
        case FrameLayout::Bgrx:
            bgrToBgrx(frame, width_, height_, out.data(), ptrdiff_t(width_) * 4);
            break;
    }
    slot.current.swap(slot.spare);
    slot.generation = generation;
    slot.valid = true;
    return slot.current;
}

}  // namespace lumaghost
