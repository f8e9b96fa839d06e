// SPDX-License-Identifier: LGPL-2.1-or-later
// The vector paths' walk over one block of destination rows: source columns are summed down in
// strips for every row of the block, and each output pixel is filtered across as soon as the
// columns its taps read are summed, so the rows' sums are read back while still in the cache.
#pragma once

#include <algorithm>

#include "frames/resampler_kernels.h"

namespace lumaghost::resample_kernels {

// The tap counts the vector passes unroll, each as X(n); other counts take a loop.
#define LUMA_UNROLLED_TAP_COUNTS(X) \
    X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11) X(12) X(13)

// Source columns per strip: a multiple of the widest vector group (16 pixels).
constexpr int kStripColumns = 128;
// Destination rows filtered together, sharing each weight they read.
constexpr int kBlockRows = 4;

// How many source rows after the block's last row's taps the next block adds (at most 12): the
// last row fetches them into the cache while it sums.
inline int blockPrefetchRows(const ResamplePlan &plan, int firstRow, int rowCount) {
    const int next = firstRow + rowCount + kBlockRows - 1;
    if (next >= plan.destinationHeight)
        return 0;
    const Taps &last = plan.vertical.taps[size_t(firstRow + rowCount - 1)];
    const Taps &ahead = plan.vertical.taps[size_t(next)];
    return std::clamp(ahead.left + ahead.count - last.left - last.count, 0, 12);
}

// `sumDown(x0, x1)` sums source columns [x0, x1) of every row of the block; `filterAcross(i0, i1)`
// writes output pixels [i0, i1) of every row, in runs of four but for the row's last pixels.
template <typename SumDown, typename FilterAcross>
void sumAndFilterInStrips(const PaddedTaps &h, int sourceWidth, SumDown sumDown,
                          FilterAcross filterAcross) {
    const int outputs = static_cast<int>(h.left.size());
    int filtered = 0;
    for (int x = 0; x < sourceWidth;) {
        const int end = std::min(sourceWidth, x + kStripColumns);
        sumDown(x, end);
        x = end;
        int ready = outputs;
        if (end < sourceWidth) {
            ready = filtered;
            while (ready < outputs && h.left[size_t(ready)] + h.count <= end)
                ++ready;
            ready = filtered + (ready - filtered) / 4 * 4;
        }
        if (ready > filtered)
            filterAcross(filtered, ready);
        filtered = ready;
    }
}

}  // namespace lumaghost::resample_kernels
