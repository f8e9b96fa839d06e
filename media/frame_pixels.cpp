// SPDX-License-Identifier: LGPL-2.1-or-later
#include "media/frame_pixels.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace lumaghost {

FramePixels::FramePixels(std::vector<uint8_t> bytes)
    : bytes_(std::move(bytes)), size_(bytes_.size()) {}

FramePixels::FramePixels(std::shared_ptr<const UniqueFd> file, uint64_t offset, size_t size)
    : file_(std::move(file)), offset_(offset), size_(size) {}

bool FramePixels::read(size_t offset, void *out, size_t count) const {
    if (offset > size_ || count > size_ - offset)
        return false;
    if (!file_) {
        if (count)
            std::memcpy(out, bytes_.data() + offset, count);
        return true;
    }
    auto *p = static_cast<uint8_t *>(out);
    uint64_t at = offset_ + offset;
    while (count > 0) {
        const ssize_t n = ::pread(file_->get(), p, count, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;  // an error, or a file that shrank since it was opened
        p += n;
        count -= size_t(n);
        at += uint64_t(n);
    }
    return true;
}

bool FramePixels::readAll(std::vector<uint8_t> &out) const {
    out.resize(size_);
    return read(0, out.data(), size_);
}

}  // namespace lumaghost
