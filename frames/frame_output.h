// SPDX-License-Identifier: LGPL-2.1-or-later
// Writing camera frames (bottom-up BGR rows) as upright pictures and video.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumaghost {

/// An upright binary PPM (P6) of a bottom-up BGR frame.
std::vector<uint8_t> frameToPpm(const uint8_t *frame, uint32_t width, uint32_t height);

/// The stream header of a YUV4MPEG2 stream in 4:4:4 (BT.601, limited range).
std::string y4mHeader(uint32_t width, uint32_t height, uint32_t fps);
/// One upright FRAME of that stream.
std::vector<uint8_t> frameToY4m(const uint8_t *frame, uint32_t width, uint32_t height);

}  // namespace lumaghost
