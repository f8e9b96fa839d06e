// SPDX-License-Identifier: LGPL-2.1-or-later
// The camera as its start left it: the open link, the driver key and the real cameras. The view
// fills it once the start has finished; the parts read it, and it outlives them.
#pragma once

#include <string>
#include <vector>

#include "camera/camera_link.h"

namespace lumaghost {

struct CameraState {
    CameraLink link;
    std::string driverKey;
    /// Every video input but the camera itself, in enumeration order.
    std::vector<std::string> realCameras;
    /// The start has finished, with its messages.
    bool started = false;
    /// The link is open and its preview set up.
    bool available = false;
};

}  // namespace lumaghost
