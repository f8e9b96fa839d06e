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
ContributionTable BuildContributions(int outputLength, int sourceLength, float scale);

/// Scales a packed 32-bit image (row stride width × 4) to the destination size and returns
/// `destination`. Equal sizes copy all four bytes unchanged.
uint8_t *ResampleImage(const uint8_t *source, int sourceWidth, int sourceHeight,
                       uint8_t *destination, int destinationWidth, int destinationHeight);

enum class ResamplePath { Scalar, Avx2 };

/// The path ResampleImage takes on this processor.
ResamplePath activeResamplePath();
/// ResampleImage on a chosen path; Avx2 falls back to Scalar where the processor lacks it.
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

bool avx2Available();
// One destination row: vertical pass into `rowBuffer` (3 floats per source column), then the
// horizontal pass into `destinationRow`.
void resampleRowAvx2(const uint8_t *source, ptrdiff_t stride, int sourceWidth, const Taps &vertical,
                     const PaddedTaps &horizontal, float *rowBuffer, uint8_t *destinationRow,
                     int destinationBytesPerPixel);
}  // namespace detail

}  // namespace lumaghost
