// Camera frames from pictures: the fit of a picture into a black camera-sized surface, the
// reading of a surface into a frame (bottom row first, blue-green-red), the picked region of
// the picture view, and the fetch-compose-commit exchange with the camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "camera/camera_link.h"
#include "frames/fit_geometry.h"
#include "platform/hresult.h"

namespace lumaghost {

/// A top-down image of 32-bit pixels (bytes blue, green, red, unused), rows `stride` bytes apart.
struct ImageView {
    const uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

/// Reads the rectangle of a surface into a camera frame: its bottom row first, each pixel as
/// blue, green, red. Pixels outside the surface read as black; at most `frameBytes` are written.
void ReadSurfaceIntoFrame(const ImageView &surface, const Rect &rect, uint8_t *frame,
                          size_t frameBytes);

/// Fetches the frame descriptor, lets `compose` fill the buffer, commits it. A failed compose
/// abandons the frame and its code is returned.
using FrameComposer = std::function<HResult(const FrameDescriptor &)>;
HResult PushFrameToCamera(CameraLink &link, const FrameComposer &compose);

/// Draws a picture (at its natural size) into a black surface of the descriptor's size by the
/// switches, scaling with the resampler, and reads the surface into the descriptor's buffer.
void ComposePictureFrame(const ImageView &picture, const FrameDescriptor &descriptor,
                         FitFlags flags);

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
void PlacePickFrame(PickFrame &pick, int cameraWidth, int cameraHeight);

/// Reads the camera-sized rectangle under the pick frame of an image of the view into the
/// descriptor's buffer (placing the pick frame first).
void CapturePickedRegion(const ImageView &view, PickFrame &pick, const FrameDescriptor &descriptor);

}  // namespace lumaghost
