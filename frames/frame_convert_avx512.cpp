// The colour conversions with AVX-512: 32 pixels a step, as two vectors of 16 whose lanes hold
// pixels 0-3 | 8-11 | 16-19 | 24-27 and 4-7 | 12-15 | 20-23 | 28-31. The sums are those of the
// scalar code, in 32-bit lanes.
#include <immintrin.h>

// GCC 12 takes the undefined pass-through operand of the unmasked 512-bit shifts for an
// uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "frames/frame_convert_kernels.h"
#include "frames/frame_convert_simd.h"

#define LG_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace lumaghost::convert_kernels {

namespace {

constexpr ShuffleMask<4> kChannel[2][3] = {
    {channelMask<4>(0, false), channelMask<4>(1, false), channelMask<4>(2, false)},
    {channelMask<4>(0, true), channelMask<4>(1, true), channelMask<4>(2, true)}};

struct ThirtyTwo {
    __m512i low, high;
};

LG_AVX512 inline __m128i load128(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

LG_AVX512 inline __m512i lanes(const uint8_t *a, const uint8_t *b, const uint8_t *c,
                               const uint8_t *d) {
    __m512i v = _mm512_castsi128_si512(load128(a));
    v = _mm512_inserti32x4(v, load128(b), 1);
    v = _mm512_inserti32x4(v, load128(c), 2);
    return _mm512_inserti32x4(v, load128(d), 3);
}

// 96 bytes, read as eight overlapping 16-byte loads that stay inside them.
LG_AVX512 inline ThirtyTwo load32(const uint8_t *p) {
    return {lanes(p, p + 24, p + 48, p + 72), lanes(p + 12, p + 36, p + 60, p + 80)};
}

struct Rgb {
    __m512i r, g, b;
};

struct Masks {
    __m512i low[3], high[3];
};

LG_AVX512 inline Masks channelMasks() {
    Masks m;
    for (int c = 0; c < 3; ++c) {
        m.low[c] = _mm512_load_si512(kChannel[0][c].bytes);
        m.high[c] = _mm512_load_si512(kChannel[1][c].bytes);
    }
    return m;
}

LG_AVX512 inline Rgb split(__m512i v, const __m512i (&m)[3]) {
    return {_mm512_shuffle_epi8(v, m[2]), _mm512_shuffle_epi8(v, m[1]),
            _mm512_shuffle_epi8(v, m[0])};
}

LG_AVX512 inline __m512i divideBy255000(__m512i n) {
    const __m512i m = _mm512_set1_epi64(int64_t(kDivisor));
    const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(n, m), kDivisorShift);
    const __m512i odd =
        _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(n, 32), m), kDivisorShift);
    return _mm512_or_si512(even, _mm512_slli_epi64(odd, 32));
}

LG_AVX512 inline __m512i convert(const yuv601::Row &row, const Rgb &p) {
    __m512i s = _mm512_add_epi32(_mm512_mullo_epi32(p.r, _mm512_set1_epi32(row.r)),
                                 _mm512_mullo_epi32(p.g, _mm512_set1_epi32(row.g)));
    s = _mm512_add_epi32(s, _mm512_mullo_epi32(p.b, _mm512_set1_epi32(row.b)));
    return divideBy255000(_mm512_add_epi32(s, _mm512_set1_epi32(biasOf(row))));
}

// The sums of neighbouring pixels, in pixel order: pairs 0-3 | 4-7 | 8-11 | 12-15.
LG_AVX512 inline __m512i pairSums(__m512i low, __m512i high) {
    const __m512 a = _mm512_castsi512_ps(_mm512_add_epi32(low, _mm512_srli_epi64(low, 32)));
    const __m512 b = _mm512_castsi512_ps(_mm512_add_epi32(high, _mm512_srli_epi64(high, 32)));
    return _mm512_castps_si512(_mm512_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
}

LG_AVX512 inline __m512i blockMean(__m512i topLow, __m512i topHigh, __m512i bottomLow,
                                   __m512i bottomHigh, __m512i two) {
    const __m512i sums =
        pairSums(_mm512_add_epi32(topLow, bottomLow), _mm512_add_epi32(topHigh, bottomHigh));
    return _mm512_srli_epi32(_mm512_add_epi32(sums, two), 2);
}

// 32 luma values in pixel order.
LG_AVX512 inline void storeLuma(uint8_t *out, __m512i low, __m512i high) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out),
                        _mm512_cvtepi16_epi8(_mm512_packus_epi32(low, high)));
}

}  // namespace

LG_AVX512 int yuyvAvx512(const uint8_t *row, int width, uint8_t *out) {
    const Masks m = channelMasks();
    const __m512i one = _mm512_set1_epi32(1);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const ThirtyTwo s = load32(row + size_t(x) * 3);
        const Rgb low = split(s.low, m.low), high = split(s.high, m.high);
        const __m512i luma = _mm512_packus_epi32(convert(yuv601::kY, low),
                                                 convert(yuv601::kY, high));  // Y0 | Y1 << 16
        const Rgb mean = {_mm512_srli_epi32(_mm512_add_epi32(pairSums(low.r, high.r), one), 1),
                          _mm512_srli_epi32(_mm512_add_epi32(pairSums(low.g, high.g), one), 1),
                          _mm512_srli_epi32(_mm512_add_epi32(pairSums(low.b, high.b), one), 1)};
        const __m512i u = convert(yuv601::kCb, mean), v = convert(yuv601::kCr, mean);
        const __m512i packed = _mm512_or_si512(
            luma, _mm512_or_si512(_mm512_slli_epi32(u, 8), _mm512_slli_epi32(v, 24)));
        _mm512_storeu_si512(out + size_t(x) * 2, packed);
    }
    return x;
}

LG_AVX512 int i420Avx512(const uint8_t *top, const uint8_t *bottom, int width, uint8_t *topLuma,
                         uint8_t *bottomLuma, uint8_t *u, uint8_t *v) {
    const Masks m = channelMasks();
    const __m512i two = _mm512_set1_epi32(2);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const ThirtyTwo t = load32(top + size_t(x) * 3), b = load32(bottom + size_t(x) * 3);
        const Rgb tl = split(t.low, m.low), th = split(t.high, m.high);
        const Rgb bl = split(b.low, m.low), bh = split(b.high, m.high);
        storeLuma(topLuma + x, convert(yuv601::kY, tl), convert(yuv601::kY, th));
        storeLuma(bottomLuma + x, convert(yuv601::kY, bl), convert(yuv601::kY, bh));
        const Rgb block = {blockMean(tl.r, th.r, bl.r, bh.r, two),
                           blockMean(tl.g, th.g, bl.g, bh.g, two),
                           blockMean(tl.b, th.b, bl.b, bh.b, two)};
        _mm_storeu_si128(reinterpret_cast<__m128i *>(u + x / 2),
                         _mm512_cvtepi32_epi8(convert(yuv601::kCb, block)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(v + x / 2),
                         _mm512_cvtepi32_epi8(convert(yuv601::kCr, block)));
    }
    return x;
}

}  // namespace lumaghost::convert_kernels
