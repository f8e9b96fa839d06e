// The image resampler: a separable two-pass triangle filter whose support widens on reduction,
// with weights normalised per output pixel. Works on 32-bit pixels of three 8-bit channels
// (bytes 0-2; byte 3 is ignored on input and written as 0).
#pragma once

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

namespace detail {
// Zero-weight taps at either end of an entry trimmed away (adding 0 to a non-negative sum is
// exact, so the result is the same).
struct Taps {
    int left;
    int count;
    const float *weights;
};
std::vector<Taps> trimmedTaps(const ContributionTable &table);

bool avx2Available();
// One destination row: vertical pass into `rowBuffer` (4 floats per source column), then the
// horizontal pass into `destinationRow`.
void resampleRowAvx2(const uint8_t *source, int sourceWidth, const Taps &vertical,
                     const std::vector<Taps> &horizontal, float *rowBuffer,
                     uint8_t *destinationRow);
}  // namespace detail

}  // namespace lumaghost
