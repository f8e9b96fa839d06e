#include "frames/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumaghost {

namespace {

float triangle(float x) {
    x = std::fabs(x);
    return x < 1.0f ? 1.0f - x : 0.0f;
}

// The scalar row: the same sums, in the same order, as the vector path.
void resampleRowScalar(const uint8_t *source, ptrdiff_t stride, int sourceWidth,
                       const detail::Taps &vertical, const std::vector<detail::Taps> &horizontal,
                       float *rowBuffer, uint8_t *destinationRow, int bytesPerPixel) {
    for (int x = 0; x < sourceWidth; ++x) {
        double sum[3] = {0, 0, 0};
        const uint8_t *p = source + ptrdiff_t(vertical.left) * stride + ptrdiff_t(x) * 4;
        for (int t = 0; t < vertical.count; ++t, p += stride) {
            const double w = vertical.weights[t];
            sum[0] += w * p[0];
            sum[1] += w * p[1];
            sum[2] += w * p[2];
        }
        float *b = rowBuffer + size_t(x) * 3;
        b[0] = static_cast<float>(sum[0]);
        b[1] = static_cast<float>(sum[1]);
        b[2] = static_cast<float>(sum[2]);
    }
    uint8_t *out = destinationRow;
    for (const auto &h : horizontal) {
        double sum[3] = {0, 0, 0};
        const float *b = rowBuffer + size_t(h.left) * 3;
        for (int t = 0; t < h.count; ++t, b += 3) {
            const double w = h.weights[t];
            sum[0] += w * b[0];
            sum[1] += w * b[1];
            sum[2] += w * b[2];
        }
        // Ties round to even (the default rounding mode); weights sum to one, so no clamping.
        out[0] = static_cast<uint8_t>(std::nearbyint(sum[0]));
        out[1] = static_cast<uint8_t>(std::nearbyint(sum[1]));
        out[2] = static_cast<uint8_t>(std::nearbyint(sum[2]));
        if (bytesPerPixel == 4)
            out[3] = 0;
        out += bytesPerPixel;
    }
}

}  // namespace

ContributionTable BuildContributions(int outputLength, int sourceLength, float scale) {
    ContributionTable table;
    if (outputLength <= 0 || sourceLength <= 0 || !(scale > 0))
        return table;

    float support = 1.0f, factor = 1.0f;
    if (scale < 1.0f) {
        support = 1.0f / scale;
        factor = scale;
    }
    table.lineLength = outputLength;
    table.windowSize = 2 * static_cast<int>(std::ceil(support)) + 1;
    const float inverse = 1.0f / scale;

    table.entries.resize(outputLength);
    table.weights.reserve(size_t(outputLength) * table.windowSize);
    for (int i = 0; i < outputLength; ++i) {
        const float centre = static_cast<float>(i) * inverse;
        int left = static_cast<int>(std::floor(centre - support));
        int right = static_cast<int>(std::ceil(centre + support));
        if (left < 0)
            left = 0;
        if (right > sourceLength - 1)
            right = sourceLength - 1;
        if (right - left + 1 > table.windowSize)
            ++left;

        auto &e = table.entries[i];
        e.left = left;
        e.right = right;
        e.first = static_cast<int>(table.weights.size());
        double total = 0;
        for (int j = left; j <= right; ++j) {
            const float w = factor * triangle(factor * (centre - static_cast<float>(j)));
            table.weights.push_back(w);
            total += w;
        }
        if (total > 0) {
            const double norm = 1.0 / total;
            for (int k = e.first; k < static_cast<int>(table.weights.size()); ++k)
                table.weights[k] = static_cast<float>(table.weights[k] * norm);
        }
    }
    return table;
}

