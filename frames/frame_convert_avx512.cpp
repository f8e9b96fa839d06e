// SPDX-License-Identifier: LGPL-2.1-or-later
// The colour conversions with AVX-512 (with VBMI's byte permutes): 32 pixels a step. Two loads
// take the step's 96 bytes; byte permutes gather each pair's first and second pixel as 16 lanes
// of blue | green << 16 and green | red << 16. The luma comes from pairwise multiply-adds of
// them, the chroma from multiply-adds of the channel differences of the rounded means of the
// pairs (YUYV) or of the 2 x 2 blocks (I420); both sums exact, both divisions exact.
#include <immintrin.h>

// GCC 12 takes the undefined pass-through operand of the unmasked 512-bit shifts for an
// uninitialised variable.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "frames/frame_convert_kernels.h"
#include "frames/frame_convert_simd.h"

#define LG_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace lumaghost::convert_kernels {

namespace {

// Byte indexes into 128 bytes (96 used) and the bytes they fill: dword j takes pixel
// first + 2 j.
struct Gather {
    alignas(64) uint8_t index[64];
    uint64_t mask;
};

// Dword j: channel `low` | channel `high` << 16 (0 blue, 1 green, 2 red).
constexpr Gather channels(int first, int low, int high) {
    Gather g{};
    for (int j = 0; j < 16; ++j) {
        const int pixel = 3 * (first + 2 * j);
        g.index[4 * j] = uint8_t(pixel + low);
        g.index[4 * j + 2] = uint8_t(pixel + high);
        g.mask |= uint64_t(5) << (4 * j);
    }
    return g;
}

// blue | green << 16 and green | red << 16, of each pair's first and second pixel.
constexpr Gather kBlueGreen[2] = {channels(0, 0, 1), channels(1, 0, 1)};
constexpr Gather kGreenRed[2] = {channels(0, 1, 2), channels(1, 1, 2)};

// Two int16 multipliers for a multiply-add of pairs.
constexpr int32_t pairOf(int low, int high) {
    return int32_t(uint32_t(uint16_t(int16_t(low))) | uint32_t(uint16_t(int16_t(high))) << 16);
}

// The luma sum divided by 3 (every term of it is a multiple of 3), green's share split
// between the two pairs, and its divisor 85000 as 8 * 10625: floor(n / 85000) ==
// floor(floor(n / 8) / 10625), and for every n / 8 below 2^22 the float product below rounds
// to the right side of every integer.
constexpr int kLumaRed = yuv601::kY.r / 3, kLumaGreen = yuv601::kY.g / 3,
              kLumaBlue = yuv601::kY.b / 3, kLumaBias = biasOf(yuv601::kY) / 3;
static_assert(yuv601::kY.r % 3 == 0 && yuv601::kY.g % 3 == 0 && yuv601::kY.b % 3 == 0 &&
              biasOf(yuv601::kY) % 3 == 0 && yuv601::kScale % 24 == 0);
constexpr int kLumaGreenLow = kLumaGreen / 2, kLumaGreenHigh = kLumaGreen - kLumaGreenLow;
static_assert(kLumaRed <= 32767 && kLumaBlue <= 32767 && kLumaGreenHigh <= 32767);
constexpr float kLumaReciprocal = 1.0f / float(yuv601::kScale / 24);
constexpr float kLumaNudge = 4e-5f;

// The chroma sums from the differences blue - green and green - red (within +-255):
//   Cb = 112000 (b - g) + 37797 (g - r) = 875 * 128 (b - g) + 12599 * 3 (g - r)
//   Cr = 112000 (r - g) + 18214 (g - b) = -875 * 128 (g - r) - 18214 (b - g)
// with every factor and scaled difference within int16.
static_assert(yuv601::kCb.b == 875 * 128 && -yuv601::kCb.r == 12599 * 3 &&
              yuv601::kCb.r + yuv601::kCb.g + yuv601::kCb.b == 0);
static_assert(yuv601::kCr.r == 875 * 128 && -yuv601::kCr.b == 18214 &&
              yuv601::kCr.r + yuv601::kCr.g + yuv601::kCr.b == 0);

struct Pixels {
    __m512i blueGreen, greenRed;
};

LG_AVX512 inline Pixels gather(__m512i a, __m512i b, int which) {
    const Gather &bg = kBlueGreen[which], &gr = kGreenRed[which];
    return {_mm512_maskz_permutex2var_epi8(bg.mask, a, _mm512_load_si512(bg.index), b),
            _mm512_maskz_permutex2var_epi8(gr.mask, a, _mm512_load_si512(gr.index), b)};
}

LG_AVX512 inline __m512i luma(const Pixels &p) {
    __m512i s = _mm512_add_epi32(
        _mm512_madd_epi16(p.blueGreen, _mm512_set1_epi32(pairOf(kLumaBlue, kLumaGreenLow))),
        _mm512_madd_epi16(p.greenRed, _mm512_set1_epi32(pairOf(kLumaGreenHigh, kLumaRed))));
    s = _mm512_add_epi32(s, _mm512_set1_epi32(kLumaBias));
    const __m512 eighths = _mm512_cvtepi32_ps(_mm512_srli_epi32(s, 3));
    return _mm512_cvttps_epi32(
        _mm512_fmadd_ps(eighths, _mm512_set1_ps(kLumaReciprocal), _mm512_set1_ps(kLumaNudge)));
}

LG_AVX512 inline __m512i divideBy255000(__m512i n) {
    const __m512i m = _mm512_set1_epi64(int64_t(kDivisor));
    const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(n, m), kDivisorShift);
    const __m512i odd =
        _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(n, 32), m), kDivisorShift);
    return _mm512_or_si512(even, _mm512_slli_epi64(odd, 32));
}

