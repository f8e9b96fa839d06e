// SPDX-License-Identifier: LGPL-2.1-or-later
// The 256-bit vector rows of the resampler, four destination rows at a time, and the horizontal
// pass both vector paths share. Each output value keeps its own double accumulator and adds its
// taps first to last, exactly as the scalar row does; every product of a single-precision weight
// and an 8-bit value or single-precision sum is exact in double precision, so fused multiply-adds
// round exactly as a multiply and an add do, and the paths agree bit for bit.
#include <immintrin.h>

#include "frames/resampler.h"
#include "frames/resampler_kernels.h"
#include "frames/resampler_strips.h"

#define LUMA_AVX2 __attribute__((target("avx2,fma")))

namespace lumaghost::resample_kernels {

bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

namespace {

// An 8-bit pixel to four exact doubles: the bytes widened to 64-bit lanes become the low
// mantissa bits of 2^52, which is then taken off again (no conversion port needed).
LUMA_AVX2 inline __m256d pixelToDoubles(const uint8_t *p) {
    int32_t bytes;
    __builtin_memcpy(&bytes, p, 4);
    const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(bytes));
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(wide), magic), magic);
}

// Four pixels' rounded channel words (ties to even, the default rounding mode) to bytes, 0 in
// each fourth.
LUMA_AVX2 inline __m128i packFour(__m128i p0, __m128i p1, __m128i p2, __m128i p3) {
    const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(p0, p1), _mm_packus_epi32(p2, p3));
    return _mm_and_si128(bytes, _mm_set1_epi32(0x00FFFFFF));
}

// Four 24-bit pixels; with `room`, 16 bytes, the last four of which belong to pixels written
// after these.
LUMA_AVX2 inline void storeTwelve(uint8_t *out, __m128i bgr, bool room) {
    if (room) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), bgr);
        return;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), bgr);
    const int32_t last = _mm_extract_epi32(bgr, 2);
    __builtin_memcpy(out + 8, &last, 4);
}

// Output pixel `i` of `kRows` rows: each row's three channel sums, scaled (with `kScaled`) and
// rounded to words.
template <int kTaps, int kRows, bool kScaled>
LUMA_AVX2 inline __attribute__((always_inline)) void pixelWords(const int *left, const double *w,
                                                                int taps,
                                                                const double *const *buffers,
                                                                const __m256d *scale, int i,
                                                                __m128i *words) {
    const double *wi = w + size_t(i) * taps;
    const size_t first = size_t(left[i]) * 3;
    __m256d s[kRows];
#pragma GCC unroll 4
    for (int k = 0; k < kRows; ++k)
        s[k] = _mm256_setzero_pd();
#pragma GCC unroll 16
    for (int t = 0; t < (kTaps ? kTaps : taps); ++t) {
        const __m256d wt = _mm256_set1_pd(wi[t]);
#pragma GCC unroll 4
        for (int k = 0; k < kRows; ++k)
            s[k] = _mm256_fmadd_pd(wt, _mm256_loadu_pd(buffers[k] + first + 3 * t), s[k]);
    }
#pragma GCC unroll 4
    for (int k = 0; k < kRows; ++k)
        words[k] = _mm256_cvtpd_epi32(kScaled ? _mm256_mul_pd(s[k], scale[k]) : s[k]);
}

