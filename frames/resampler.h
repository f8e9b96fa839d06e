// SPDX-License-Identifier: LGPL-2.1-or-later
// The image resampler: a separable two-pass triangle filter whose support widens on reduction,
// with weights normalised per output pixel. Works on 32-bit pixels of three 8-bit channels
// (bytes 0-2; byte 3 is ignored on input and written as 0).
#pragma once

#include <cstddef>
#include <cstdint>
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
ContributionTable buildContributions(int outputLength, int sourceLength, float scale);

/// Scales a packed 32-bit image (row stride width × 4) to the destination size and returns
/// `destination`. Equal sizes copy all four bytes unchanged.
uint8_t *resampleImage(const uint8_t *source, int sourceWidth, int sourceHeight,
                       uint8_t *destination, int destinationWidth, int destinationHeight);

enum class ResamplePath { Scalar, Avx2, Avx512 };

/// The widest path this processor runs, the one resampleImage takes.
ResamplePath activeResamplePath();
/// Whether this processor runs `path` itself rather than a narrower one in its place.
bool resamplePathAvailable(ResamplePath path);
/// resampleImage on a chosen path; a path the processor lacks falls back to the widest it has
/// (Avx512 to Avx2, Avx2 to Scalar). Every path gives the same bytes.
uint8_t *resampleImageWith(ResamplePath path, const uint8_t *source, int sourceWidth,
                           int sourceHeight, uint8_t *destination, int destinationWidth,
                           int destinationHeight);

/// How destination pixels are written: 32 bits with 0 as the fourth byte, or the camera frame's
/// 24 bits (blue, green, red).
enum class PixelLayout { Bgrx32, Bgr24 };

/// The resampler writing into rows `destinationStride` bytes apart, in either layout; nothing
/// outside the destination's width × height pixels is written.
void resampleInto(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout,
                  ResamplePath path = activeResamplePath());

/// resampleInto for destination rows `firstRow` to `firstRow + rowCount - 1` only (clipped to the
/// destination); `destination` is the whole destination's first row. Rows computed apart, on any
/// threads, are byte for byte those of one resampleInto call.
void resampleRows(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout, int firstRow, int rowCount,
                  ResamplePath path = activeResamplePath());

/// resampleImage on a source whose rows lie `sourceStride` bytes apart (negative for an image
/// whose first row is the last in memory); the results are those of the packed image.
uint8_t *resampleImageStrided(const uint8_t *source, int sourceWidth, int sourceHeight,
                              ptrdiff_t sourceStride, uint8_t *destination, int destinationWidth,
                              int destinationHeight, ResamplePath path = activeResamplePath());

}  // namespace lumaghost
