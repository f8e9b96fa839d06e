// Camera frames (bottom-up blue-green-red rows) to the upright YUV layouts that video programs
// take, BT.601 limited range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumaghost {

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
