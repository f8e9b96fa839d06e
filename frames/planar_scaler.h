// SPDX-License-Identifier: LGPL-2.1-or-later
// Planar 4:2:0 video (I420, NV12) scaled and converted into camera frame rows (blue, green,
// red) in one pass: the luma and chroma planes are filtered by the resampler's triangle taps
// (the chroma's taps being those of the luma position each chroma sample covers, as if it were
// repeated over its 2 x 2 block first), and every output pixel is converted once, from the
// filtered values. Since the conversion is affine, the result is that of converting the frame to
// 32-bit pixels first and resampling them, within rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frames/fit_geometry.h"

namespace lumaghost {

enum class PlanarLayout { I420, Nv12 };

/// The colour matrix of a YUV frame: Kr and Kb (BT.601: 0.299, 0.114; BT.709: 0.2126, 0.0722),
/// and whether it takes the full range of 8 bits or the limited 16-235 / 16-240.
struct YuvColours {
    double kr = 0.299;
    double kb = 0.114;
    bool fullRange = false;
    friend bool operator==(const YuvColours &, const YuvColours &) = default;
};

/// A top-down planar frame: Y, then U and V (I420) or UV interleaved (NV12, `planes[2]` unused),
/// the chroma at half size rounded up.
struct PlanarFrame {
    PlanarLayout layout = PlanarLayout::I420;
    int width = 0;
    int height = 0;
    const uint8_t *planes[3] = {nullptr, nullptr, nullptr};
    ptrdiff_t strides[3] = {0, 0, 0};
    YuvColours colours;
};

/// The integer conversion both paths share: values in 1/64 of a level, coefficients in 2^-14.
struct YuvMatrix {
    int32_t lumaScale = 0;  // per level of luma above its black
    int32_t lumaBlack = 0;  // the luma of black, in 1/64 levels
    int32_t redFromV = 0, greenFromU = 0, greenFromV = 0, blueFromU = 0;
    static YuvMatrix of(const YuvColours &colours);
};

enum class PlanarPath { Scalar, Avx512 };
bool planarPathAvailable(PlanarPath path);
PlanarPath fastestPlanarPath();

/// Converts rectangle `part` of the frame, read as a bottom-up bitmap (bitmap row i is the
/// frame's row height - 1 - i), into 32-bit pixels (blue, green, red, 0) at `out`, rows
/// `outStride` bytes apart: each pixel with the chroma of its 2 x 2 block.
void planarToBgrx(const PlanarFrame &frame, Rect part, uint8_t *out, ptrdiff_t outStride);

class PlanarScaler {
public:
    PlanarScaler();
    ~PlanarScaler();
    PlanarScaler(const PlanarScaler &) = delete;
    PlanarScaler &operator=(const PlanarScaler &) = delete;

    /// Builds the taps that scale rectangle `part` of such frames (in bitmap order, as
    /// planarToBgrx reads it) to width x height pixels, unless they are those built last.
    /// False for an empty or out-of-frame part or size. Not to be called while scaleRows runs.
    bool prepare(const PlanarFrame &frame, Rect part, int width, int height);
    /// Writes destination rows [firstRow, firstRow + rowCount) of the prepared scaling of
    /// `frame` (of the prepared size and layout) as 3-byte pixels into rows
    /// `destinationStride` bytes apart from `destination` on; nothing else is written. Calls for
    /// other rows may run at once on other threads; rows are byte for byte those of one call,
    /// on every path.
    void scaleRows(const PlanarFrame &frame, uint8_t *destination, ptrdiff_t destinationStride,
                   int firstRow, int rowCount, PlanarPath path = fastestPlanarPath()) const;
    /// The prepared destination size.
    int width() const;
    int height() const;

    struct Plan;

private:
    std::unique_ptr<Plan> plan_;
};

}  // namespace lumaghost
