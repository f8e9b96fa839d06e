// SPDX-License-Identifier: LGPL-2.1-or-later
// The planar scaler's row with AVX-512 (VBMI's byte permutes for the packing). The vertical
// pass sums 32 columns a step with pairwise multiply-adds of two rows' samples interleaved; the
// horizontal pass takes 16 outputs a step, each pair of their taps gathered by one word permute
// from the 64 words at the group's base; the conversion runs in 32-bit lanes. Every sum is that
// of the scalar row, so the bytes are the same.
#include <immintrin.h>

#include <algorithm>

// GCC 12 takes the undefined pass-through operand of the unmasked 512-bit intrinsics for an
// uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "frames/planar_scaler_kernels.h"

#define LG_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni")))

namespace lumaghost::planar_kernels {

namespace {

// Byte j of the 48 a step writes: pixel p = j / 3's channel c = j % 3, from the packed lanes,
// where lane p / 4 holds the blue, green, red and red again of its 4 pixels, 4 bytes each.
struct Interleave {
    alignas(64) uint8_t index[64];
};
constexpr Interleave interleave() {
    Interleave m{};
    for (int j = 0; j < 64; ++j)
        m.index[j] = j < 48 ? uint8_t(j / 3 / 4 * 16 + j % 3 * 4 + j / 3 % 4) : 0;
    return m;
}
constexpr Interleave kInterleave = interleave();

// Two int16 multipliers for a multiply-add of pairs.
constexpr int32_t pairOf(int low, int high) {
    return int32_t(uint32_t(uint16_t(int16_t(low))) | uint32_t(uint16_t(int16_t(high))) << 16);
}

// 32 bytes, of which the first n are read: the last step of a row reads nothing past it.
LG_AVX512 inline __m256i load(const uint8_t *p, int n, __mmask32 mask) {
    return n == 32 ? _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p))
                   : _mm256_maskz_loadu_epi8(mask, p);
}

LG_AVX512 void verticalPass(const uint8_t *plane, ptrdiff_t stride, int column0, int columns,
                            const VerticalTaps &taps, int y, int16_t *out) {
    const int *rows = &taps.rows[size_t(y) * taps.count];
    const int16_t *weights = &taps.weights[size_t(y) * taps.count];
    const __m512i round = _mm512_set1_epi32(1 << (kVerticalShift - 1));
    const int count = taps.counts[size_t(y)];
    for (int x = 0; x < columns; x += 32) {
        const int n = std::min(32, columns - x);
        const __mmask32 mask = n == 32 ? ~__mmask32(0) : (__mmask32(1) << n) - 1;
        __m512i low = _mm512_setzero_si512(), high = _mm512_setzero_si512();
        for (int k = 0; k < count; k += 2) {
            const uint8_t *a = plane + ptrdiff_t(rows[k]) * stride + column0 + x;
            const uint8_t *b = plane + ptrdiff_t(rows[k + 1]) * stride + column0 + x;
            const __m512i pa = _mm512_cvtepu8_epi16(load(a, n, mask));
            const __m512i pb = _mm512_cvtepu8_epi16(load(b, n, mask));
            const __m512i w = _mm512_set1_epi32(
                int32_t(uint32_t(uint16_t(weights[k])) | uint32_t(uint16_t(weights[k + 1])) << 16));
            low = _mm512_dpwssd_epi32(low, _mm512_unpacklo_epi16(pa, pb), w);
            high = _mm512_dpwssd_epi32(high, _mm512_unpackhi_epi16(pa, pb), w);
        }
        low = _mm512_srai_epi32(_mm512_add_epi32(low, round), kVerticalShift);
        high = _mm512_srai_epi32(_mm512_add_epi32(high, round), kVerticalShift);
        // The lanes' halves go back in their order.
        _mm512_storeu_si512(out + x, _mm512_packs_epi32(low, high));
    }
}

