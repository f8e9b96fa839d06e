// SPDX-License-Identifier: LGPL-2.1-or-later
// The pixel block of one frame (width × height × 3 bytes, blue, green, red, the bottom row
// first): held in memory, or left in the sequence file it came from and read when asked for, so
// that a sequence costs the memory of what is looked at, not of its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/posix_file.h"

namespace lumaghost {

class FramePixels {
public:
    /// Pixels in memory.
    explicit FramePixels(std::vector<uint8_t> bytes);
    /// `size` bytes at `offset` of the open file `file`, read on demand; the file stays open
    /// while any of its blocks lives, so a file replaced under its name keeps its contents.
    FramePixels(std::shared_ptr<const UniqueFd> file, uint64_t offset, size_t size);

    size_t size() const { return size_; }
    /// The bytes when they are in memory; null for a block left in its file.
    const uint8_t *data() const { return file_ ? nullptr : bytes_.data(); }
    bool inMemory() const { return !file_; }
    /// The file a block left in it is read from; null for pixels in memory.
    const UniqueFd *file() const { return file_.get(); }
    /// Bytes `offset` ... `offset + count - 1` into `out`; false, with `out` undefined, when they
    /// lie beyond the block or the file no longer holds them. Safe from any thread.
    bool read(size_t offset, void *out, size_t count) const;
    /// The whole block into `out` (resized to it); false as read() is.
    bool readAll(std::vector<uint8_t> &out) const;

private:
    std::vector<uint8_t> bytes_;
    std::shared_ptr<const UniqueFd> file_;
    uint64_t offset_ = 0;
    size_t size_ = 0;
};

}  // namespace lumaghost
