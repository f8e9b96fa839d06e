// The 512-bit vector row of the resampler. As in the 256-bit row, each output value keeps its own
// double accumulator and adds its taps first to last; products of single-precision weights and
// 8-bit values or single-precision sums are exact in double precision, so fused multiply-adds
// round exactly as the scalar row's multiply and add, and every path agrees bit for bit.
//
// Vertical pass: sixteen source pixels a tap, their 48 colour bytes picked into 64-bit lanes by
// byte permutes (the fourth byte dropped) and made exact doubles. Horizontal pass: two output
// pixels a vector, lanes 0-3 the first pixel's channels, 4-7 the second's.
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

LUMA_AVX512 inline __m512 joinFloats(__m512d lo, __m512d hi) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_maskz_cvtpd_ps(0xFF, lo)),
                              _mm512_maskz_cvtpd_ps(0xFF, hi), 1);
}

// The vertical pass over a fixed number of taps (0: `v.count`, known only at run time).
template <int kTaps>
LUMA_AVX512 void verticalPass(const uint8_t *top, ptrdiff_t stride, int width, const Taps &v,
                              float *rowBuffer) {
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
            const __m512i g = _mm512_maskz_loadu_epi8(bytes, p + ptrdiff_t(t) * stride);
            a0 = _mm512_fmadd_pd(w, valuesToDoubles(g, s0), a0);
            a1 = _mm512_fmadd_pd(w, valuesToDoubles(g, s1), a1);
            a2 = _mm512_fmadd_pd(w, valuesToDoubles(g, s2), a2);
            a3 = _mm512_fmadd_pd(w, valuesToDoubles(g, s3), a3);
            a4 = _mm512_fmadd_pd(w, valuesToDoubles(g, s4), a4);
            a5 = _mm512_fmadd_pd(w, valuesToDoubles(g, s5), a5);
        }
        float *b = rowBuffer + size_t(x) * 3;
        if (pixels == 16) {
            _mm512_storeu_ps(b, joinFloats(a0, a1));
            _mm512_storeu_ps(b + 16, joinFloats(a2, a3));
            _mm512_storeu_ps(b + 32, joinFloats(a4, a5));
        } else {
            const int floats = 3 * pixels;
            auto mask = [floats](int from) -> __mmask16 {
                const int n = floats - from;
                return n <= 0 ? 0 : n >= 16 ? 0xFFFF : __mmask16((1u << n) - 1);
            };
            _mm512_mask_storeu_ps(b, mask(0), joinFloats(a0, a1));
            _mm512_mask_storeu_ps(b + 16, mask(16), joinFloats(a2, a3));
            _mm512_mask_storeu_ps(b + 32, mask(32), joinFloats(a4, a5));
        }
    }
}

LUMA_AVX512 inline __m512d toDouble(__m512i sum, __m512d scale) {
    return _mm512_mul_pd(_mm512_cvtepi64_pd(sum), scale);
}