// The 16 outputs of group g, in 1/64 levels.
LG_AVX512 inline __m512i horizontalSums(const HorizontalTaps &taps, const int16_t *buffer,
                                        size_t g) {
    const int16_t *window = buffer + taps.base[g];
    const __m512i a = _mm512_loadu_si512(window), b = _mm512_loadu_si512(window + 32);
    const size_t pairs = size_t(taps.count) / 2;
    const int16_t *index = &taps.windowIndex[g * pairs * 2 * kGroup];
    const int16_t *weights = &taps.windowWeights[g * pairs * 2 * kGroup];
    __m512i sum = _mm512_setzero_si512();
    for (size_t p = 0; p < pairs; ++p, index += 2 * kGroup, weights += 2 * kGroup) {
        const __m512i taken = _mm512_permutex2var_epi16(a, _mm512_loadu_si512(index), b);
        sum = _mm512_dpwssd_epi32(sum, taken, _mm512_loadu_si512(weights));
    }
    return _mm512_srai_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(1 << (kHorizontalShift - 1))),
                             kHorizontalShift);
}

}  // namespace

bool avx512Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vnni");
}

// The source rows of the next output row, fetched a few cache lines at a time while this row
// is made: the rows run bottom to top, which the processor's own prefetching follows poorly,
// and fetching them all at once would stall on the lines in flight.
class Prefetcher {
public:
    void add(const uint8_t *plane, ptrdiff_t stride, int column0, int bytes,
             const VerticalTaps &taps, int y) {
        for (int k = 0; k < taps.counts[size_t(y)] && rows_ < kRows; ++k) {
            const int row = taps.rows[size_t(y) * taps.count + k];
            if (k > 0 && row == taps.rows[size_t(y) * taps.count + k - 1])
                continue;  // a padding tap
            start_[rows_] = plane + ptrdiff_t(row) * stride + column0;
            bytes_[rows_++] = bytes;
            lines_ += (bytes + 63) / 64;
        }
    }
    int lines() const { return lines_; }
    // The next `count` lines.
    void fetch(int count) {
        for (; count > 0 && row_ < rows_; --count) {
            __builtin_prefetch(start_[row_] + offset_);
            offset_ += 64;
            if (offset_ >= bytes_[row_]) {
                __builtin_prefetch(start_[row_] + bytes_[row_] - 1);
                offset_ = 0;
                ++row_;
            }
        }
    }

private:
    static constexpr int kRows = 24;
    const uint8_t *start_[kRows];
    int bytes_[kRows];
    int rows_ = 0, lines_ = 0, row_ = 0, offset_ = 0;
};

