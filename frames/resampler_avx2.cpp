// The vector row of the resampler. Each output value keeps its own double accumulator and adds
// its taps first to last, exactly as the scalar row does; every product of a single-precision
// weight and an 8-bit value or single-precision sum is exact in double precision, so fused
// multiply-adds round exactly as a multiply and an add do, and both paths agree bit for bit.
#include <immintrin.h>

#include "frames/resampler.h"

namespace lumaghost::detail {

bool avx2Available() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

namespace {

// An 8-bit pixel to four exact doubles: the bytes widened to 64-bit lanes become the low
// mantissa bits of 2^52, which is then taken off again (no conversion port needed).
__attribute__((target("avx2,fma"))) inline __m256d pixelToDoubles(const uint8_t *p) {
    int32_t bytes;
    __builtin_memcpy(&bytes, p, 4);
    const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(bytes));
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(wide), magic), magic);
}

__attribute__((target("avx2,fma"))) inline __m256d tap(double weight, const double *entry,
                                                       __m256d sum) {
    return _mm256_fmadd_pd(_mm256_set1_pd(weight), _mm256_loadu_pd(entry), sum);
}

// Rounds the channel sums of four pixels (ties to even, the default rounding mode) and stores
// them with 0 as each fourth byte.
__attribute__((target("avx2,fma"))) inline __m128i packFour(__m256d s0, __m256d s1, __m256d s2,
                                                            __m256d s3) {
    const __m256i lo = _mm256_set_m128i(_mm256_cvtpd_epi32(s1), _mm256_cvtpd_epi32(s0));
    const __m256i hi = _mm256_set_m128i(_mm256_cvtpd_epi32(s3), _mm256_cvtpd_epi32(s2));
    const __m256i colour = _mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0);
    const __m256i words =
        _mm256_packus_epi32(_mm256_and_si256(lo, colour), _mm256_and_si256(hi, colour));
    // packus works within 128-bit halves: words = p0 p2 | p1 p3; put them back in order.
    const __m256i ordered = _mm256_permute4x64_epi64(words, _MM_SHUFFLE(3, 1, 2, 0));
    return _mm_packus_epi16(_mm256_castsi256_si128(ordered), _mm256_extracti128_si256(ordered, 1));
}

__attribute__((target("avx2,fma"))) inline int32_t packOne(__m256d s) {
    __m128i v = _mm_and_si128(_mm256_cvtpd_epi32(s), _mm_setr_epi32(-1, -1, -1, 0));
    v = _mm_packus_epi16(_mm_packus_epi32(v, v), v);
    return _mm_cvtsi128_si32(v);
}

// One output pixel's sums over a fixed number of taps (0: `taps`, known only at run time).
template <int kTaps>
__attribute__((target("avx2,fma"))) inline __m256d paddedSum(const double *row, const double *w,
                                                             int taps) {
    const int n = kTaps ? kTaps : taps;
    __m256d s = _mm256_setzero_pd();
#pragma GCC unroll 16
    for (int t = 0; t < n; ++t)
        s = tap(w[t], row + 3 * t, s);
    return s;
}

// The horizontal pass writing 32-bit pixels, or 24-bit ones (kBytes 3) that stop exactly at the
// row's end.
template <int kTaps, int kBytes>
__attribute__((target("avx2,fma"))) void horizontalPass(const PaddedTaps &h,
                                                        const double *rowBuffer, uint8_t *out) {
    const int taps = h.count;
    const size_t n = h.left.size();
    const int *left = h.left.data();
    const double *w = h.weights.data();
    const __m128i toBgr = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d s0 = paddedSum<kTaps>(rowBuffer + size_t(left[i]) * 3, w + i * taps, taps);
        const __m256d s1 =
            paddedSum<kTaps>(rowBuffer + size_t(left[i + 1]) * 3, w + (i + 1) * taps, taps);
        const __m256d s2 =
            paddedSum<kTaps>(rowBuffer + size_t(left[i + 2]) * 3, w + (i + 2) * taps, taps);
        const __m256d s3 =
            paddedSum<kTaps>(rowBuffer + size_t(left[i + 3]) * 3, w + (i + 3) * taps, taps);
        const __m128i pixels = packFour(s0, s1, s2, s3);
        if (kBytes == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i * 4), pixels);
        } else if (i + 6 <= n) {
            // The four bytes past these pixels belong to the next two, written after.
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i * 3),
                             _mm_shuffle_epi8(pixels, toBgr));
        } else {
            const __m128i bgr = _mm_shuffle_epi8(pixels, toBgr);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i * 3), bgr);
            const int32_t last = _mm_extract_epi32(bgr, 2);
            __builtin_memcpy(out + i * 3 + 8, &last, 4);
        }
    }
    for (; i < n; ++i) {
        const int32_t pixel =
            packOne(paddedSum<kTaps>(rowBuffer + size_t(left[i]) * 3, w + i * taps, taps));
        __builtin_memcpy(out + i * kBytes, &pixel, kBytes);
    }
}

