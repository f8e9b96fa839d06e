// SPDX-License-Identifier: LGPL-2.1-or-later
// A client's connection to the camera: its capture filter and the filter's property channel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "camera/capture_devices.h"
#include "device/camera_protocol.h"
#include "platform/hresult.h"

namespace lumaghost {

/// The FriendlyName of the camera our programs feed unless told another.
inline constexpr char kCameraName[] = "Lumaghost";

struct CameraLink {
    std::unique_ptr<BaseFilter> captureFilter;
    PropertySet *properties = nullptr;  // owned by captureFilter

    bool isOpen() const { return captureFilter && properties; }
};

/// Finds the camera "Lumaghost", obtains its property channel and accepts only driver version
/// 0x00090000. On failure the link stays closed.
HResult openCameraLink(CameraLink &link);
/// The same for a camera of another name.
HResult openCameraLink(CameraLink &link, std::string_view friendlyName);

/// Fetches the driver's current frame buffer and frame size.
HResult getFrameDescriptor(CameraLink &link, FrameDescriptor &descriptor);

/// Hands the descriptor back, exactly as fetched: the buffer becomes the camera's next picture.
HResult commitFrame(CameraLink &link, FrameDescriptor &descriptor);

/// The camera's frame size, without touching the frame buffer.
HResult getCameraFormat(CameraLink &link, int32_t &width, int32_t &height);

/// Fetches the frame descriptor, lets `compose` fill the buffer, commits it. A failed compose
/// abandons the frame and its code is returned.
using FrameComposer = std::function<HResult(const FrameDescriptor &)>;
HResult pushFrameToCamera(CameraLink &link, const FrameComposer &compose);

}  // namespace lumaghost
