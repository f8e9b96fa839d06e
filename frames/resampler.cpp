// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "frames/resampler_kernels.h"
#include "frames/resampler_strips.h"

namespace lumaghost {

namespace {

float triangle(float x) {
    x = std::fabs(x);
    return x < 1.0f ? 1.0f - x : 0.0f;
}

// The scalar row: the same sums, in the same order, as the vector path.
void resampleRowScalar(const uint8_t *source, ptrdiff_t stride, int sourceWidth,
                       const resample_kernels::Taps &vertical,
                       const std::vector<resample_kernels::Taps> &horizontal, float *rowBuffer,
                       uint8_t *destinationRow, int bytesPerPixel) {
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

ContributionTable buildContributions(int outputLength, int sourceLength, float scale) {
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

namespace resample_kernels {

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

std::shared_ptr<const ResamplePlan> buildResamplePlan(int sourceWidth, int sourceHeight,
                                                      int destinationWidth, int destinationHeight) {
    auto plan = std::make_shared<ResamplePlan>();
    plan->sourceWidth = sourceWidth;
    plan->sourceHeight = sourceHeight;
    plan->destinationWidth = destinationWidth;
    plan->destinationHeight = destinationHeight;
    const float verticalScale =
        static_cast<float>(destinationHeight) / static_cast<float>(sourceHeight);
    const float horizontalScale =
        static_cast<float>(destinationWidth) / static_cast<float>(sourceWidth);
    plan->vertical =
        trimmedTaps(buildContributions(destinationHeight, sourceHeight, verticalScale));
    plan->horizontal =
        trimmedTaps(buildContributions(destinationWidth, sourceWidth, horizontalScale));
    plan->padded = paddedTaps(plan->horizontal, sourceWidth);

    // Each row's finest weight sets the shift it needs; the rows that can sum integers all take
    // the largest, so their sums share one scale.
    int common = -1;
    for (const Taps &t : plan->vertical.taps) {
        int shift = 0;
        for (int k = 0; k < t.count; ++k) {
            if (t.weights[k] == 0)
                continue;
            int exponent = 0;
            std::frexp(t.weights[k], &exponent);  // weight = f 2^exponent, 1/2 <= f < 1
            shift = std::max(shift, 24 - exponent);
        }
        if (shift > 44)
            shift = -1;
        plan->verticalShift.push_back(shift);
        common = std::max(common, shift);
    }
    plan->integerWeights.assign(plan->vertical.weights.size(), 0);
    for (size_t y = 0; y < plan->vertical.taps.size(); ++y) {
        if (plan->verticalShift[y] < 0)
            continue;
        plan->verticalShift[y] = common;
        const Taps &t = plan->vertical.taps[y];
        const size_t first = size_t(t.weights - plan->vertical.weights.data());
        for (int k = 0; k < t.count; ++k)
            plan->integerWeights[first + k] =
                static_cast<int64_t>(std::ldexp(t.weights[k], common));
    }
    plan->scaledPadded = plan->padded;
    for (double &w : plan->scaledPadded.weights)
        w = std::ldexp(w, -std::max(common, 0));
    return plan;
}

std::shared_ptr<const ResamplePlan> resamplePlan(int sourceWidth, int sourceHeight,
                                                 int destinationWidth, int destinationHeight) {
    // A few pairs of sizes are in use at a time (a camera, its preview, thumbnails); the most
    // recently used plan comes first.
    constexpr size_t kPlans = 8;
    static std::mutex mutex;
    static std::vector<std::shared_ptr<const ResamplePlan>> plans;
    std::lock_guard lock(mutex);
    for (size_t i = 0; i < plans.size(); ++i) {
        const ResamplePlan &p = *plans[i];
        if (p.sourceWidth == sourceWidth && p.sourceHeight == sourceHeight &&
            p.destinationWidth == destinationWidth && p.destinationHeight == destinationHeight) {
            std::rotate(plans.begin(), plans.begin() + ptrdiff_t(i),
                        plans.begin() + ptrdiff_t(i) + 1);
            return plans.front();
        }
    }
    auto plan = buildResamplePlan(sourceWidth, sourceHeight, destinationWidth, destinationHeight);
    if (plans.size() == kPlans)
        plans.pop_back();
    plans.insert(plans.begin(), plan);
    return plan;
}

}  // namespace resample_kernels

ResamplePath activeResamplePath() {
    if (resample_kernels::avx512Available())
        return ResamplePath::Avx512;
    return resample_kernels::avx2Available() ? ResamplePath::Avx2 : ResamplePath::Scalar;
}

bool resamplePathAvailable(ResamplePath path) {
    switch (path) {
        case ResamplePath::Avx512:
            return resample_kernels::avx512Available();
        case ResamplePath::Avx2:
            return resample_kernels::avx2Available();
        default:
            return true;
    }
}

void resampleRows(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout, int firstRow, int rowCount,
                  ResamplePath path) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || destinationWidth <= 0 || destinationHeight <= 0)
        return;
    const int begin = std::max(firstRow, 0);
    const int end = int(std::min<long long>(destinationHeight, (long long)firstRow + rowCount));
    if (begin >= end)
        return;
    const int bytesPerPixel = layout == PixelLayout::Bgr24 ? 3 : 4;
    if (sourceWidth == destinationWidth && sourceHeight == destinationHeight) {
        for (int y = begin; y < end; ++y) {
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

    const auto plan = resample_kernels::resamplePlan(sourceWidth, sourceHeight, destinationWidth,
                                                     destinationHeight);
    if (path == ResamplePath::Avx512 && !resample_kernels::avx512Available())
        path = ResamplePath::Avx2;
    if (path == ResamplePath::Avx2 && !resample_kernels::avx2Available())
        path = ResamplePath::Scalar;

    // Rows of source width entries of three floats, doubles on the vector paths (with room for
    // their wider loads and stores at the last entry); each thread its own.
    constexpr int kRows = resample_kernels::kBlockRows;
    const size_t rowDoubles = (size_t(sourceWidth) * 3 + 16 + 7) / 8 * 8;
    thread_local std::vector<double> rowStore;
    thread_local std::vector<float> scalarRow;
    if (path == ResamplePath::Scalar) {
        if (scalarRow.size() < size_t(sourceWidth) * 3)
            scalarRow.assign(size_t(sourceWidth) * 3, 0.0f);
        for (int y = begin; y < end; ++y)
            resampleRowScalar(source, sourceStride, sourceWidth, plan->vertical.taps[size_t(y)],
                              plan->horizontal.taps, scalarRow.data(),
                              destination + ptrdiff_t(y) * destinationStride, bytesPerPixel);
        return;
    }
    if (rowStore.size() < rowDoubles * kRows + 8)
        rowStore.assign(rowDoubles * kRows + 8, 0.0);
    // Whole cache lines for the vector stores.
    double *buffers[kRows];
    buffers[0] = rowStore.data() +
                 (64 - reinterpret_cast<uintptr_t>(rowStore.data()) % 64) % 64 / sizeof(double);
    for (int k = 1; k < kRows; ++k)
        buffers[k] = buffers[k - 1] + rowDoubles;
    for (int y = begin; y < end; y += kRows) {
        const int rows = std::min(kRows, end - y);
        uint8_t *out[kRows];
        for (int k = 0; k < rows; ++k)
            out[k] = destination + ptrdiff_t(y + k) * destinationStride;
        if (path == ResamplePath::Avx512)
            resample_kernels::resampleBlockAvx512(source, sourceStride, *plan, y, rows, buffers,
                                                  out, bytesPerPixel);
        else
            resample_kernels::resampleBlockAvx2(source, sourceStride, *plan, y, rows, buffers, out,
                                                bytesPerPixel);
    }
}

void resampleInto(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, PixelLayout layout, ResamplePath path) {
    resampleRows(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                 destinationHeight, destinationStride, layout, 0, destinationHeight, path);
}

uint8_t *resampleImageStrided(const uint8_t *source, int sourceWidth, int sourceHeight,
                              ptrdiff_t sourceStride, uint8_t *destination, int destinationWidth,
                              int destinationHeight, ResamplePath path) {
    resampleInto(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                 destinationHeight, ptrdiff_t(destinationWidth) * 4, PixelLayout::Bgrx32, path);
    return destination;
}

uint8_t *resampleImageWith(ResamplePath path, const uint8_t *source, int sourceWidth,
                           int sourceHeight, uint8_t *destination, int destinationWidth,
                           int destinationHeight) {
    return resampleImageStrided(source, sourceWidth, sourceHeight, ptrdiff_t(sourceWidth) * 4,
                                destination, destinationWidth, destinationHeight, path);
}

uint8_t *resampleImage(const uint8_t *source, int sourceWidth, int sourceHeight,
                       uint8_t *destination, int destinationWidth, int destinationHeight) {
    static const ResamplePath path = activeResamplePath();
    return resampleImageWith(path, source, sourceWidth, sourceHeight, destination, destinationWidth,
                             destinationHeight);
}

}  // namespace lumaghost