template <int kBytes>
__attribute__((target("avx2,fma"))) void horizontalPassFor(const PaddedTaps &h,
                                                           const double *rowBuffer, uint8_t *out) {
    switch (h.count) {
        case 1:
            return horizontalPass<1, kBytes>(h, rowBuffer, out);
        case 2:
            return horizontalPass<2, kBytes>(h, rowBuffer, out);
        case 3:
            return horizontalPass<3, kBytes>(h, rowBuffer, out);
        case 4:
            return horizontalPass<4, kBytes>(h, rowBuffer, out);
        case 5:
            return horizontalPass<5, kBytes>(h, rowBuffer, out);
        case 6:
            return horizontalPass<6, kBytes>(h, rowBuffer, out);
        case 7:
            return horizontalPass<7, kBytes>(h, rowBuffer, out);
        case 8:
            return horizontalPass<8, kBytes>(h, rowBuffer, out);
        case 9:
            return horizontalPass<9, kBytes>(h, rowBuffer, out);
        case 10:
            return horizontalPass<10, kBytes>(h, rowBuffer, out);
        case 11:
            return horizontalPass<11, kBytes>(h, rowBuffer, out);
        case 12:
            return horizontalPass<12, kBytes>(h, rowBuffer, out);
        default:
            return horizontalPass<0, kBytes>(h, rowBuffer, out);
    }
}

// Double sums rounded to single precision and widened back, exactly.
__attribute__((target("avx2,fma"))) inline __m256d throughFloat(__m256d v) {
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
}

// Widens chosen bytes of a 16-byte group (broadcast to both halves) into 64-bit lanes and
// makes exact doubles of them (see pixelToDoubles).
__attribute__((target("avx2,fma"))) inline __m256d bytesToDoubles(__m256i group, __m256i select) {
    const __m256d magic = _mm256_set1_pd(4503599627370496.0);  // 2^52
    const __m256i wide = _mm256_shuffle_epi8(group, select);
    return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(wide), magic), magic);
}

// Byte selectors taking the colour bytes of four pixels, alpha skipped, three at a time:
// B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3. Lanes 0-1 come from the low half, 2-3 from the high.
__attribute__((target("avx2,fma"))) inline __m256i selector(char a, char b, char c, char d) {
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
__attribute__((target("avx2,fma"))) void verticalPass(const uint8_t *top, ptrdiff_t stride,
                                                      int width, const Taps &v, double *rowBuffer) {
    const int taps = kTaps ? kTaps : v.count;
    const __m256i s0 = selector(0, 1, 2, 4), s1 = selector(5, 6, 8, 9),
                  s2 = selector(10, 12, 13, 14);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0, a4 = a0, a5 = a0;
        const uint8_t *p = top + size_t(x) * 4;
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
    for (; x < width; ++x) {
        __m256d acc = _mm256_setzero_pd();
        const uint8_t *p = top + size_t(x) * 4;
        for (int t = 0; t < taps; ++t, p += stride)
            acc = _mm256_fmadd_pd(_mm256_set1_pd(v.weights[t]), pixelToDoubles(p), acc);
        _mm256_storeu_pd(rowBuffer + size_t(x) * 3, throughFloat(acc));
    }
}

}  // namespace

__attribute__((target("avx2,fma"))) void resampleRowAvx2(const uint8_t *source, ptrdiff_t stride,
                                                         int sourceWidth, const Taps &vertical,
                                                         const PaddedTaps &horizontal,
                                                         double *rowBuffer, uint8_t *destinationRow,
                                                         int destinationBytesPerPixel) {
    const uint8_t *top = source + ptrdiff_t(vertical.left) * stride;

    switch (vertical.count) {
        case 1:
            verticalPass<1>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 2:
            verticalPass<2>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 3:
            verticalPass<3>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 4:
            verticalPass<4>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 5:
            verticalPass<5>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 6:
            verticalPass<6>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 7:
            verticalPass<7>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 8:
            verticalPass<8>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 9:
            verticalPass<9>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 10:
            verticalPass<10>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        case 11:
            verticalPass<11>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
        default:
            verticalPass<0>(top, stride, sourceWidth, vertical, rowBuffer);
            break;
    }

    // Horizontal pass, four output pixels at a time.
    if (destinationBytesPerPixel == 3)
        horizontalPassFor<3>(horizontal, rowBuffer, destinationRow);
    else
        horizontalPassFor<4>(horizontal, rowBuffer, destinationRow);
}

}  // namespace lumaghost::detail
