// SPDX-License-Identifier: LGPL-2.1-or-later
// What the vector conversions share: the byte shuffles that take 4 pixels of a 128-bit lane
// apart, and the exact division of the BT.601 sums.
#pragma once

#include <cstdint>

#include "frames/frame_convert.h"

namespace lumaghost::convert_kernels {

// A lane holds 16 bytes of which 12 (4 pixels) are used, from byte 0 or, for the last lane of
// a group that would otherwise read past it, byte 4.
template <int Lanes>
struct ShuffleMask {
    alignas(64) int8_t bytes[16 * Lanes];
};

// Zero-extends channel c (0 blue, 1 green, 2 red) of each of a lane's 4 pixels to 32 bits.
template <int Lanes>
constexpr ShuffleMask<Lanes> channelMask(int channel, bool lastLaneShifted) {
    ShuffleMask<Lanes> m{};
    for (int j = 0; j < 16 * Lanes; ++j) {
        const int k = j % 16, offset = lastLaneShifted && j / 16 == Lanes - 1 ? 4 : 0;
        m.bytes[j] = k % 4 == 0 ? int8_t(offset + 3 * (k / 4) + channel) : int8_t(-128);
    }
    return m;
}

// A lane's 4 pixels as blue, green, red, 0.
template <int Lanes>
constexpr ShuffleMask<Lanes> bgrxMask(bool lastLaneShifted) {
    ShuffleMask<Lanes> m{};
    for (int j = 0; j < 16 * Lanes; ++j) {
        const int k = j % 16, offset = lastLaneShifted && j / 16 == Lanes - 1 ? 4 : 0;
        m.bytes[j] = k % 4 < 3 ? int8_t(offset + 3 * (k / 4) + k % 4) : int8_t(-128);
    }
    return m;
}

// floor(n / 255000) == (n * kDivisor) >> kDivisorShift for every n below 2^27; the sums with
// their offsets stay below 2^26.
inline constexpr uint64_t kDivisor = 2207646877;
inline constexpr int kDivisorShift = 49;
static_assert(kDivisor == ((uint64_t(1) << kDivisorShift) + yuv601::kScale - 1) / yuv601::kScale);

inline constexpr int biasOf(const yuv601::Row &row) {
    return row.offset * yuv601::kScale + yuv601::kScale / 2;
}

}  // namespace lumaghost::convert_kernels
