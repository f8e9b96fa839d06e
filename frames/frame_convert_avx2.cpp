// SPDX-License-Identifier: LGPL-2.1-or-later
// The colour conversions with AVX2: 16 pixels a step, as two vectors of 8 whose lanes hold
// pixels 0-3 | 8-11 and 4-7 | 12-15. The sums are those of the scalar code, in 32-bit lanes.
#include <immintrin.h>

#include "frames/frame_convert_kernels.h"
#include "frames/frame_convert_simd.h"

#define LG_AVX2 __attribute__((target("avx2")))

namespace lumaghost::convert_kernels {

namespace {

constexpr ShuffleMask<2> kChannel[2][3] = {
    {channelMask<2>(0, false), channelMask<2>(1, false), channelMask<2>(2, false)},
    {channelMask<2>(0, true), channelMask<2>(1, true), channelMask<2>(2, true)}};
constexpr ShuffleMask<2> kBgrx[2] = {bgrxMask<2>(false), bgrxMask<2>(true)};

struct Sixteen {
    __m256i low, high;  // pixels 0-3 | 8-11, 4-7 | 12-15
};

LG_AVX2 inline __m128i load128(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// 48 bytes, read as four overlapping 16-byte loads that stay inside them.
LG_AVX2 inline Sixteen load16(const uint8_t *p) {
    return {_mm256_inserti128_si256(_mm256_castsi128_si256(load128(p)), load128(p + 24), 1),
            _mm256_inserti128_si256(_mm256_castsi128_si256(load128(p + 12)), load128(p + 32), 1)};
}

LG_AVX2 inline __m256i mask(const ShuffleMask<2> &m) {
    return _mm256_load_si256(reinterpret_cast<const __m256i *>(m.bytes));
}

struct Rgb {
    __m256i r, g, b;
};

struct Masks {
    __m256i low[3], high[3];
};

LG_AVX2 inline Masks channelMasks() {
    Masks m;
    for (int c = 0; c < 3; ++c) {
        m.low[c] = mask(kChannel[0][c]);
        m.high[c] = mask(kChannel[1][c]);
    }
    return m;
}

LG_AVX2 inline Rgb split(__m256i v, const __m256i (&m)[3]) {
    return {_mm256_shuffle_epi8(v, m[2]), _mm256_shuffle_epi8(v, m[1]),
            _mm256_shuffle_epi8(v, m[0])};
}

LG_AVX2 inline __m256i divideBy255000(__m256i n) {
    const __m256i m = _mm256_set1_epi64x(int64_t(kDivisor));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(n, m), kDivisorShift);
    const __m256i odd =
        _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(n, 32), m), kDivisorShift);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

LG_AVX2 inline __m256i convert(const yuv601::Row &row, const Rgb &p) {
    __m256i s = _mm256_add_epi32(_mm256_mullo_epi32(p.r, _mm256_set1_epi32(row.r)),
                                 _mm256_mullo_epi32(p.g, _mm256_set1_epi32(row.g)));
    s = _mm256_add_epi32(s, _mm256_mullo_epi32(p.b, _mm256_set1_epi32(row.b)));
    return divideBy255000(_mm256_add_epi32(s, _mm256_set1_epi32(biasOf(row))));
}

// 16 luma values, from the two halves' lanes, in pixel order.
LG_AVX2 inline void storeLuma(uint8_t *out, __m256i low, __m256i high) {
    const __m256i words = _mm256_packus_epi32(low, high);  // pixels 0-7 | 8-15
    const __m256i bytes =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(bytes));
}

// The sums of neighbouring pixels, in pixel order: pairs 0-3 | 4-7.
LG_AVX2 inline __m256i pairSums(__m256i low, __m256i high) {
    return _mm256_hadd_epi32(low, high);
}

