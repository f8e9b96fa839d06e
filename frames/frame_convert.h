// SPDX-License-Identifier: LGPL-2.1-or-later
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
// The vector conversions compute the same sums in 32-bit lanes and divide exactly.
namespace yuv601 {
inline constexpr int kScale = 255000;
struct Row {
    int r, g, b, offset;
};
inline constexpr Row kY{65481, 128553, 24966, 16};
inline constexpr Row kCb{-37797, -74203, 112000, 128};
inline constexpr Row kCr{112000, -93786, -18214, 128};
inline uint8_t scaled(const Row &row, int r, int g, int b) {
    return uint8_t(unsigned(row.r * r + row.g * g + row.b * b + row.offset * kScale + kScale / 2) /
                   unsigned(kScale));
}
}  // namespace yuv601

inline uint8_t lumaOf(int r, int g, int b) {
    return yuv601::scaled(yuv601::kY, r, g, b);
}
inline uint8_t blueDifferenceOf(int r, int g, int b) {
    return yuv601::scaled(yuv601::kCb, r, g, b);
}
inline uint8_t redDifferenceOf(int r, int g, int b) {
    return yuv601::scaled(yuv601::kCr, r, g, b);
}

/// The instruction sets a conversion can run on. Every path gives the same bytes.
enum class ConvertPath { Scalar, Avx2, Avx512 };

/// Whether this processor runs `path`.
bool convertPathAvailable(ConvertPath path);
/// The path the conversions take when none is named: the fastest this processor runs.
ConvertPath fastestConvertPath();
const char *convertPathName(ConvertPath path);

/// Packed 4:2:2, Y0 U Y1 V; an odd last column repeats its colour. `out` holds
/// ((width + 1) / 2) * 4 * height bytes.
void bgrToYuyv(const uint8_t *frame, int width, int height, uint8_t *out);

/// Planar 4:2:0: Y, then U and V at half size rounded up. `out` holds
/// width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2) bytes.
void bgrToI420(const uint8_t *frame, int width, int height, uint8_t *out);

/// As above, on a frame whose rows lie `stride` bytes apart (at least width * 3), through
/// `path`, which the processor must run.
void bgrToYuyv(const uint8_t *frame, int width, int height, ptrdiff_t stride, uint8_t *out,
               ConvertPath path);
void bgrToI420(const uint8_t *frame, int width, int height, ptrdiff_t stride, uint8_t *out,
               ConvertPath path);

size_t yuyvSize(int width, int height);
size_t i420Size(int width, int height);

/// Upright 32-bit pixels (blue, green, red, 255): `stride` bytes from row to row.
void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride);
/// As above through `path` (AVX-512 takes the AVX2 code).
void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride,
               ConvertPath path);

}  // namespace lumaghost
