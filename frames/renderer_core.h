// SPDX-License-Identifier: LGPL-2.1-or-later
// The renderer's per-frame work, apart from any media framework: an input frame of 24- or
// 32-bit pixels is cropped, scaled and copied into the camera frame by the fit switches.
//
// The input arrives top-down; it is read as a bottom-up bitmap (its last row first), so the fit
// geometry runs in the bitmap's memory order and the picture arrives upright in the camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frames/fit_geometry.h"
#include "frames/planar_scaler.h"
#include "platform/hresult.h"

namespace lumaghost {

struct InputFrame {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 4;             // 4 (blue, green, red, unused) or 3 (blue, green, red)
    const uint8_t *topDown = nullptr;  // the first row shown at the top
    ptrdiff_t stride = 0;              // bytes from one row to the next
    /// A planar 4:2:0 frame instead of the pixels above (its size is width x height): scaled
    /// and converted in one pass where the placed rectangle lies wholly inside the camera frame.
    const PlanarFrame *planar = nullptr;
};

class RendererCore {
public:
    RendererCore();

    /// The first sample's sizing: the work buffers grow to the camera's and the input's size.
    void sizeBuffers(int cameraWidth, int cameraHeight, const InputFrame &input);
    /// Composes the input into a camera frame of the given size (bottom row first, blue-green-red);
    /// pixels outside the placed rectangle are not written. E_FAIL for an unusable input.
    HResult compose(const InputFrame &input, FitFlags flags, uint8_t *frame, int cameraWidth,
                    int cameraHeight, size_t frameBytes);

    /// Threads the scaling's destination rows are split across (0: one per processor); the
    /// frames are byte for byte those of one thread.
    void setThreadCount(unsigned threads) { threads_ = threads; }
    unsigned threadCount() const { return threads_; }

    size_t scaledCapacity() const { return scaledCapacity_; }
    size_t sourceCapacity() const { return sourceCapacity_; }

private:
    template <typename Rows>
    void inBands(int rows, const Rows &band) const;
    void growScaled(size_t pixels);
    void growSource(size_t pixels);
    void resample(const uint8_t *source, int sourceWidth, int sourceHeight, ptrdiff_t sourceStride,
                  uint8_t *destination, int destinationWidth, int destinationHeight,
                  ptrdiff_t destinationStride, int bytesPerPixel) const;

    std::vector<uint8_t> scaled_;  // destination of every scaling, 32-bit pixels
    size_t scaledCapacity_ = 0;    // in pixels
    std::vector<uint8_t> source_;  // the input in 32 bits, or its cropped part
    size_t sourceCapacity_ = 0;
    unsigned threads_ = 1;
    PlanarScaler planar_;
};

}  // namespace lumaghost