// The vertical pass in integers: weight × 2^shift times each 8-bit value, summed exactly in
// 64-bit lanes (52-bit multiply-adds), then scaled back by 2^-shift, exactly, and rounded to
// single precision as the double sums are.
template <int kTaps>
LUMA_AVX512 void verticalPassInteger(const uint8_t *top, ptrdiff_t stride, int width,
                                     const int64_t *weights, int count, int shift, int prefetchRows,
                                     float *rowBuffer) {
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
            const __m512i g = _mm512_maskz_loadu_epi8(bytes, p + ptrdiff_t(t) * stride);
            a0 = _mm512_madd52lo_epu64(a0, _mm512_maskz_permutexvar_epi8(kLowBytes, s0, g), w);
            a1 = _mm512_madd52lo_epu64(a1, _mm512_maskz_permutexvar_epi8(kLowBytes, s1, g), w);
            a2 = _mm512_madd52lo_epu64(a2, _mm512_maskz_permutexvar_epi8(kLowBytes, s2, g), w);
            a3 = _mm512_madd52lo_epu64(a3, _mm512_maskz_permutexvar_epi8(kLowBytes, s3, g), w);
            a4 = _mm512_madd52lo_epu64(a4, _mm512_maskz_permutexvar_epi8(kLowBytes, s4, g), w);
            a5 = _mm512_madd52lo_epu64(a5, _mm512_maskz_permutexvar_epi8(kLowBytes, s5, g), w);
        }
        const __m512 f0 = joinFloats(toDouble(a0, scale), toDouble(a1, scale));
        const __m512 f1 = joinFloats(toDouble(a2, scale), toDouble(a3, scale));
        const __m512 f2 = joinFloats(toDouble(a4, scale), toDouble(a5, scale));
        float *b = rowBuffer + size_t(x) * 3;
        if (pixels == 16) {
            _mm512_storeu_ps(b, f0);
            _mm512_storeu_ps(b + 16, f1);
            _mm512_storeu_ps(b + 32, f2);
        } else {
            const int floats = 3 * pixels;
            auto mask = [floats](int from) -> __mmask16 {
                const int n = floats - from;
                return n <= 0 ? 0 : n >= 16 ? 0xFFFF : __mmask16((1u << n) - 1);
            };
            _mm512_mask_storeu_ps(b, mask(0), f0);
            _mm512_mask_storeu_ps(b + 16, mask(16), f1);
            _mm512_mask_storeu_ps(b + 32, mask(32), f2);
        }
    }
}

// The sums of one pair of output pixels over a fixed number of taps (0: `taps`).
template <int kTaps>
LUMA_AVX512 inline __m512d pairSum(const float *first, const float *second, const float *w,
                                   int taps) {
    const int n = kTaps ? kTaps : taps;
    __m512d s = _mm512_setzero_pd();
#pragma GCC unroll 16
    for (int t = 0; t < n; ++t) {
        const __m256 values = _mm256_insertf128_ps(
            _mm256_castps128_ps256(_mm_loadu_ps(first + 3 * t)), _mm_loadu_ps(second + 3 * t), 1);
        s = _mm512_fmadd_pd(_mm512_cvtps_pd(_mm256_loadu_ps(w + 8 * t)), _mm512_cvtps_pd(values),
                            s);
    }
    return s;
}

template <int kTaps>
LUMA_AVX512 inline __m512d pairAt(const float *rowBuffer, const int *left, const float *w,
                                  size_t pairStep, int taps, int pair) {
    return pairSum<kTaps>(rowBuffer + size_t(left[2 * pair]) * 3,
                          rowBuffer + size_t(left[2 * pair + 1]) * 3, w + size_t(pair) * pairStep,
                          taps);
}

// Rounds to integers, ties to even (the default rounding mode).
LUMA_AVX512 inline __m256i roundToInt(__m512d v) {
    return _mm512_maskz_cvtpd_epi32(0xFF, v);
}

// Byte picks dropping every fourth byte: 32-bit pixels to 24-bit ones.
LUMA_AVX512 inline __m256i toBgr() {
    return _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 16, 17, 18, 20, 21, 22, 24, 25,
                            26, 28, 29, 30, 0, 0, 0, 0, 0, 0, 0, 0);
}

