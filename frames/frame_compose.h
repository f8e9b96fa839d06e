// SPDX-License-Identifier: LGPL-2.1-or-later
// Camera frames from pictures: the fit of a picture into a black camera-sized surface, the
// reading of a surface into a frame (bottom row first, blue-green-red) and the picked region of
// the picture view. The exchange with the camera around them is pushFrameToCamera's
// (camera/camera_link.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "frames/fit_geometry.h"

namespace lumaghost {

/// A top-down image of 32-bit pixels (bytes blue, green, red, unused), rows `stride` bytes apart.
struct ImageView {
    const uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

/// A camera frame in memory, such as the frame buffer a camera hands out: `height` rows of
/// `width` pixels of blue, green, red, the bottom row first, in `byteCount` bytes at `pixels`.
struct CameraFrame {
    uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t byteCount = 0;
};

/// Reads the rectangle of a surface into a camera frame: its bottom row first, each pixel as
/// blue, green, red. Pixels outside the surface read as black; at most `frameBytes` are written.
void readSurfaceIntoFrame(const ImageView &surface, const Rect &rect, uint8_t *frame,
                          size_t frameBytes);

/// Draws a picture (at its natural size) into a black surface of the frame's size by the
/// switches, scaling with the resampler, and reads the surface into the frame.
void composePictureFrame(const ImageView &picture, const CameraFrame &frame, FitFlags flags);

/// The picture view's pick frame, in view coordinates, as left, top, right, bottom.
struct PickFrame {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool shown = false;
};

/// Re-centres a pick frame that is hidden or not of the camera's width at the camera size,
/// and marks it shown.
void placePickFrame(PickFrame &pick, int cameraWidth, int cameraHeight);

/// Reads the camera-sized rectangle under the pick frame of an image of the view into the
/// frame (placing the pick frame first).
void capturePickedRegion(const ImageView &view, PickFrame &pick, const CameraFrame &frame);

}  // namespace lumaghost
