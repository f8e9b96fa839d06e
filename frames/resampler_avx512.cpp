// The 512-bit vector row of the resampler. As in the 256-bit row, each output value keeps its own
// double accumulator and adds its taps first to last; products of single-precision weights and
// 8-bit values or single-precision sums are exact in double precision, so fused multiply-adds
// round exactly as the scalar row's multiply and add, and every path agrees bit for bit.
//
// Vertical pass: sixteen source pixels a tap, their 48 colour bytes picked into 64-bit lanes by
// byte permutes (the fourth byte dropped). Its sums are rounded to single precision, as the
// scalar row stores them, and kept widened to double (exactly), so the horizontal pass, one
// output pixel's three channels a 256-bit vector, adds them without converting each tap.
#include <immintrin.h>

#include <cmath>

#include "frames/resampler.h"

#define LUMA_AVX512 \
    __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx512ifma,fma")))

namespace lumaghost::detail {

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

// Double sums rounded to single precision and widened back, exactly.
LUMA_AVX512 inline __m512d throughFloat(__m512d v) {
    return _mm512_cvtps_pd(_mm512_maskz_cvtpd_ps(0xFF, v));
}

// Eight of a group's values, or the first `n` of them.
LUMA_AVX512 inline __attribute__((always_inline)) void storeEight(double *b, int n, __m512d sums) {
    if (n >= 8)
        _mm512_storeu_pd(b, throughFloat(sums));
    else if (n > 0)
        _mm512_mask_storeu_pd(b, __mmask8((1u << n) - 1), throughFloat(sums));
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

// The vertical pass over a fixed number of taps (0: `v.count`, known only at run time), in
// doubles: for rows whose weights are too fine for the integer sums.
template <int kTaps>
LUMA_AVX512 void verticalPass(const uint8_t *top, ptrdiff_t stride, int width, const Taps &v,
                              double *rowBuffer) {
    const int taps = kTaps ? kTaps : v.count;
    const __m512i s0 = _mm512_load_si512(kSelectors.index[0]),
                  s1 = _mm512_load_si512(kSelectors.index[1]),
                  s2 = _mm512_load_si512(kSelectors.index[2]),
                  s3 = _mm512_load_si512(kSelectors.index[3]),
                  s4 = _mm512_load_si512(kSelectors.index[4]),
                  s5 = _mm512_load_si512(kSelectors.index[5]);
    for (int x = 0; x < width; x += 16) {
        const int pixels = width - x < 16 ? width - x : 16;
        // The last group reads only its own pixels' bytes.
        const __mmask64 bytes = pixels == 16 ? ~0ULL : (1ULL << (4 * pixels)) - 1;
        __m512d a0 = _mm512_setzero_pd(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
        const uint8_t *p = top + size_t(x) * 4;
#pragma GCC unroll 16
        for (int t = 0; t < taps; ++t) {
            const __m512d w = _mm512_set1_pd(v.weights[t]);
            const __m512i g = loadGroup(p + ptrdiff_t(t) * stride, pixels, bytes);
            a0 = _mm512_fmadd_pd(w, valuesToDoubles(g, s0), a0);
            a1 = _mm512_fmadd_pd(w, valuesToDoubles(g, s1), a1);
            a2 = _mm512_fmadd_pd(w, valuesToDoubles(g, s2), a2);
            a3 = _mm512_fmadd_pd(w, valuesToDoubles(g, s3), a3);
            a4 = _mm512_fmadd_pd(w, valuesToDoubles(g, s4), a4);
            a5 = _mm512_fmadd_pd(w, valuesToDoubles(g, s5), a5);
        }
        storeSums(rowBuffer + size_t(x) * 3, pixels, a0, a1, a2, a3, a4, a5);
    }
}

LUMA_AVX512 inline __m512d toDouble(__m512i sum, __m512d scale) {
    return _mm512_mul_pd(_mm512_cvtepi64_pd(sum), scale);
}

// The vertical pass in integers: weight × 2^shift times each 8-bit value, summed exactly in
// 64-bit lanes (52-bit multiply-adds), then scaled back by 2^-shift, exactly: the double sums'
// value.
template <int kTaps>
LUMA_AVX512 void verticalPassInteger(const uint8_t *top, ptrdiff_t stride, int width,
                                     const int64_t *weights, int count, int shift, int prefetchRows,
                                     double *rowBuffer) {
    const int taps = kTaps ? kTaps : count;
    const __m512i s0 = _mm512_load_si512(kSelectors.index[0]),
                  s1 = _mm512_load_si512(kSelectors.index[1]),
                  s2 = _mm512_load_si512(kSelectors.index[2]),
                  s3 = _mm512_load_si512(kSelectors.index[3]),
                  s4 = _mm512_load_si512(kSelectors.index[4]),
                  s5 = _mm512_load_si512(kSelectors.index[5]);
    const __m512d scale = _mm512_set1_pd(std::ldexp(1.0, -shift));
    for (int x = 0; x < width; x += 16) {
        const int pixels = width - x < 16 ? width - x : 16;
        const __mmask64 bytes = pixels == 16 ? ~0ULL : (1ULL << (4 * pixels)) - 1;
        __m512i a0 = _mm512_setzero_si512(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
        const uint8_t *p = top + size_t(x) * 4;
        // The rows the next destination rows add, fetched while these are summed.
        for (int r = 0; r < prefetchRows; ++r)
            _mm_prefetch(reinterpret_cast<const char *>(p + ptrdiff_t(taps + r) * stride),
                         _MM_HINT_T0);
#pragma GCC unroll 16
        for (int t = 0; t < taps; ++t) {
            const __m512i w = _mm512_set1_epi64(weights[t]);
            const __m512i g = loadGroup(p + ptrdiff_t(t) * stride, pixels, bytes);
            a0 = _mm512_madd52lo_epu64(a0, _mm512_maskz_permutexvar_epi8(kLowBytes, s0, g), w);
            a1 = _mm512_madd52lo_epu64(a1, _mm512_maskz_permutexvar_epi8(kLowBytes, s1, g), w);
            a2 = _mm512_madd52lo_epu64(a2, _mm512_maskz_permutexvar_epi8(kLowBytes, s2, g), w);
            a3 = _mm512_madd52lo_epu64(a3, _mm512_maskz_permutexvar_epi8(kLowBytes, s3, g), w);
            a4 = _mm512_madd52lo_epu64(a4, _mm512_maskz_permutexvar_epi8(kLowBytes, s4, g), w);
            a5 = _mm512_madd52lo_epu64(a5, _mm512_maskz_permutexvar_epi8(kLowBytes, s5, g), w);
        }
        storeSums(rowBuffer + size_t(x) * 3, pixels, toDouble(a0, scale), toDouble(a1, scale),
                  toDouble(a2, scale), toDouble(a3, scale), toDouble(a4, scale),
                  toDouble(a5, scale));
    }
}

// One output pixel's sums over a fixed number of taps (0: `taps`); the fourth lane adds the
// next entry's first channel and is dropped.
template <int kTaps>
LUMA_AVX512 inline __m256d pixelSum(const double *row, const double *w, int taps) {
    const int n = kTaps ? kTaps : taps;
    __m256d s = _mm256_setzero_pd();
#pragma GCC unroll 16
    for (int t = 0; t < n; ++t)
        s = _mm256_fmadd_pd(_mm256_set1_pd(w[t]), _mm256_loadu_pd(row + 3 * t), s);
    return s;
}

// Four pixels' sums rounded ties to even (the default rounding mode) to bytes, 0 in each
// fourth.
LUMA_AVX512 inline __m128i packFour(__m256d s0, __m256d s1, __m256d s2, __m256d s3) {
    const __m512i words = _mm512_inserti64x4(
        _mm512_castsi256_si512(_mm256_set_m128i(_mm256_cvtpd_epi32(s1), _mm256_cvtpd_epi32(s0))),
        _mm256_set_m128i(_mm256_cvtpd_epi32(s3), _mm256_cvtpd_epi32(s2)), 1);
    return _mm512_maskz_cvtusepi32_epi8(0x7777, words);
}

// Byte picks dropping every fourth byte: 32-bit pixels to 24-bit ones.
LUMA_AVX512 inline __m256i toBgr() {
    return _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25,
                            26, 28, 29, 30, 0, 0, 0, 0, 0, 0, 0, 0);
}

// The horizontal pass, eight output pixels at a time, then one by one, writing 32-bit pixels
// or 24-bit ones that stop exactly at the row's end.
template <int kTaps, int kBytes>
LUMA_AVX512 void horizontalPass(const PaddedTaps &h, const double *rowBuffer, uint8_t *out) {
    const int taps = h.count;
    const int outputs = static_cast<int>(h.left.size());
    const int *left = h.left.data();
    const double *w = h.weights.data();
    const __m256i bgr = toBgr();
    int i = 0;
    for (; i + 8 <= outputs; i += 8) {
        const double *wi = w + size_t(i) * taps;
        const double *r = rowBuffer;
        const int *l = left + i;
        const __m128i lo = packFour(pixelSum<kTaps>(r + size_t(l[0]) * 3, wi, taps),
                                    pixelSum<kTaps>(r + size_t(l[1]) * 3, wi + taps, taps),
                                    pixelSum<kTaps>(r + size_t(l[2]) * 3, wi + 2 * taps, taps),
                                    pixelSum<kTaps>(r + size_t(l[3]) * 3, wi + 3 * taps, taps));
        const __m128i hi = packFour(pixelSum<kTaps>(r + size_t(l[4]) * 3, wi + 4 * taps, taps),
                                    pixelSum<kTaps>(r + size_t(l[5]) * 3, wi + 5 * taps, taps),
                                    pixelSum<kTaps>(r + size_t(l[6]) * 3, wi + 6 * taps, taps),
                                    pixelSum<kTaps>(r + size_t(l[7]) * 3, wi + 7 * taps, taps));
        const __m256i pixels = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        if (kBytes == 4)
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + size_t(i) * 4), pixels);
        else
            _mm256_mask_storeu_epi8(out + size_t(i) * 3, 0xFFFFFF,
                                    _mm256_permutexvar_epi8(bgr, pixels));
    }
    for (; i < outputs; ++i) {
        const __m128i words = _mm256_cvtpd_epi32(
            pixelSum<kTaps>(rowBuffer + size_t(left[i]) * 3, w + size_t(i) * taps, taps));
        const __m128i bytes = _mm_maskz_cvtusepi32_epi8(0x7, words);
        _mm_mask_storeu_epi8(out + size_t(i) * kBytes, __mmask16((1u << kBytes) - 1), bytes);
    }
}

template <int kBytes>
LUMA_AVX512 void horizontalPassFor(const PaddedTaps &h, const double *rowBuffer, uint8_t *out) {
    switch (h.count) {
#define LUMA_TAPS(n) \
    case n:          \
        return horizontalPass<n, kBytes>(h, rowBuffer, out);
        LUMA_TAPS(1)
        LUMA_TAPS(2)
        LUMA_TAPS(3)
        LUMA_TAPS(4)
        LUMA_TAPS(5)
        LUMA_TAPS(6)
        LUMA_TAPS(7)
        LUMA_TAPS(8)
        LUMA_TAPS(9)
        LUMA_TAPS(10)
        LUMA_TAPS(11)
        LUMA_TAPS(12)
        LUMA_TAPS(13)
#undef LUMA_TAPS
        default:
            return horizontalPass<0, kBytes>(h, rowBuffer, out);
    }
}

}  // namespace