namespace detail {

TapTable trimmedTaps(const ContributionTable &table) {
    TapTable out;
    out.taps.reserve(table.entries.size());
    out.weights.reserve(table.weights.size());
    std::vector<std::pair<int, int>> spans;  // first weight, count
    for (int i = 0; i < table.lineLength; ++i) {
        const auto &e = table.entries[i];
        const float *w = table.weightsOf(i);
        int lo = 0, hi = e.right - e.left;
        while (lo < hi && w[lo] == 0.0f)
            ++lo;
        while (hi > lo && w[hi] == 0.0f)
            --hi;
        spans.emplace_back(static_cast<int>(out.weights.size()), hi - lo + 1);
        out.weights.insert(out.weights.end(), w + lo, w + hi + 1);
        out.taps.push_back({e.left + lo, hi - lo + 1, nullptr});
    }
    for (size_t i = 0; i < out.taps.size(); ++i)
        out.taps[i].weights = out.weights.data() + spans[i].first;
    return out;
}

PaddedTaps paddedTaps(const TapTable &table, int sourceLength) {
    PaddedTaps out;
    for (const auto &t : table.taps)
        out.count = std::max(out.count, t.count);
    out.left.reserve(table.taps.size());
    out.weights.assign(table.taps.size() * size_t(out.count), 0.0);
    for (size_t i = 0; i < table.taps.size(); ++i) {
        const Taps &t = table.taps[i];
        const int left = std::max(0, std::min(t.left, sourceLength - out.count));
        out.left.push_back(left);
        std::copy(t.weights, t.weights + t.count,
                  out.weights.begin() + i * out.count + (t.left - left));
    }
    return out;
}

}  // namespace detail

ResamplePath activeResamplePath() {
    return detail::avx2Available() ? ResamplePath::Avx2 : ResamplePath::Scalar;
}

void ResampleInto(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout, ResamplePath path) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0)
        return;
    const int bytesPerPixel = layout == PixelLayout::Bgr24 ? 3 : 4;
    if (sourceWidth == destinationWidth && sourceHeight == destinationHeight) {
        for (int y = 0; y < sourceHeight; ++y) {
            const uint8_t *in = source + ptrdiff_t(y) * sourceStride;
            uint8_t *out = destination + ptrdiff_t(y) * destinationStride;
            if (bytesPerPixel == 4) {
                std::memcpy(out, in, size_t(sourceWidth) * 4);
                continue;
            }
            for (int x = 0; x < sourceWidth; ++x, in += 4, out += 3)
                out[0] = in[0], out[1] = in[1], out[2] = in[2];
        }
        return;
    }

    const float verticalScale =
        static_cast<float>(destinationHeight) / static_cast<float>(sourceHeight);
    const float horizontalScale =
        static_cast<float>(destinationWidth) / static_cast<float>(sourceWidth);
    const ContributionTable vertical =
        BuildContributions(destinationHeight, sourceHeight, verticalScale);
    const ContributionTable horizontal =
        BuildContributions(destinationWidth, sourceWidth, horizontalScale);
    const detail::TapTable verticalTaps = detail::trimmedTaps(vertical);
    const detail::TapTable horizontalTaps = detail::trimmedTaps(horizontal);

    // One row of source width entries of three floats, and room for the vector path's
    // four-float loads and stores at the last entry.
    std::vector<float> rowBuffer(size_t(sourceWidth) * 3 + 1);
    const bool simd = path == ResamplePath::Avx2 && detail::avx2Available();
    const detail::PaddedTaps padded =
        simd ? detail::paddedTaps(horizontalTaps, sourceWidth) : detail::PaddedTaps{};
    for (int y = 0; y < destinationHeight; ++y) {
        uint8_t *row = destination + ptrdiff_t(y) * destinationStride;
        if (simd)
            detail::resampleRowAvx2(source, sourceStride, sourceWidth, verticalTaps.taps[y], padded,
                                    rowBuffer.data(), row, bytesPerPixel);
        else
            resampleRowScalar(source, sourceStride, sourceWidth, verticalTaps.taps[y],
                              horizontalTaps.taps, rowBuffer.data(), row, bytesPerPixel);
    }
}

uint8_t *ResampleImageStrided(const uint8_t *source, int sourceWidth, int sourceHeight,
                              ptrdiff_t sourceStride, uint8_t *destination, int destinationWidth,
                              int destinationHeight, ResamplePath path) {
    ResampleInto(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                 destinationHeight, ptrdiff_t(destinationWidth) * 4, PixelLayout::Bgrx32, path);
    return destination;
}

uint8_t *ResampleImageWith(ResamplePath path, const uint8_t *source, int sourceWidth,
                           int sourceHeight, uint8_t *destination, int destinationWidth,
                           int destinationHeight) {
    return ResampleImageStrided(source, sourceWidth, sourceHeight, ptrdiff_t(sourceWidth) * 4,
                                destination, destinationWidth, destinationHeight, path);
}

uint8_t *ResampleImage(const uint8_t *source, int sourceWidth, int sourceHeight,
                       uint8_t *destination, int destinationWidth, int destinationHeight) {
    static const ResamplePath path = activeResamplePath();
    return ResampleImageWith(path, source, sourceWidth, sourceHeight, destination, destinationWidth,
                             destinationHeight);
}

}  // namespace lumaghost
