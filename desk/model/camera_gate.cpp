// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/camera_gate.h"

namespace lumaghost {

HResult CameraGate::push(const FrameComposer &compose) {
    std::lock_guard lock(mutex_);
    return PushFrameToCamera(link_, compose);
}

HResult CameraGate::format(int32_t &width, int32_t &height) {
    std::lock_guard lock(mutex_);
    return GetCameraFormat(link_, width, height);
}

void CameraGate::run(const std::function<void(CameraLink &)> &exchange) {
    std::lock_guard lock(mutex_);
    exchange(link_);
}

}  // namespace lumaghost