LUMA_AVX512 void resampleRowAvx512(const uint8_t *source, ptrdiff_t stride, int sourceWidth,
                                   const Taps &vertical, const int64_t *integerWeights, int shift,
                                   int prefetchRows, const PaddedTaps &horizontal,
                                   double *rowBuffer, uint8_t *destinationRow,
                                   int destinationBytesPerPixel) {
    const uint8_t *top = source + ptrdiff_t(vertical.left) * stride;
    if (shift >= 0) {
        switch (vertical.count) {
#define LUMA_TAPS(n)                                                                             \
    case n:                                                                                      \
        verticalPassInteger<n>(top, stride, sourceWidth, integerWeights, n, shift, prefetchRows, \
                               rowBuffer);                                                       \
        break;
            LUMA_TAPS(1)
            LUMA_TAPS(2)
            LUMA_TAPS(3)
            LUMA_TAPS(4)
            LUMA_TAPS(5)
            LUMA_TAPS(6)
            LUMA_TAPS(7)
            LUMA_TAPS(8)
            LUMA_TAPS(9)
            LUMA_TAPS(10)
            LUMA_TAPS(11)
#undef LUMA_TAPS
            default:
                verticalPassInteger<0>(top, stride, sourceWidth, integerWeights, vertical.count,
                                       shift, prefetchRows, rowBuffer);
        }
    } else {
        switch (vertical.count) {
#define LUMA_TAPS(n)                                                    \
    case n:                                                             \
        verticalPass<n>(top, stride, sourceWidth, vertical, rowBuffer); \
        break;
            LUMA_TAPS(1)
            LUMA_TAPS(2)
            LUMA_TAPS(3)
            LUMA_TAPS(4)
            LUMA_TAPS(5)
            LUMA_TAPS(6)
            LUMA_TAPS(7)
            LUMA_TAPS(8)
            LUMA_TAPS(9)
            LUMA_TAPS(10)
            LUMA_TAPS(11)
#undef LUMA_TAPS
            default:
                verticalPass<0>(top, stride, sourceWidth, vertical, rowBuffer);
        }
    }
    if (destinationBytesPerPixel == 3)
        horizontalPassFor<3>(horizontal, rowBuffer, destinationRow);
    else
        horizontalPassFor<4>(horizontal, rowBuffer, destinationRow);
}

}  // namespace lumaghost::detail
