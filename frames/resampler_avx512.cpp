// SPDX-License-Identifier: LGPL-2.1-or-later
// The 512-bit vertical pass of the resampler, four destination rows at a time; the horizontal
// pass is the 256-bit path's. As there, each output value's sum equals the scalar row's bit for
// bit.
//
// Vertical pass: sixteen source pixels a tap, their 48 colour bytes picked into 64-bit lanes by
// byte permutes (the fourth byte dropped). Its sums are rounded to single precision, as the
// scalar row stores them, and kept widened to double (exactly), so the horizontal pass, one
// output pixel's three channels a 256-bit vector, adds them without converting each tap.
#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "frames/resampler.h"
#include "frames/resampler_kernels.h"
#include "frames/resampler_strips.h"

#define LUMA_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx512ifma,fma")))

namespace lumaghost::resample_kernels {

bool avx512Available() {
    static const bool available =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512ifma");
    return available;
}

namespace {

// Selector j puts colour values 8j ... 8j + 7 of sixteen pixels (value k is byte
// 4 (k / 3) + k % 3) in the low bytes of eight 64-bit lanes.
struct Selectors {
    alignas(64) int8_t index[6][64];
    constexpr Selectors() : index() {
        for (int j = 0; j < 6; ++j)
            for (int lane = 0; lane < 8; ++lane) {
                const int k = 8 * j + lane;
                index[j][8 * lane] = static_cast<int8_t>(4 * (k / 3) + k % 3);
            }
    }
};
constexpr Selectors kSelectors;
constexpr __mmask64 kLowBytes = 0x0101010101010101ULL;

LUMA_AVX512 inline __m512d valuesToDoubles(__m512i group, __m512i select) {
    return _mm512_cvtepi64_pd(_mm512_maskz_permutexvar_epi8(kLowBytes, select, group));
}

// Sixteen pixels' bytes; the last group of a row reads only its own.
LUMA_AVX512 inline __attribute__((always_inline)) __m512i loadGroup(const uint8_t *p, int pixels,
                                                                    __mmask64 bytes) {
    return pixels == 16 ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi8(bytes, p);
}

// Eight of a group's values, or the first `n` of them.
LUMA_AVX512 inline __attribute__((always_inline)) void storeEight(double *b, int n, __m512d sums) {
    if (n >= 8)
        _mm512_storeu_pd(b, sums);
    else if (n > 0)
        _mm512_mask_storeu_pd(b, __mmask8((1u << n) - 1), sums);
}

// The sums of sixteen pixels' 48 colour values; the last group of a row stores only its own.
LUMA_AVX512 inline __attribute__((always_inline)) void storeSums(double *b, int pixels, __m512d a0,
                                                                 __m512d a1, __m512d a2, __m512d a3,
                                                                 __m512d a4, __m512d a5) {
    const int n = 3 * pixels;
    storeEight(b, n, a0);
    storeEight(b + 8, n - 8, a1);
    storeEight(b + 16, n - 16, a2);
    storeEight(b + 24, n - 24, a3);
    storeEight(b + 32, n - 32, a4);
    storeEight(b + 40, n - 40, a5);
}

// One tap of the vertical pass, in doubles (fused multiply-adds of exact products) or in
// integers (weight × 2^shift times each 8-bit value, 52-bit multiply-adds, exact sums).
LUMA_AVX512 inline __m512d splat(double weight) {
    return _mm512_set1_pd(weight);
}
LUMA_AVX512 inline __m512i splat(int64_t weight) {
    return _mm512_set1_epi64(weight);
}
LUMA_AVX512 inline __m512d addTap(__m512d sum, __m512d weight, __m512i group, __m512i select) {
    return _mm512_fmadd_pd(weight, valuesToDoubles(group, select), sum);
}
LUMA_AVX512 inline __m512i addTap(__m512i sum, __m512i weight, __m512i group, __m512i select) {
    return _mm512_madd52lo_epu64(sum, _mm512_maskz_permutexvar_epi8(kLowBytes, select, group),
                                 weight);
}

// Sums rounded to single precision (one rounding) and widened back, exactly. Integer sums stay
// scaled by 2^shift: the horizontal pass scales back at the end.
LUMA_AVX512 inline __m512d rounded(__m512d sum) {
    return _mm512_cvtps_pd(_mm512_maskz_cvtpd_ps(0xFF, sum));
}
LUMA_AVX512 inline __m512d rounded(__m512i sum) {
    return _mm512_cvtps_pd(_mm512_cvtepi64_ps(sum));
}

// The vertical pass of one destination row over a fixed number of taps (0: `count`, known only
// at run time), for source columns [x0, x1), x0 a multiple of 16: in integers with int64_t
// weights, in doubles for rows whose weights are too fine for the integer sums. The
// `prefetchRows` source rows after the taps' are fetched on the way.
template <int kTaps, typename Weight>
LUMA_AVX512 void verticalPass(const uint8_t *top, ptrdiff_t stride, int width, int x0, int x1,
                              const Weight *weights, int count, int prefetchRows,
                              double *rowBuffer) {
    using Sum = decltype(splat(Weight()));
    const int taps = kTaps ? kTaps : count;
    __m512i select[6];
#pragma GCC unroll 6
    for (int j = 0; j < 6; ++j)
        select[j] = _mm512_load_si512(kSelectors.index[j]);
    for (int x = x0; x < x1; x += 16) {
        const int pixels = width - x < 16 ? width - x : 16;
        // The last group reads only its own pixels' bytes.
        const __mmask64 bytes = pixels == 16 ? ~0ULL : (1ULL << (4 * pixels)) - 1;
        Sum a[6];
#pragma GCC unroll 6
        for (int j = 0; j < 6; ++j)
            a[j] = Sum{};
        const uint8_t *p = top + size_t(x) * 4;
        for (int r = 0; r < prefetchRows; ++r)
            _mm_prefetch(reinterpret_cast<const char *>(p + ptrdiff_t(taps + r) * stride),
                         _MM_HINT_T0);
#pragma GCC unroll 16
        for (int t = 0; t < taps; ++t) {
            const Sum w = splat(weights[t]);
            const __m512i g = loadGroup(p + ptrdiff_t(t) * stride, pixels, bytes);
#pragma GCC unroll 6
            for (int j = 0; j < 6; ++j)
                a[j] = addTap(a[j], w, g, select[j]);
        }
        storeSums(rowBuffer + size_t(x) * 3, pixels, rounded(a[0]), rounded(a[1]), rounded(a[2]),
                  rounded(a[3]), rounded(a[4]), rounded(a[5]));
    }
}

// One destination row's part of the vertical pass: how it sums, and where.
struct RowSums {
    const uint8_t *top;      // the row's first source row
    const Taps *taps;        // its weights as doubles
    const int64_t *integer;  // and as integers, when `shift` >= 0
    int shift;
    int prefetchRows;
    double *buffer;
};

template <typename Weight>
LUMA_AVX512 void sumDownWith(const RowSums &r, const Weight *weights, ptrdiff_t stride, int width,
                             int x0, int x1) {
    switch (r.taps->count) {
#define LUMA_TAPS(n) \
    case n:          \
        return verticalPass<n>(r.top, stride, width, x0, x1, weights, n, r.prefetchRows, r.buffer);
        LUMA_UNROLLED_TAP_COUNTS(LUMA_TAPS)
#undef LUMA_TAPS
        default:
            return verticalPass<0>(r.top, stride, width, x0, x1, weights, r.taps->count,
                                   r.prefetchRows, r.buffer);
    }
}

LUMA_AVX512 void sumDown(const RowSums &r, ptrdiff_t stride, int width, int x0, int x1) {
    if (r.shift >= 0)
        sumDownWith(r, r.integer, stride, width, x0, x1);
    else
        sumDownWith(r, r.taps->weights, stride, width, x0, x1);
}

}  // namespace

LUMA_AVX512 void resampleBlockAvx512(const uint8_t *source, ptrdiff_t stride,
                                     const ResamplePlan &plan, int firstRow, int rowCount,
                                     double *const *rowBuffers, uint8_t *const *destinationRows,
                                     int destinationBytesPerPixel) {
    RowSums rows[kBlockRows];
    double scales[kBlockRows];
    bool allInteger = true;
    for (int k = 0; k < rowCount; ++k) {
        const size_t y = size_t(firstRow + k);
        const Taps &taps = plan.vertical.taps[y];
        const int shift = plan.verticalShift[y];
        rows[k] = {source + ptrdiff_t(taps.left) * stride,
                   &taps,
                   plan.integerWeights.data() + (taps.weights - plan.vertical.weights.data()),
                   shift,
                   0,
                   rowBuffers[k]};
        scales[k] = shift >= 0 ? std::ldexp(1.0, -shift) : 1.0;
        allInteger = allInteger && shift >= 0;
    }
    rows[rowCount - 1].prefetchRows = blockPrefetchRows(plan, firstRow, rowCount);
    const int width = plan.sourceWidth;
    sumAndFilterInStrips(
        plan.padded, width,
        [&](int x0, int x1) {
            for (int k = 0; k < rowCount; ++k)
                sumDown(rows[k], stride, width, x0, x1);
        },
        [&](int begin, int end) {
            // Sums all scaled alike take the scaled taps; else each row is scaled on its own.
            if (allInteger)
                filterAcrossAvx2(plan.scaledPadded, rowCount, rowBuffers, nullptr, destinationRows,
                                 destinationBytesPerPixel, begin, end);
            else
                filterAcrossAvx2(plan.padded, rowCount, rowBuffers, scales, destinationRows,
                                 destinationBytesPerPixel, begin, end);
        });
}

}  // namespace lumaghost::resample_kernels