struct Chroma {
    __m512i u, v;
};

// Cb and Cr of the means of blue | green << 16 and green | red << 16.
LG_AVX512 inline Chroma chroma(const Pixels &mean) {
    // (b - g) | (g - r) << 16
    const __m512i d = _mm512_sub_epi16(mean.blueGreen, mean.greenRed);
    const __m512i cb = _mm512_madd_epi16(_mm512_mullo_epi16(d, _mm512_set1_epi32(pairOf(128, 3))),
                                         _mm512_set1_epi32(pairOf(875, 12599)));
    const __m512i cr = _mm512_madd_epi16(_mm512_sllv_epi16(d, _mm512_set1_epi32(pairOf(0, 7))),
                                         _mm512_set1_epi32(pairOf(-18214, -875)));
    return {divideBy255000(_mm512_add_epi32(cb, _mm512_set1_epi32(biasOf(yuv601::kCb)))),
            divideBy255000(_mm512_add_epi32(cr, _mm512_set1_epi32(biasOf(yuv601::kCr))))};
}

LG_AVX512 inline void load96(const uint8_t *p, __m512i &a, __m512i &b) {
    a = _mm512_loadu_si512(p);
    b = _mm512_maskz_loadu_epi8(0xffffffffu, p + 64);  // 32 bytes: nothing past the step
}

}  // namespace

LG_AVX512 int yuyvAvx512(const uint8_t *row, int width, uint8_t *out) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        __m512i a, b;
        load96(row + size_t(x) * 3, a, b);
        const Pixels first = gather(a, b, 0), second = gather(a, b, 1);
        // (a + b + 1) >> 1 in each 16-bit half: the scalar code's rounded mean.
        const Pixels mean = {_mm512_avg_epu16(first.blueGreen, second.blueGreen),
                             _mm512_avg_epu16(first.greenRed, second.greenRed)};
        const __m512i y0 = luma(first), y1 = luma(second);
        const Chroma c = chroma(mean);
        const __m512i packed =
            _mm512_or_si512(_mm512_or_si512(y0, _mm512_slli_epi32(c.u, 8)),
                            _mm512_or_si512(_mm512_slli_epi32(y1, 16), _mm512_slli_epi32(c.v, 24)));
        _mm512_storeu_si512(out + size_t(x) * 2, packed);
    }
    return x;
}

LG_AVX512 int i420Avx512(const uint8_t *top, const uint8_t *bottom, int width, uint8_t *topLuma,
                         uint8_t *bottomLuma, uint8_t *u, uint8_t *v) {
    const __m512i two = _mm512_set1_epi16(2);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        Pixels sum = {_mm512_setzero_si512(), _mm512_setzero_si512()};
        const uint8_t *rows[2] = {top, bottom};
        uint8_t *lumas[2] = {topLuma, bottomLuma};
        for (int i = 0; i < 2; ++i) {
            __m512i a, b;
            load96(rows[i] + size_t(x) * 3, a, b);
            const Pixels first = gather(a, b, 0), second = gather(a, b, 1);
            // Words Y0 | Y1 << 8 in pixel order.
            const __m512i words = _mm512_or_si512(luma(first), _mm512_slli_epi32(luma(second), 8));
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(lumas[i] + x),
                                _mm512_cvtepi32_epi16(words));
            // Sums of 4 values below 1024 in each 16-bit half.
            sum.blueGreen = _mm512_add_epi16(sum.blueGreen,
                                             _mm512_add_epi16(first.blueGreen, second.blueGreen));
            sum.greenRed =
                _mm512_add_epi16(sum.greenRed, _mm512_add_epi16(first.greenRed, second.greenRed));
        }
        // (sum + 2) >> 2: the scalar code's rounded mean of 4.
        const Pixels mean = {_mm512_srli_epi16(_mm512_add_epi16(sum.blueGreen, two), 2),
                             _mm512_srli_epi16(_mm512_add_epi16(sum.greenRed, two), 2)};
        const Chroma c = chroma(mean);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(u + x / 2), _mm512_cvtepi32_epi8(c.u));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(v + x / 2), _mm512_cvtepi32_epi8(c.v));
    }
    return x;
}

}  // namespace lumaghost::convert_kernels
