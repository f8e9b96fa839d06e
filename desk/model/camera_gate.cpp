// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/camera_gate.h"

#include <string>

namespace lumaghost {

HResult CameraGate::push(const FrameComposer &compose) {
    std::lock_guard lock(mutex_);
    return pushFrameToCamera(link_, compose);
}

HResult CameraGate::format(int32_t &width, int32_t &height) {
    std::lock_guard lock(mutex_);
    return getCameraFormat(link_, width, height);
}

bool CameraGate::followFormatChange(int32_t &width, int32_t &height) {
    std::lock_guard lock(mutex_);
    if (getCameraFormat(link_, width, height) != kCameraFormatChanged)
        return false;
    const std::string name =
        link_.captureFilter ? link_.captureFilter->friendlyName() : std::string(kCameraName);
    CameraLink fresh;
    if (openCameraLink(fresh, name).failed())
        return false;
    link_ = std::move(fresh);
    return getCameraFormat(link_, width, height).succeeded();
}

void CameraGate::run(const std::function<void(CameraLink &)> &exchange) {
    std::lock_guard lock(mutex_);
    exchange(link_);
}

}  // namespace lumaghost
