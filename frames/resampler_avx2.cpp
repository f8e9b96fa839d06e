// The vector row of the resampler. Each output value keeps its own double accumulator and adds
// its taps first to last, exactly as the scalar row does; every product of a single-precision
// weight and an 8-bit value or single-precision sum is exact in double precision, so fused
// multiply-adds round exactly as a multiply and an add do, and both paths agree bit for bit.
#include <immintrin.h>

#include "resampler.h"

namespace lumaghost::detail {

bool avx2Available()
{
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

namespace {

__attribute__((target("avx2,fma"))) inline __m256d pixelToDoubles(__m128i packed)
{
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(packed));
}

// Rounds the three channel sums (ties to even) and writes them with 0 as the fourth byte.
__attribute__((target("avx2,fma"))) inline void storePixel(__m256d sum, uint8_t *out)
{
    const __m256d rounded = _mm256_round_pd(sum, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    __m128i v = _mm_and_si128(_mm256_cvttpd_epi32(rounded), _mm_setr_epi32(-1, -1, -1, 0));
    v = _mm_packus_epi16(_mm_packus_epi32(v, v), v);
    const int32_t word = _mm_cvtsi128_si32(v);
    __builtin_memcpy(out, &word, 4);
}

__attribute__((target("avx2,fma"))) inline __m256d tap(const float *weights, const float *row, int t,
                                                       __m256d sum)
{
    return _mm256_fmadd_pd(_mm256_set1_pd(weights[t]), _mm256_cvtps_pd(_mm_loadu_ps(row + 4 * t)),
                           sum);
}

}  // namespace

__attribute__((target("avx2,fma"))) void resampleRowAvx2(const uint8_t *source, int sourceWidth,
                                                         const Taps &vertical,
                                                         const std::vector<Taps> &horizontal,
                                                         float *rowBuffer, uint8_t *destinationRow)
{
    const size_t stride = size_t(sourceWidth) * 4;
    const uint8_t *top = source + size_t(vertical.left) * stride;

    // Vertical pass, four source pixels at a time: one accumulator per pixel, its four lanes
    // being the channels (the fourth is never used).
    int x = 0;
    for (; x + 4 <= sourceWidth; x += 4) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        const uint8_t *p = top + size_t(x) * 4;
        for (int t = 0; t < vertical.count; ++t, p += stride) {
            const __m256d w = _mm256_set1_pd(vertical.weights[t]);
            const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            a0 = _mm256_fmadd_pd(w, pixelToDoubles(px), a0);
            a1 = _mm256_fmadd_pd(w, pixelToDoubles(_mm_srli_si128(px, 4)), a1);
            a2 = _mm256_fmadd_pd(w, pixelToDoubles(_mm_srli_si128(px, 8)), a2);
            a3 = _mm256_fmadd_pd(w, pixelToDoubles(_mm_srli_si128(px, 12)), a3);
        }
        float *b = rowBuffer + size_t(x) * 4;
        _mm_storeu_ps(b, _mm256_cvtpd_ps(a0));
        _mm_storeu_ps(b + 4, _mm256_cvtpd_ps(a1));
        _mm_storeu_ps(b + 8, _mm256_cvtpd_ps(a2));
        _mm_storeu_ps(b + 12, _mm256_cvtpd_ps(a3));
    }
    for (; x < sourceWidth; ++x) {
        __m256d a = _mm256_setzero_pd();
        const uint8_t *p = top + size_t(x) * 4;
        for (int t = 0; t < vertical.count; ++t, p += stride) {
            int32_t bytes;
            __builtin_memcpy(&bytes, p, 4);
            a = _mm256_fmadd_pd(_mm256_set1_pd(vertical.weights[t]),
                                pixelToDoubles(_mm_cvtsi32_si128(bytes)), a);
        }
        _mm_storeu_ps(rowBuffer + size_t(x) * 4, _mm256_cvtpd_ps(a));
    }

    // Horizontal pass, two output pixels at a time.
    const size_t n = horizontal.size();
    size_t X = 0;
    for (; X + 2 <= n; X += 2) {
        const Taps &h0 = horizontal[X], &h1 = horizontal[X + 1];
        __m256d s0 = _mm256_setzero_pd(), s1 = s0;
        const float *b0 = rowBuffer + size_t(h0.left) * 4;
        const float *b1 = rowBuffer + size_t(h1.left) * 4;
        const int common = h0.count < h1.count ? h0.count : h1.count;
        int t = 0;
        for (; t < common; ++t) {
            s0 = tap(h0.weights, b0, t, s0);
            s1 = tap(h1.weights, b1, t, s1);
        }
        for (int u = t; u < h0.count; ++u)
            s0 = tap(h0.weights, b0, u, s0);
        for (int u = t; u < h1.count; ++u)
            s1 = tap(h1.weights, b1, u, s1);
        storePixel(s0, destinationRow + X * 4);
        storePixel(s1, destinationRow + X * 4 + 4);
    }
    for (; X < n; ++X) {
        const Taps &h = horizontal[X];
        __m256d s = _mm256_setzero_pd();
        const float *b = rowBuffer + size_t(h.left) * 4;
        for (int t = 0; t < h.count; ++t)
            s = tap(h.weights, b, t, s);
        storePixel(s, destinationRow + X * 4);
    }
}

}  // namespace lumaghost::detail