// The horizontal pass over output pixels [begin, end) of `kRows` rows at once, which share each
// weight: four pixels at a time, then one by one. One output pixel's three channels are one
// 256-bit vector; its fourth lane adds the next entry's first channel and is dropped. With
// `kScaled`, each row's sums are scaled by its own power of two, exactly, before they are rounded.
template <int kTaps, int kBytes, int kRows, bool kScaled>
LUMA_AVX2 void horizontalPass(const PaddedTaps &h, const double *const *buffers,
                              const double *scales, uint8_t *const *out, int begin, int end) {
    const int taps = kTaps ? kTaps : h.count;
    const int *left = h.left.data();
    const double *w = h.weights.data();
    const int rowEnd = static_cast<int>(h.left.size());
    const __m128i toBgr = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    __m256d scale[kRows];
#pragma GCC unroll 4
    for (int k = 0; k < kRows; ++k)
        scale[k] = _mm256_set1_pd(kScaled ? scales[k] : 1.0);
    int i = begin;
    for (; i + 4 <= end; i += 4) {
        __m128i p0[kRows], p1[kRows], p2[kRows], p3[kRows];
        pixelWords<kTaps, kRows, kScaled>(left, w, taps, buffers, scale, i, p0);
        pixelWords<kTaps, kRows, kScaled>(left, w, taps, buffers, scale, i + 1, p1);
        pixelWords<kTaps, kRows, kScaled>(left, w, taps, buffers, scale, i + 2, p2);
        pixelWords<kTaps, kRows, kScaled>(left, w, taps, buffers, scale, i + 3, p3);
#pragma GCC unroll 4
        for (int k = 0; k < kRows; ++k) {
            const __m128i bytes = packFour(p0[k], p1[k], p2[k], p3[k]);
            if (kBytes == 4)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out[k] + size_t(i) * 4), bytes);
            else
                storeTwelve(out[k] + size_t(i) * 3, _mm_shuffle_epi8(bytes, toBgr),
                            i + 6 <= rowEnd);
        }
    }
    for (; i < end; ++i) {
        __m128i p[kRows];
        pixelWords<kTaps, kRows, kScaled>(left, w, taps, buffers, scale, i, p);
#pragma GCC unroll 4
        for (int k = 0; k < kRows; ++k) {
            const int32_t pixel = _mm_cvtsi128_si32(packFour(p[k], p[k], p[k], p[k]));
            __builtin_memcpy(out[k] + size_t(i) * kBytes, &pixel, kBytes);
        }
    }
}

template <int kRows, bool kScaled>
LUMA_AVX2 void filterAcross(const PaddedTaps &h, const double *const *buffers, const double *scales,
                            uint8_t *const *out, int bytesPerPixel, int begin, int end) {
    switch (h.count * 8 + bytesPerPixel) {
#define LUMA_TAPS(n)                                                                      \
    case n * 8 + 3:                                                                       \
        return horizontalPass<n, 3, kRows, kScaled>(h, buffers, scales, out, begin, end); \
    case n * 8 + 4:                                                                       \
        return horizontalPass<n, 4, kRows, kScaled>(h, buffers, scales, out, begin, end);
        LUMA_UNROLLED_TAP_COUNTS(LUMA_TAPS)
#undef LUMA_TAPS
        default:
            if (bytesPerPixel == 3)
                return horizontalPass<0, 3, kRows, kScaled>(h, buffers, scales, out, begin, end);
            return horizontalPass<0, 4, kRows, kScaled>(h, buffers, scales, out, begin, end);
    }
}

// Double sums rounded to single precision and widened back, exactly.
LUMA_AVX2 inline __m256d throughFloat(__m256d v) {
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
}

// Widens chosen bytes of a 16-byte group (broadcast to both halves) into 64-bit lanes and
// makes exact doubles of them (see pixelToDoubles).
LUMA_AVX2 inline __m256d bytesToDoubles(__m256i group, __m256i select) {
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
    const __m256i wide = _mm256_shuffle_epi8(group, select);
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(wide), magic), magic);
}

// Byte selectors taking the colour bytes of four pixels, alpha skipped, three at a time:
// B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3. Lanes 0-1 come from the low half, 2-3 from the high.
LUMA_AVX2 inline __m256i selector(char a, char b, char c, char d) {
    const char z = char(0x80);
    return _mm256_setr_epi8(a, z, z, z, z, z, z, z, b, z, z, z, z, z, z, z, c, z, z, z, z, z, z, z,
                            d, z, z, z, z, z, z, z);
}