// The horizontal pass, eight output pixels (four pairs) at a time, then pair by pair; sums are
// rounded ties to even (the default rounding mode) and stored with 0 as each fourth byte, or as
// 24-bit pixels that stop exactly at the row's end.
template <int kTaps, int kBytes>
LUMA_AVX512 void horizontalPass(const PairedTaps &h, const float *rowBuffer, uint8_t *out,
                                int outputs) {
    const int taps = h.count;
    const int *left = h.left.data();
    const float *w = h.weights.data();
    const size_t pairStep = size_t(8) * taps;
    const __m256i bgr = toBgr();
    int i = 0;
    for (; i + 8 <= outputs; i += 8) {
        const int pair = i / 2;
        const __m512i lo = _mm512_inserti64x4(
            _mm512_castsi256_si512(
                roundToInt(pairAt<kTaps>(rowBuffer, left, w, pairStep, taps, pair))),
            roundToInt(pairAt<kTaps>(rowBuffer, left, w, pairStep, taps, pair + 1)), 1);
        const __m512i hi = _mm512_inserti64x4(
            _mm512_castsi256_si512(
                roundToInt(pairAt<kTaps>(rowBuffer, left, w, pairStep, taps, pair + 2))),
            roundToInt(pairAt<kTaps>(rowBuffer, left, w, pairStep, taps, pair + 3)), 1);
        const __m256i pixels = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm512_maskz_cvtusepi32_epi8(0x7777, lo)),
            _mm512_maskz_cvtusepi32_epi8(0x7777, hi), 1);
        if (kBytes == 4)
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + size_t(i) * 4), pixels);
        else
            _mm256_mask_storeu_epi8(out + size_t(i) * 3, 0xFFFFFF,
                                    _mm256_permutexvar_epi8(bgr, pixels));
    }
    for (; i < outputs; i += 2) {
        const int pixels = outputs - i < 2 ? 1 : 2;
        __m128i bytes = _mm256_maskz_cvtusepi32_epi8(
            0x77, roundToInt(pairAt<kTaps>(rowBuffer, left, w, pairStep, taps, i / 2)));
        if (kBytes == 3)
            bytes =
                _mm256_castsi256_si128(_mm256_permutexvar_epi8(bgr, _mm256_castsi128_si256(bytes)));
        _mm_mask_storeu_epi8(out + size_t(i) * kBytes, __mmask16((1u << (kBytes * pixels)) - 1),
                             bytes);
    }
}

template <int kBytes>
LUMA_AVX512 void horizontalPassFor(const PairedTaps &h, const float *rowBuffer, uint8_t *out,
                                   int outputs) {
    switch (h.count) {
        case 1:
            return horizontalPass<1, kBytes>(h, rowBuffer, out, outputs);
        case 2:
            return horizontalPass<2, kBytes>(h, rowBuffer, out, outputs);
        case 3:
            return horizontalPass<3, kBytes>(h, rowBuffer, out, outputs);
        case 4:
            return horizontalPass<4, kBytes>(h, rowBuffer, out, outputs);
        case 5:
            return horizontalPass<5, kBytes>(h, rowBuffer, out, outputs);
        case 6:
            return horizontalPass<6, kBytes>(h, rowBuffer, out, outputs);
        case 7:
            return horizontalPass<7, kBytes>(h, rowBuffer, out, outputs);
        case 8:
            return horizontalPass<8, kBytes>(h, rowBuffer, out, outputs);
        case 9:
            return horizontalPass<9, kBytes>(h, rowBuffer, out, outputs);
        case 10:
            return horizontalPass<10, kBytes>(h, rowBuffer, out, outputs);
        case 11:
            return horizontalPass<11, kBytes>(h, rowBuffer, out, outputs);
        case 12:
            return horizontalPass<12, kBytes>(h, rowBuffer, out, outputs);
        default:
            return horizontalPass<0, kBytes>(h, rowBuffer, out, outputs);
    }
}

}  // namespace

LUMA_AVX512 void resampleRowAvx512(const uint8_t *source, ptrdiff_t stride, int sourceWidth,
                                   const Taps &vertical, const int64_t *integerWeights, int shift,
                                   int prefetchRows, const PairedTaps &horizontal, float *rowBuffer,
                                   uint8_t *destinationRow, int destinationBytesPerPixel) {
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
        horizontalPassFor<3>(horizontal, rowBuffer, destinationRow, horizontal.outputs);
    else
        horizontalPassFor<4>(horizontal, rowBuffer, destinationRow, horizontal.outputs);
}

}  // namespace lumaghost::detail
