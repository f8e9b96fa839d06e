// SPDX-License-Identifier: LGPL-2.1-or-later
// The vector halves of the colour conversions, one set per instruction set. Each converts the
// leading part of a row (or of a pair of rows) that its vectors cover and returns how many
// pixels that is, a multiple of 16; the scalar code converts the rest. Rows are upright, blue,
// green, red, 3 bytes a pixel; nothing is read past a row's last pixel.
#pragma once

#include <cstdint>

namespace lumaghost::convert_kernels {

/// YUYV: `out` takes 2 bytes per pixel.
int yuyvAvx2(const uint8_t *row, int width, uint8_t *out);
int yuyvAvx512(const uint8_t *row, int width, uint8_t *out);

/// I420 for two rows: their luma, and the chroma of the 2 x 2 blocks they make (one byte of
/// `u` and of `v` per two pixels).
int i420Avx2(const uint8_t *top, const uint8_t *bottom, int width, uint8_t *topLuma,
             uint8_t *bottomLuma, uint8_t *u, uint8_t *v);
int i420Avx512(const uint8_t *top, const uint8_t *bottom, int width, uint8_t *topLuma,
               uint8_t *bottomLuma, uint8_t *u, uint8_t *v);

/// BGRx: `out` takes 4 bytes per pixel, the fourth 255.
int bgrxAvx2(const uint8_t *row, int width, uint8_t *out);

}  // namespace lumaghost::convert_kernels