LG_AVX512 void scaleRowAvx512(const PlanarScaler::Plan &plan, const PlanarFrame &frame, int y,
                              const RowBuffers &buffers, uint8_t *out) {
    Prefetcher ahead;
    if (y + 1 < plan.height) {
        const bool nv12 = plan.layout == PlanarLayout::Nv12;
        const int chroma0 = nv12 ? 2 * plan.chromaColumn0 : plan.chromaColumn0;
        const int chromaBytes = nv12 ? 2 * plan.chromaColumns : plan.chromaColumns;
        ahead.add(frame.planes[0], frame.strides[0], plan.lumaColumn0, plan.lumaColumns,
                  plan.lumaRows, y + 1);
        ahead.add(frame.planes[1], frame.strides[1], chroma0, chromaBytes, plan.chromaRows, y + 1);
        if (!nv12)
            ahead.add(frame.planes[2], frame.strides[2], chroma0, chromaBytes, plan.chromaRows,
                      y + 1);
    }
    verticalPass(frame.planes[0], frame.strides[0], plan.lumaColumn0, plan.lumaColumns,
                 plan.lumaRows, y, buffers.luma);
    if (plan.layout == PlanarLayout::Nv12) {
        verticalPass(frame.planes[1], frame.strides[1], 2 * plan.chromaColumn0,
                     2 * plan.chromaColumns, plan.chromaRows, y, buffers.blueDifference);
    } else {
        verticalPass(frame.planes[1], frame.strides[1], plan.chromaColumn0, plan.chromaColumns,
                     plan.chromaRows, y, buffers.blueDifference);
        verticalPass(frame.planes[2], frame.strides[2], plan.chromaColumn0, plan.chromaColumns,
                     plan.chromaRows, y, buffers.redDifference);
    }

    // bgrOf's sums as multiply-adds of (luma, chroma) pairs, the chroma's middle and luma's
    // black in the biases: every term fits int16 (luma and chroma 0 to 16320 in 1/64 levels;
    // coefficients below 2^15 but blue's, from about 1.77 to 2.15, whose 2^14 u is added apart).
    const YuvMatrix &m = plan.matrix;
    const int32_t bias = m.lumaScale * -m.lumaBlack + (1 << 19), middle = 128 * 64;
    const __m512i redBias = _mm512_set1_epi32(bias - m.redFromV * middle);
    const __m512i greenBias = _mm512_set1_epi32(bias + (m.greenFromU + m.greenFromV) * middle);
    const __m512i blueBias = _mm512_set1_epi32(bias - m.blueFromU * middle);
    const __m512i red = _mm512_set1_epi32(pairOf(m.lumaScale, m.redFromV));
    const __m512i greenV = _mm512_set1_epi32(pairOf(m.lumaScale, -m.greenFromV));
    const __m512i greenU = _mm512_set1_epi32(pairOf(-m.greenFromU, 0));
    const __m512i blue = _mm512_set1_epi32(pairOf(m.lumaScale, m.blueFromU - (1 << 14)));
    const __m512i order = _mm512_load_si512(kInterleave.index);
    // Rows on 16-byte boundaries go past the cache: the camera's readers are other processes.
    const bool streamed = (reinterpret_cast<uintptr_t>(out) & 15) == 0;
    const size_t groups = (size_t(plan.width) + kGroup - 1) / kGroup;
    const int linesPerGroup = int((size_t(ahead.lines()) + groups - 1) / groups);
    for (size_t g = 0; g < groups; ++g) {
        ahead.fetch(linesPerGroup);
        const int first = int(g) * kGroup, n = std::min(kGroup, plan.width - first);
        uint8_t *o = out + size_t(first) * 3;
        if (!plan.luma.inWindow[g] || !plan.chroma.inWindow[g]) {
            // Taps too far apart for one window: a reduction by more than about three.
            for (int i = first; i < first + n; ++i, o += 3)
                bgrOf(m, horizontalSum(plan.luma, buffers.luma, i),
                      horizontalSum(plan.chroma, buffers.blueDifference, i),
                      horizontalSum(plan.chroma, buffers.redDifference, i), o);
            continue;
        }
        const __m512i luma = horizontalSums(plan.luma, buffers.luma, g);
        const __m512i u = horizontalSums(plan.chroma, buffers.blueDifference, g);
        const __m512i v = horizontalSums(plan.chroma, buffers.redDifference, g);
        const __m512i lumaU = _mm512_mask_blend_epi16(0xAAAAAAAA, luma, _mm512_slli_epi32(u, 16));
        const __m512i lumaV = _mm512_mask_blend_epi16(0xAAAAAAAA, luma, _mm512_slli_epi32(v, 16));
        const __m512i r =
            _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(lumaV, red), redBias), 20);
        const __m512i gr = _mm512_srai_epi32(
            _mm512_add_epi32(
                _mm512_add_epi32(_mm512_madd_epi16(lumaV, greenV), _mm512_madd_epi16(u, greenU)),
                greenBias),
            20);
        const __m512i b = _mm512_srai_epi32(
            _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(lumaU, blue), blueBias),
                             _mm512_slli_epi32(u, 14)),
            20);
        // Saturated to int16, then to 0-255: bgrOf's clamping.
        const __m512i packed =
            _mm512_packus_epi16(_mm512_packs_epi32(b, gr), _mm512_packs_epi32(r, r));
        const __m512i bytes = _mm512_permutexvar_epi8(order, packed);
        if (n == kGroup && streamed) {
            auto *to = reinterpret_cast<__m128i *>(o);
            _mm_stream_si128(to, _mm512_castsi512_si128(bytes));
            _mm_stream_si128(to + 1, _mm512_extracti32x4_epi32(bytes, 1));
            _mm_stream_si128(to + 2, _mm512_extracti32x4_epi32(bytes, 2));
        } else if (n == kGroup) {
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(o), _mm512_castsi512_si256(bytes));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 32),
                             _mm512_extracti32x4_epi32(bytes, 2));
        } else {
            _mm512_mask_storeu_epi8(o, (__mmask64(1) << (3 * n)) - 1, bytes);
        }
    }
    if (streamed)
        _mm_sfence();
}

}  // namespace lumaghost::planar_kernels
