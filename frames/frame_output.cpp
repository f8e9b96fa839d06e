// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/frame_output.h"

#include <algorithm>

#include "frames/frame_convert.h"

namespace lumaghost {

std::vector<uint8_t> frameToPpm(const uint8_t *frame, uint32_t width, uint32_t height) {
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + size_t{width} * height * 3);
    // The camera frame holds its bottom row first.
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t *row = frame + size_t{y} * width * 3;
        for (uint32_t x = 0; x < width; ++x) {
            out.push_back(row[3 * x + 2]);
            out.push_back(row[3 * x + 1]);
            out.push_back(row[3 * x + 0]);
        }
    }
    return out;
}

std::string y4mHeader(uint32_t width, uint32_t height, uint32_t fps) {
    return "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
           std::to_string(fps) + ":1 Ip A1:1 C444 XCOLORRANGE=LIMITED\n";
}

std::vector<uint8_t> frameToY4m(const uint8_t *frame, uint32_t width, uint32_t height) {
    const size_t plane = size_t{width} * height;
    std::vector<uint8_t> out(6 + 3 * plane);
    const char tag[] = "FRAME\n";
    std::copy(tag, tag + 6, out.begin());
    uint8_t *py = out.data() + 6, *pu = py + plane, *pv = pu + plane;
    size_t i = 0;
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t *row = frame + size_t{y} * width * 3;
        for (uint32_t x = 0; x < width; ++x, ++i) {
            const int b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            py[i] = lumaOf(r, g, b);
            pu[i] = blueDifferenceOf(r, g, b);
            pv[i] = redDifferenceOf(r, g, b);
        }
    }
    return out;
}

}  // namespace lumaghost
