// SPDX-License-Identifier: LGPL-2.1-or-later
// The view's camera link as its users share it: the picture view on the user-interface thread
// and the sequence worker on its own. The link hands out one frame at a time, so every exchange
// (fetch, fill, commit) runs whole under one lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "camera/camera_link.h"

namespace lumaghost {

class CameraGate {
public:
    explicit CameraGate(CameraLink &link) : link_(link) {}
    CameraGate(const CameraGate &) = delete;
    CameraGate &operator=(const CameraGate &) = delete;

    /// pushFrameToCamera under the lock.
    HResult push(const FrameComposer &compose);
    /// getCameraFormat under the lock.
    HResult format(int32_t &width, int32_t &height);
    /// Whether the camera took another frame size since the link was opened; if so the link is
    /// opened again, and `width` and `height` are the new size. A push or fetch answered with
    /// kCameraFormatChanged leads here.
    bool followFormatChange(int32_t &width, int32_t &height);
    /// Runs `exchange` on the link under the lock, for exchanges of another shape.
    void run(const std::function<void(CameraLink &)> &exchange);

private:
    std::mutex mutex_;  // guards every exchange on link_
    CameraLink &link_;
};

}  // namespace lumaghost
