// Camera frames (bottom-up blue-green-red rows) to the upright YUV layouts that video programs
// take, BT.601 limited range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumaghost {

// BT.601 limited range, rounded to nearest: the one definition of the colour conversion that
// every YUV output uses.
//   Y  =  16 + ( 65.481 R + 128.553 G +  24.966 B) / 255
//   Cb = 128 + (-37.797 R -  74.203 G + 112.000 B) / 255
//   Cr = 128 + (112.000 R -  93.786 G -  18.214 B) / 255
// The coefficients are exact in thousandths, so sums in units of 1/255000 are exact integers
// and never negative; one division rounds them.
namespace yuv601 {
inline constexpr int kScale = 255000;
inline uint8_t scaled(int sum, int offset) {
    return uint8_t(unsigned(sum + offset * kScale + kScale / 2) / unsigned(kScale));
}
}  // namespace yuv601

inline uint8_t lumaOf(int r, int g, int b) {
    return yuv601::scaled(65481 * r + 128553 * g + 24966 * b, 16);
}
inline uint8_t blueDifferenceOf(int r, int g, int b) {
    return yuv601::scaled(-37797 * r - 74203 * g + 112000 * b, 128);
}
inline uint8_t redDifferenceOf(int r, int g, int b) {
    return yuv601::scaled(112000 * r - 93786 * g - 18214 * b, 128);
}

/// Packed 4:2:2, Y0 U Y1 V; an odd last column repeats its colour. `out` holds
/// ((width + 1) / 2) * 4 * height bytes.
void bgrToYuyv(const uint8_t *frame, int width, int height, uint8_t *out);

/// Planar 4:2:0: Y, then U and V at half size rounded up. `out` holds
/// width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2) bytes.
void bgrToI420(const uint8_t *frame, int width, int height, uint8_t *out);

size_t yuyvSize(int width, int height);
size_t i420Size(int width, int height);

/// Upright 32-bit pixels (blue, green, red, 255): `stride` bytes from row to row.
void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride);

}  // namespace lumaghost
