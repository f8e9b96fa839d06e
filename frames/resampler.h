// SPDX-License-Identifier: LGPL-2.1-or-later
// The image resampler: a separable two-pass triangle filter whose support widens on reduction,
// with weights normalised per output pixel. Works on 32-bit pixels of three 8-bit channels
// (bytes 0-2; byte 3 is ignored on input and written as 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumaghost {

struct ContributionTable {
    int lineLength = 0;  // output pixels along the axis
    int windowSize = 0;  // weights reserved per output pixel
    struct Entry {
        int left = 0;   // first source index
        int right = 0;  // last source index, inclusive
        int first = 0;  // index of the entry's first weight in `weights`
    };
    std::vector<Entry> entries;
    std::vector<float> weights;  // right - left + 1 per entry

    const float *weightsOf(int i) const { return weights.data() + entries[i].first; }
};

/// One axis' table: output length, source length and scale (output / source, single precision).
ContributionTable BuildContributions(int outputLength, int sourceLength, float scale);

/// Scales a packed 32-bit image (row stride width × 4) to the destination size and returns
/// `destination`. Equal sizes copy all four bytes unchanged.
uint8_t *ResampleImage(const uint8_t *source, int sourceWidth, int sourceHeight,
                       uint8_t *destination, int destinationWidth, int destinationHeight);

enum class ResamplePath { Scalar, Avx2, Avx512 };

/// The widest path this processor runs, the one ResampleImage takes.
ResamplePath activeResamplePath();
/// Whether this processor runs `path` itself rather than a narrower one in its place.
bool resamplePathAvailable(ResamplePath path);
/// ResampleImage on a chosen path; a path the processor lacks falls back to the widest it has
/// (Avx512 to Avx2, Avx2 to Scalar). Every path gives the same bytes.
uint8_t *ResampleImageWith(ResamplePath path, const uint8_t *source, int sourceWidth,
                           int sourceHeight, uint8_t *destination, int destinationWidth,
                           int destinationHeight);

/// How destination pixels are written: 32 bits with 0 as the fourth byte, or the camera frame's
/// 24 bits (blue, green, red).
enum class PixelLayout { Bgrx32, Bgr24 };

/// The resampler writing into rows `destinationStride` bytes apart, in either layout; nothing
/// outside the destination's width × height pixels is written.
void ResampleInto(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout,
                  ResamplePath path = activeResamplePath());

/// ResampleInto for destination rows `firstRow` to `firstRow + rowCount - 1` only (clipped to the
/// destination); `destination` is the whole destination's first row. Rows computed apart, on any
/// threads, are byte for byte those of one ResampleInto call.
void ResampleRows(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout, int firstRow, int rowCount,
                  ResamplePath path = activeResamplePath());

/// ResampleImage on a source whose rows lie `sourceStride` bytes apart (negative for an image
/// whose first row is the last in memory); the results are those of the packed image.
uint8_t *ResampleImageStrided(const uint8_t *source, int sourceWidth, int sourceHeight,
                              ptrdiff_t sourceStride, uint8_t *destination, int destinationWidth,
                              int destinationHeight, ResamplePath path = activeResamplePath());

namespace detail {
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
}  // namespace detail

}  // namespace lumaghost
