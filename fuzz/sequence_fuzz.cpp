// SPDX-License-Identifier: LGPL-2.1-or-later
// Fuzzes the sequence file reader: whatever the bytes, it must neither crash nor read or
// allocate past them, and what it accepts must be consistent with the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "media/sequence_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<lumaghost::SequenceFrame> frames;
    if (!lumaghost::parseSequence(data, size, frames))
        return 0;
    // Every frame carries a picture, and the frames never take more of the input than it holds.
    size_t bytes = lumaghost::kSequenceHeaderSize;
    for (const auto &f : frames) {
        if (f.width() <= 0 || f.height() <= 0 ||
            f.pixels.size() != size_t(f.width()) * size_t(f.height()) * 3)
            std::abort();
        bytes += lumaghost::kImageHeaderSize + f.pixels.size();
    }
    if (frames.empty() || frames.size() > size_t(lumaghost::kMaxSequenceImages) || bytes > size)
        std::abort();
    // As many frames as the header's image count.
    const uint32_t count = uint32_t{data[4]} | uint32_t{data[5]} << 8 | uint32_t{data[6]} << 16 |
                           uint32_t{data[7]} << 24;
    if (frames.size() != count)
        std::abort();
    return 0;
}
