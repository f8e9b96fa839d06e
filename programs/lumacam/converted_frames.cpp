// SPDX-License-Identifier: LGPL-2.1-or-later
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

void convertFrame(FrameLayout layout, const uint8_t *frame, int width, int height, uint8_t *out) {
    switch (layout) {
        case FrameLayout::Yuyv:
            bgrToYuyv(frame, width, height, out);
            break;
        case FrameLayout::I420:
            bgrToI420(frame, width, height, out);
            break;
        case FrameLayout::Bgrx:
            bgrToBgrx(frame, width, height, out, ptrdiff_t(width) * 4);
            break;
    }
}

std::shared_ptr<std::vector<uint8_t>> &writable(std::shared_ptr<std::vector<uint8_t>> &buffer) {
    // Only this owner can hand out a buffer it alone holds: once unique it stays so.
    if (!buffer || buffer.use_count() > 1)
        buffer = std::make_shared<std::vector<uint8_t>>();
    return buffer;
}

SharedBytes ConvertedFrames::get(FrameLayout layout, uint64_t generation,
                                 const FrameSource &source) {
    Slot &slot = slots_[int(layout)];
    // One try per generation: a source that failed is not asked again until the next.
    if (slot.tried && slot.generation == generation)
        return slot.valid ? slot.current : nullptr;
    // Into the buffer not on show, which a reader may still be copying from.
    std::vector<uint8_t> &out = *writable(slot.spare);
    out.resize(layoutSize(layout, width_, height_));
    const bool read = source(
        [&](const uint8_t *frame) { convertFrame(layout, frame, width_, height_, out.data()); });
    if (read) {
        slot.current.swap(slot.spare);
        slot.valid = true;
    }
    slot.generation = generation;
    slot.tried = true;
    return slot.valid ? slot.current : nullptr;
}

SharedBytes ConvertedFrames::peek(FrameLayout layout, uint64_t generation) const {
    const Slot &slot = slots_[int(layout)];
    return slot.tried && slot.valid && slot.generation == generation ? slot.current : nullptr;
}

SharedBytes ConvertedFrames::get(FrameLayout layout, const uint8_t *frame, uint64_t generation) {
    return get(layout, generation, [frame](const std::function<void(const uint8_t *)> &use) {
        use(frame);
        return true;
    });
}

}  // namespace lumaghost
