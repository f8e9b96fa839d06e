// SPDX-License-Identifier: LGPL-2.1-or-later
// The resampler's insides, shared by its scalar and vector paths and read by its tests: the
// trimmed and padded taps, the plan built once per pair of sizes, and the vector kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frames/resampler.h"

namespace lumaghost::resample_kernels {

// The taps of one output index, zero-weight taps at either end trimmed away (adding 0 to a
// non-negative sum is exact, so the result is the same). Weights are widened to double, exactly.
struct Taps {
    int left;
    int count;
    const double *weights;
};
struct TapTable {
    std::vector<Taps> taps;
    std::vector<double> weights;
};
TapTable trimmedTaps(const ContributionTable &table);

// The same taps widened to one common count per table, with zero weights (adding 0 is exact)
// and windows moved inside the source; fixed counts let the vector loops run without branches.
struct PaddedTaps {
    int count = 0;
    std::vector<int> left;
    std::vector<double> weights;  // `count` per output index
};
PaddedTaps paddedTaps(const TapTable &taps, int sourceLength);

// Everything one pair of sizes needs, built once and shared: the tables of both axes, trimmed,
// and the horizontal taps as the vector paths read them.
struct ResamplePlan {
    int sourceWidth = 0, sourceHeight = 0, destinationWidth = 0, destinationHeight = 0;
    TapTable vertical;
    TapTable horizontal;
    PaddedTaps padded;
    // The vertical weights as integers: weight × 2^shift of output row y, where `shift`, one
    // for all such rows, is at most 44 (every weight a multiple of 2^-44); else the row's shift
    // is -1. Sums of such products with 8-bit values stay below 2^52, so double sums of them are
    // exact and integer sums give the same value.
    std::vector<int64_t> integerWeights;  // laid out as vertical.weights
    std::vector<int> verticalShift;       // one per output row
    // `padded` times 2^-shift: the horizontal taps of sums left scaled by 2^shift (exact, so
    // every product and sum is the unscaled one's times 2^-shift).
    PaddedTaps scaledPadded;

    ResamplePlan() = default;
    ResamplePlan(const ResamplePlan &) = delete;  // the taps point into their own tables
    ResamplePlan &operator=(const ResamplePlan &) = delete;
};
std::shared_ptr<const ResamplePlan> buildResamplePlan(int sourceWidth, int sourceHeight,
                                                      int destinationWidth, int destinationHeight);
// The plan of these sizes from a small cache shared by all threads, built on a miss.
std::shared_ptr<const ResamplePlan> resamplePlan(int sourceWidth, int sourceHeight,
                                                 int destinationWidth, int destinationHeight);

bool avx2Available();
bool avx512Available();
// Destination rows `firstRow` to `firstRow + rowCount - 1` (at most four) with 256-bit vectors,
// each row's sums in its own `rowBuffers` entry (3 doubles per source column and 16 more) and
// its pixels written to its `destinationRows` entry.
void resampleBlockAvx2(const uint8_t *source, ptrdiff_t stride, const ResamplePlan &plan,
                       int firstRow, int rowCount, double *const *rowBuffers,
                       uint8_t *const *destinationRows, int destinationBytesPerPixel);
// The same rows' horizontal pass over output pixels [begin, end), from their sums; with
// `scales`, each row's sums are multiplied by its entry (a power of two) before they are rounded.
void filterAcrossAvx2(const PaddedTaps &h, int rowCount, const double *const *rowBuffers,
                      const double *scales, uint8_t *const *destinationRows,
                      int destinationBytesPerPixel, int begin, int end);
// The same with 512-bit vectors; rows whose weights are all multiples of 2^-44 sum integers.
void resampleBlockAvx512(const uint8_t *source, ptrdiff_t stride, const ResamplePlan &plan,
                         int firstRow, int rowCount, double *const *rowBuffers,
                         uint8_t *const *destinationRows, int destinationBytesPerPixel);

}  // namespace lumaghost::resample_kernels
