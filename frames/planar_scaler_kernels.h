// SPDX-License-Identifier: LGPL-2.1-or-later
// The planar scaler's insides, shared by its scalar and vector paths: the taps of one geometry in
// fixed point, and the row kernel of each path.
//
// Fixed point: every axis' weights are multiples of 2^-14 that sum to exactly 1. The vertical
// pass sums 8-bit samples into 1/128 levels (rounded, at most 32640: int16); the horizontal
// pass sums those into 2^-21 levels (int32), rounded to 1/64 levels for the conversion.
#pragma once

#include <cstdint>
#include <vector>

#include "frames/planar_scaler.h"

namespace lumaghost::planar_kernels {

inline constexpr int kWeightBits = 14;
inline constexpr int kVerticalShift = 7;     // 2^-14 level sums to 1/128 levels
inline constexpr int kHorizontalShift = 15;  // 2^-21 level sums to 1/64 levels
inline constexpr int kGroup = 16;            // output pixels of one vector step
inline constexpr int kWindow = 64;           // words a vector step reads from, from its base
inline constexpr int kPad = 64;              // words after a pass buffer's last, read but unused

// One pixel's conversion from 1/64 levels; the vector path computes the same.
inline void bgrOf(const YuvMatrix &m, int32_t y, int32_t u, int32_t v, uint8_t *out) {
    const int32_t l = m.lumaScale * (y - m.lumaBlack) + (1 << 19);
    u -= 128 * 64;
    v -= 128 * 64;
    const int32_t r = (l + m.redFromV * v) >> 20;
    const int32_t g = (l - m.greenFromU * u - m.greenFromV * v) >> 20;
    const int32_t b = (l + m.blueFromU * u) >> 20;
    out[0] = uint8_t(b < 0 ? 0 : b > 255 ? 255 : b);
    out[1] = uint8_t(g < 0 ? 0 : g > 255 ? 255 : g);
    out[2] = uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

// The vertical taps of each output row: an even count (padded with a zero weight) of source
// rows of a plane (top-down indexes) and their weights.
struct VerticalTaps {
    int count = 0;  // entries per output row, of which counts[y] are used
    std::vector<int> counts;
    std::vector<int> rows;
    std::vector<int16_t> weights;
};

// The horizontal taps of each output pixel into a pass buffer: an even count (padded with zero
// weights) of word indexes and weights. For the vector path, per group of kGroup outputs: its
// base, whether every tap lies in the kWindow words from it, and per pair of taps the window
// indexes (word 2j, 2j + 1: output j's pair) and the weights laid out alike.
struct HorizontalTaps {
    int count = 0;
    std::vector<int32_t> index;
    std::vector<int16_t> weights;
    std::vector<int32_t> base;
    std::vector<uint8_t> inWindow;
    std::vector<int16_t> windowIndex;    // groups x count / 2 x 2 kGroup
    std::vector<int16_t> windowWeights;  // the same
};

// Output i's horizontal sum, in 1/64 levels.
inline int32_t horizontalSum(const HorizontalTaps &taps, const int16_t *buffer, int i) {
    const int32_t *index = &taps.index[size_t(i) * taps.count];
    const int16_t *weights = &taps.weights[size_t(i) * taps.count];
    int32_t sum = 0;
    for (int k = 0; k < taps.count; ++k)
        sum += int32_t(weights[k]) * buffer[index[k]];
    return (sum + (1 << (kHorizontalShift - 1))) >> kHorizontalShift;
}

}  // namespace lumaghost::planar_kernels

namespace lumaghost {

struct PlanarScaler::Plan {
    // The geometry these taps are for.
    PlanarLayout layout = PlanarLayout::I420;
    int frameWidth = 0, frameHeight = 0;
    Rect part;
    int width = 0, height = 0;
    YuvColours colours;
    YuvMatrix matrix;

    int lumaColumn0 = 0, lumaColumns = 0;      // the luma columns the vertical pass reads
    int chromaColumn0 = 0, chromaColumns = 0;  // the chroma samples (NV12: pairs) it reads
    planar_kernels::VerticalTaps lumaRows, chromaRows;
    // The chroma's taps serve both differences: in I420's two buffers alike, in NV12's
    // interleaved pairs from the blue difference of each (the red one's buffer starts a word on).
    planar_kernels::HorizontalTaps luma, chroma;
};

namespace planar_kernels {

// Scratch of one thread: the vertical pass' sums of one output row.
struct RowBuffers {
    int16_t *luma;
    int16_t *blueDifference;  // NV12: the interleaved pairs' sums
    int16_t *redDifference;   // NV12: the same, from its second word
};

bool avx512Available();
// Output row y of the plan into `out` (3 bytes a pixel).
void scaleRowAvx512(const PlanarScaler::Plan &plan, const PlanarFrame &frame, int y,
                    const RowBuffers &buffers, uint8_t *out);

}  // namespace planar_kernels

}  // namespace lumaghost
