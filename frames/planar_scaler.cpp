// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/planar_scaler.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "frames/planar_scaler_kernels.h"
#include "frames/resampler.h"
#include "frames/resampler_kernels.h"

namespace lumaghost {

namespace pk = planar_kernels;

namespace {

int32_t fixed(double value) {
    return int32_t(std::lround(value * (1 << pk::kWeightBits)));
}

// Weights of 2^-14 that sum to exactly 1: each rounded, the largest taking what is left over.
void quantise(const std::vector<double> &weights, int16_t *out) {
    int total = 0;
    size_t largest = 0;
    for (size_t k = 0; k < weights.size(); ++k) {
        out[k] = int16_t(fixed(weights[k]));
        total += out[k];
        if (weights[k] > weights[largest])
            largest = k;
    }
    out[largest] = int16_t(out[largest] + (1 << pk::kWeightBits) - total);
}

// Taps of one output as (source index, weight), those of equal index merged.
using TapList = std::vector<std::pair<int, double>>;

void merge(TapList &taps, int index, double weight) {
    for (auto &t : taps)
        if (t.first == index) {
            t.second += weight;
            return;
        }
    taps.emplace_back(index, weight);
}

// Even counts: a last odd tap is paired with a zero weight on the same index.
int evenCount(const std::vector<TapList> &lists) {
    size_t count = 1;
    for (const auto &l : lists)
        count = std::max(count, l.size());
    return int((count + 1) / 2 * 2);
}

pk::VerticalTaps verticalTaps(const std::vector<TapList> &lists) {
    pk::VerticalTaps out;
    out.count = evenCount(lists);
    out.rows.assign(lists.size() * size_t(out.count), 0);
    out.weights.assign(lists.size() * size_t(out.count), 0);
    std::vector<double> w;
    for (size_t y = 0; y < lists.size(); ++y) {
        const TapList &l = lists[y];
        const size_t used = (l.size() + 1) / 2 * 2;
        out.counts.push_back(int(used));
        w.clear();
        for (size_t k = 0; k < used; ++k) {
            out.rows[y * out.count + k] = l[std::min(k, l.size() - 1)].first;
            w.push_back(k < l.size() ? l[k].second : 0.0);
        }
        quantise(w, &out.weights[y * out.count]);
    }
    return out;
}

pk::HorizontalTaps horizontalTaps(const std::vector<TapList> &lists) {
    pk::HorizontalTaps out;
    out.count = evenCount(lists);
    const size_t n = lists.size(), count = size_t(out.count);
    out.index.assign(n * count, 0);
    out.weights.assign(n * count, 0);
    std::vector<double> w;
    for (size_t i = 0; i < n; ++i) {
        const TapList &l = lists[i];
        w.clear();
        for (size_t k = 0; k < count; ++k) {
            out.index[i * count + k] = l[std::min(k, l.size() - 1)].first;
            w.push_back(k < l.size() ? l[k].second : 0.0);
        }
        quantise(w, &out.weights[i * count]);
    }
    // The vector steps: outputs past the last read word 0 of the window with weight 0.
    const size_t groups = (n + pk::kGroup - 1) / pk::kGroup, pairs = count / 2;
    out.base.assign(groups, 0);
    out.inWindow.assign(groups, 1);
    out.windowIndex.assign(groups * pairs * 2 * pk::kGroup, 0);
    out.windowWeights.assign(groups * pairs * 2 * pk::kGroup, 0);
    for (size_t g = 0; g < groups; ++g) {
        const size_t first = g * pk::kGroup, last = std::min(n, first + pk::kGroup);
        int32_t base = out.index[first * count];
        for (size_t i = first; i < last; ++i)
            for (size_t k = 0; k < count; ++k)
                base = std::min(base, out.index[i * count + k]);
        out.base[g] = base;
        for (size_t i = first; i < last; ++i)
            for (size_t k = 0; k < count; ++k) {
                const int32_t at = out.index[i * count + k] - base;
                if (at >= pk::kWindow) {
                    out.inWindow[g] = 0;
                    continue;
                }
                const size_t slot = (g * pairs + k / 2) * 2 * pk::kGroup + (i - first) * 2 + k % 2;
                out.windowIndex[slot] = int16_t(at);
                out.windowWeights[slot] = out.weights[i * count + k];
            }
    }
    return out;
}

// The triangle taps of one axis, as the resampler builds them, of output length `outputs` from
// `sources` samples.
resample_kernels::TapTable axisTaps(int outputs, int sources) {
    return resample_kernels::trimmedTaps(buildContributions(
        outputs, sources, static_cast<float>(outputs) / static_cast<float>(sources)));
}

// The scalar row: the vector path's sums, in integers.
void verticalPass(const uint8_t *plane, ptrdiff_t stride, int column0, int columns,
                  const pk::VerticalTaps &taps, int y, int16_t *out) {
    const int *rows = &taps.rows[size_t(y) * taps.count];
    const int16_t *weights = &taps.weights[size_t(y) * taps.count];
    const int count = taps.counts[size_t(y)];
    for (int x = 0; x < columns; ++x) {
        int32_t sum = 0;
        for (int k = 0; k < count; ++k)
            sum += int32_t(weights[k]) * plane[ptrdiff_t(rows[k]) * stride + column0 + x];
        out[x] = int16_t((sum + (1 << (pk::kVerticalShift - 1))) >> pk::kVerticalShift);
    }
}

void verticalPasses(const PlanarScaler::Plan &plan, const PlanarFrame &frame, int y,
                    const pk::RowBuffers &buffers) {
    verticalPass(frame.planes[0], frame.strides[0], plan.lumaColumn0, plan.lumaColumns,
                 plan.lumaRows, y, buffers.luma);
    if (plan.layout == PlanarLayout::Nv12) {
        verticalPass(frame.planes[1], frame.strides[1], 2 * plan.chromaColumn0,
                     2 * plan.chromaColumns, plan.chromaRows, y, buffers.blueDifference);
        return;
    }
    verticalPass(frame.planes[1], frame.strides[1], plan.chromaColumn0, plan.chromaColumns,
                 plan.chromaRows, y, buffers.blueDifference);
    verticalPass(frame.planes[2], frame.strides[2], plan.chromaColumn0, plan.chromaColumns,
                 plan.chromaRows, y, buffers.redDifference);
}

void scaleRowScalar(const PlanarScaler::Plan &plan, const PlanarFrame &frame, int y,
                    const pk::RowBuffers &buffers, uint8_t *out) {
    verticalPasses(plan, frame, y, buffers);
    for (int i = 0; i < plan.width; ++i, out += 3)
        pk::bgrOf(plan.matrix, pk::horizontalSum(plan.luma, buffers.luma, i),
                  pk::horizontalSum(plan.chroma, buffers.blueDifference, i),
                  pk::horizontalSum(plan.chroma, buffers.redDifference, i), out);
}

}  // namespace

YuvMatrix YuvMatrix::of(const YuvColours &c) {
    const double kg = 1.0 - c.kr - c.kb;
    const double lumaRange = c.fullRange ? 1.0 : 255.0 / 219.0;
    const double chromaRange = c.fullRange ? 1.0 : 255.0 / 224.0;
    YuvMatrix m;
    m.lumaScale = fixed(lumaRange);
    m.lumaBlack = c.fullRange ? 0 : 16 * 64;
    m.redFromV = fixed(2 * (1 - c.kr) * chromaRange);
    m.blueFromU = fixed(2 * (1 - c.kb) * chromaRange);
    m.greenFromU = fixed(2 * c.kb * (1 - c.kb) / kg * chromaRange);
    m.greenFromV = fixed(2 * c.kr * (1 - c.kr) / kg * chromaRange);
    return m;
}

bool planarPathAvailable(PlanarPath path) {
    return path == PlanarPath::Scalar || pk::avx512Available();
}

PlanarPath fastestPlanarPath() {
    static const PlanarPath fastest =
        pk::avx512Available() ? PlanarPath::Avx512 : PlanarPath::Scalar;
    return fastest;
}

void planarToBgrx(const PlanarFrame &frame, Rect part, uint8_t *out, ptrdiff_t outStride) {
    const YuvMatrix m = YuvMatrix::of(frame.colours);
    const bool nv12 = frame.layout == PlanarLayout::Nv12;
    for (int i = 0; i < part.height; ++i, out += outStride) {
        const int row = frame.height - 1 - (part.top + i);
        const uint8_t *luma = frame.planes[0] + ptrdiff_t(row) * frame.strides[0];
        const uint8_t *u = frame.planes[1] + ptrdiff_t(row / 2) * frame.strides[1];
        const uint8_t *v = nv12 ? u + 1 : frame.planes[2] + ptrdiff_t(row / 2) * frame.strides[2];
        const int step = nv12 ? 2 : 1;
        uint8_t *o = out;
        for (int x = part.left; x < part.left + part.width; ++x, o += 4) {
            const int c = x / 2 * step;
            pk::bgrOf(m, luma[x] * 64, u[c] * 64, v[c] * 64, o);
            o[3] = 0;
        }
    }
}

PlanarScaler::PlanarScaler() = default;
PlanarScaler::~PlanarScaler() = default;

int PlanarScaler::width() const {
    return plan_ ? plan_->width : 0;
}

int PlanarScaler::height() const {
    return plan_ ? plan_->height : 0;
}

bool PlanarScaler::prepare(const PlanarFrame &frame, Rect part, int width, int height) {
    if (frame.width <= 0 || frame.height <= 0 || width <= 0 || height <= 0 || part.width <= 0 ||
        part.height <= 0 || part.left < 0 || part.top < 0 || part.left + part.width > frame.width ||
        part.top + part.height > frame.height)
        return false;
    if (plan_ && plan_->layout == frame.layout && plan_->frameWidth == frame.width &&
        plan_->frameHeight == frame.height && plan_->part == part && plan_->width == width &&
        plan_->height == height && plan_->colours == frame.colours)
        return true;
    auto plan = std::make_unique<Plan>();
    plan->layout = frame.layout;
    plan->frameWidth = frame.width;
    plan->frameHeight = frame.height;
    plan->part = part;
    plan->width = width;
    plan->height = height;
    plan->colours = frame.colours;
    plan->matrix = YuvMatrix::of(frame.colours);
    plan->lumaColumn0 = part.left;
    plan->lumaColumns = part.width;
    plan->chromaColumn0 = part.left / 2;
    plan->chromaColumns = (part.left + part.width - 1) / 2 - part.left / 2 + 1;

    // Vertical: bitmap row b of the part is the frame's row height - 1 - (top + b).
    const auto vertical = axisTaps(height, part.height);
    std::vector<TapList> lumaRows(static_cast<size_t>(height)), chromaRows(lumaRows.size());
    for (int y = 0; y < height; ++y) {
        const auto &t = vertical.taps[size_t(y)];
        for (int k = 0; k < t.count; ++k) {
            const int row = frame.height - 1 - (part.top + t.left + k);
            merge(lumaRows[size_t(y)], row, t.weights[k]);
            merge(chromaRows[size_t(y)], row / 2, t.weights[k]);
        }
    }
    plan->lumaRows = verticalTaps(lumaRows);
    plan->chromaRows = verticalTaps(chromaRows);

    // Horizontal: indexes into the vertical pass' sums of the columns read.
    const auto horizontal = axisTaps(width, part.width);
    std::vector<TapList> luma(static_cast<size_t>(width)), chroma(luma.size());
    const bool nv12 = frame.layout == PlanarLayout::Nv12;
    for (int i = 0; i < width; ++i) {
        const auto &t = horizontal.taps[size_t(i)];
        for (int k = 0; k < t.count; ++k) {
            const int column = part.left + t.left + k;
            const int sample = column / 2 - plan->chromaColumn0;
            merge(luma[size_t(i)], column - plan->lumaColumn0, t.weights[k]);
            merge(chroma[size_t(i)], nv12 ? 2 * sample : sample, t.weights[k]);
        }
    }
    plan->luma = horizontalTaps(luma);
    plan->chroma = horizontalTaps(chroma);
    plan_ = std::move(plan);
    return true;
}

void PlanarScaler::scaleRows(const PlanarFrame &frame, uint8_t *destination,
                             ptrdiff_t destinationStride, int firstRow, int rowCount,
                             PlanarPath path) const {
    if (!plan_ || frame.layout != plan_->layout || frame.width != plan_->frameWidth ||
        frame.height != plan_->frameHeight)
        return;
    const Plan &plan = *plan_;
    const int begin = std::max(firstRow, 0);
    const int end = int(std::min<int64_t>(plan.height, int64_t(firstRow) + rowCount));
    if (path == PlanarPath::Avx512 && !pk::avx512Available())
        path = PlanarPath::Scalar;

    // Each thread's own sums, with room for the vector steps' reads and stores past the last.
    thread_local std::vector<int16_t> store;
    const size_t lumaWords = size_t(plan.lumaColumns) + pk::kPad;
    const size_t chromaWords = 2 * size_t(plan.chromaColumns) + pk::kPad;
    if (store.size() < lumaWords + 2 * chromaWords)
        store.assign(lumaWords + 2 * chromaWords, 0);
    pk::RowBuffers buffers{store.data(), store.data() + lumaWords,
                           store.data() + lumaWords + chromaWords};
    if (plan.layout == PlanarLayout::Nv12)
        buffers.redDifference = buffers.blueDifference + 1;
    for (int y = begin; y < end; ++y) {
        uint8_t *out = destination + ptrdiff_t(y) * destinationStride;
        if (path == PlanarPath::Avx512)
            pk::scaleRowAvx512(plan, frame, y, buffers, out);
        else
            scaleRowScalar(plan, frame, y, buffers, out);
    }
}

}  // namespace lumaghost