// The rounded means of 2 x 2 blocks, in block order 0-3 | 4-7.
LG_AVX2 inline __m256i blockMean(__m256i topLow, __m256i topHigh, __m256i bottomLow,
                                 __m256i bottomHigh, __m256i two) {
    const __m256i sums =
        pairSums(_mm256_add_epi32(topLow, bottomLow), _mm256_add_epi32(topHigh, bottomHigh));
    return _mm256_srli_epi32(_mm256_add_epi32(sums, two), 2);
}

}  // namespace

LG_AVX2 int yuyvAvx2(const uint8_t *row, int width, uint8_t *out) {
    const Masks m = channelMasks();
    const __m256i one = _mm256_set1_epi32(1);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Sixteen s = load16(row + size_t(x) * 3);
        const Rgb low = split(s.low, m.low), high = split(s.high, m.high);
        const __m256i luma = _mm256_packus_epi32(convert(yuv601::kY, low),
                                                 convert(yuv601::kY, high));  // Y0 | Y1 << 16
        const Rgb mean = {_mm256_srli_epi32(_mm256_add_epi32(pairSums(low.r, high.r), one), 1),
                          _mm256_srli_epi32(_mm256_add_epi32(pairSums(low.g, high.g), one), 1),
                          _mm256_srli_epi32(_mm256_add_epi32(pairSums(low.b, high.b), one), 1)};
        const __m256i u = convert(yuv601::kCb, mean), v = convert(yuv601::kCr, mean);
        const __m256i packed = _mm256_or_si256(
            luma, _mm256_or_si256(_mm256_slli_epi32(u, 8), _mm256_slli_epi32(v, 24)));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + size_t(x) * 2), packed);
    }
    return x;
}

LG_AVX2 int i420Avx2(const uint8_t *top, const uint8_t *bottom, int width, uint8_t *topLuma,
                     uint8_t *bottomLuma, uint8_t *u, uint8_t *v) {
    const Masks m = channelMasks();
    const __m256i two = _mm256_set1_epi32(2);
    const __m256i chromaOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Sixteen t = load16(top + size_t(x) * 3), b = load16(bottom + size_t(x) * 3);
        const Rgb tl = split(t.low, m.low), th = split(t.high, m.high);
        const Rgb bl = split(b.low, m.low), bh = split(b.high, m.high);
        storeLuma(topLuma + x, convert(yuv601::kY, tl), convert(yuv601::kY, th));
        storeLuma(bottomLuma + x, convert(yuv601::kY, bl), convert(yuv601::kY, bh));
        const Rgb block = {blockMean(tl.r, th.r, bl.r, bh.r, two),
                           blockMean(tl.g, th.g, bl.g, bh.g, two),
                           blockMean(tl.b, th.b, bl.b, bh.b, two)};
        const __m256i words =
            _mm256_packus_epi32(convert(yuv601::kCb, block), convert(yuv601::kCr, block));
        // Dwords U0-3 V0-3 U0-3 V0-3 | U4-7 V4-7 ..., to U0-3 U4-7 V0-3 V4-7.
        const __m128i bytes = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), chromaOrder));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(u + x / 2), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(v + x / 2), _mm_unpackhi_epi64(bytes, bytes));
    }
    return x;
}

LG_AVX2 int bgrxAvx2(const uint8_t *row, int width, uint8_t *out) {
    const __m256i low = mask(kBgrx[0]), high = mask(kBgrx[1]);
    const __m256i alpha = _mm256_set1_epi32(int32_t(0xff000000u));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Sixteen s = load16(row + size_t(x) * 3);
        const __m256i a = _mm256_or_si256(_mm256_shuffle_epi8(s.low, low), alpha);
        const __m256i b = _mm256_or_si256(_mm256_shuffle_epi8(s.high, high), alpha);
        auto *o = reinterpret_cast<__m256i *>(out + size_t(x) * 4);
        _mm256_storeu_si256(o, _mm256_permute2x128_si256(a, b, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(a, b, 0x31));
    }
    return x;
}

}  // namespace lumaghost::convert_kernels