// The vertical pass over a fixed number of taps (0: `v.count`, known only at run time), eight
// source pixels at a time, each output value with its own accumulator. The row buffer holds
// three values per source pixel, packed: the sums rounded to single precision, as the scalar row
// stores them, and widened back to double (exactly), so the horizontal pass need not convert
// them at every tap.
template <int kTaps>
LUMA_AVX2 void verticalPass(const uint8_t *top, ptrdiff_t stride, int x0, int x1, const Taps &v,
                            int prefetchRows, double *rowBuffer) {
    const int taps = kTaps ? kTaps : v.count;
    const __m256i s0 = selector(0, 1, 2, 4), s1 = selector(5, 6, 8, 9),
                  s2 = selector(10, 12, 13, 14);
    int x = x0;
    for (; x + 8 <= x1; x += 8) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
        const uint8_t *p = top + size_t(x) * 4;
        // The rows the next block adds, a cache line of them every other step.
        if (x % 16 == 0)
            for (int r = 0; r < prefetchRows; ++r)
                _mm_prefetch(reinterpret_cast<const char *>(p + ptrdiff_t(taps + r) * stride),
                             _MM_HINT_T0);
#pragma GCC unroll 16
        for (int t = 0; t < taps; ++t) {
            const __m256d w = _mm256_set1_pd(v.weights[t]);
            const uint8_t *q = p + ptrdiff_t(t) * stride;
            const __m256i g0 =
                _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q)));
            const __m256i g1 = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 16)));
            a0 = _mm256_fmadd_pd(w, bytesToDoubles(g0, s0), a0);
            a1 = _mm256_fmadd_pd(w, bytesToDoubles(g0, s1), a1);
            a2 = _mm256_fmadd_pd(w, bytesToDoubles(g0, s2), a2);
            a3 = _mm256_fmadd_pd(w, bytesToDoubles(g1, s0), a3);
            a4 = _mm256_fmadd_pd(w, bytesToDoubles(g1, s1), a4);
            a5 = _mm256_fmadd_pd(w, bytesToDoubles(g1, s2), a5);
        }
        double *b = rowBuffer + size_t(x) * 3;
        _mm256_storeu_pd(b, throughFloat(a0));
        _mm256_storeu_pd(b + 4, throughFloat(a1));
        _mm256_storeu_pd(b + 8, throughFloat(a2));
        _mm256_storeu_pd(b + 12, throughFloat(a3));
        _mm256_storeu_pd(b + 16, throughFloat(a4));
        _mm256_storeu_pd(b + 20, throughFloat(a5));
    }
    // The rest one pixel at a time; each store's fourth value is overwritten by the next pixel
    // or lands in the buffer's padding.
    for (; x < x1; ++x) {
        __m256d acc = _mm256_setzero_pd();
        const uint8_t *p = top + size_t(x) * 4;
        for (int t = 0; t < taps; ++t, p += stride)
            acc = _mm256_fmadd_pd(_mm256_set1_pd(v.weights[t]), pixelToDoubles(p), acc);
        _mm256_storeu_pd(rowBuffer + size_t(x) * 3, throughFloat(acc));
    }
}

// Source columns [x0, x1) of one destination row.
LUMA_AVX2 void sumDown(const uint8_t *top, ptrdiff_t stride, int x0, int x1, const Taps &v,
                       int prefetchRows, double *rowBuffer) {
    switch (v.count) {
#define LUMA_TAPS(n) \
    case n:          \
        return verticalPass<n>(top, stride, x0, x1, v, prefetchRows, rowBuffer);
        LUMA_UNROLLED_TAP_COUNTS(LUMA_TAPS)
#undef LUMA_TAPS
        default:
            return verticalPass<0>(top, stride, x0, x1, v, prefetchRows, rowBuffer);
    }
}

}  // namespace

LUMA_AVX2 void filterAcrossAvx2(const PaddedTaps &h, int rowCount, const double *const *buffers,
                                const double *scales, uint8_t *const *out, int bytesPerPixel,
                                int begin, int end) {
    if (scales) {
        for (int k = 0; k < rowCount; ++k)
            filterAcross<1, true>(h, buffers + k, scales + k, out + k, bytesPerPixel, begin, end);
    } else if (rowCount == kBlockRows) {
        filterAcross<kBlockRows, false>(h, buffers, nullptr, out, bytesPerPixel, begin, end);
    } else {
        for (int k = 0; k < rowCount; ++k)
            filterAcross<1, false>(h, buffers + k, nullptr, out + k, bytesPerPixel, begin, end);
    }
}

LUMA_AVX2 void resampleBlockAvx2(const uint8_t *source, ptrdiff_t stride, const ResamplePlan &plan,
                                 int firstRow, int rowCount, double *const *rowBuffers,
                                 uint8_t *const *destinationRows, int destinationBytesPerPixel) {
    const int prefetchRows = blockPrefetchRows(plan, firstRow, rowCount);
    sumAndFilterInStrips(
        plan.padded, plan.sourceWidth,
        [&](int x0, int x1) {
            for (int k = 0; k < rowCount; ++k) {
                const Taps &v = plan.vertical.taps[size_t(firstRow + k)];
                sumDown(source + ptrdiff_t(v.left) * stride, stride, x0, x1, v,
                        k == rowCount - 1 ? prefetchRows : 0, rowBuffers[k]);
            }
        },
        [&](int begin, int end) {
            filterAcrossAvx2(plan.padded, rowCount, rowBuffers, nullptr, destinationRows,
                             destinationBytesPerPixel, begin, end);
        });
}

}  // namespace lumaghost::resample_kernels
