// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/media_services.h"

#include "desk/media/camera_controls.h"
#include "gst/media_graph.h"

namespace lumaghost {

HResult openDeviceControls(const BaseFilter &device, std::unique_ptr<CameraControls> &out) {
    if (device.kind() != FilterKind::V4l2)
        return E_NOINTERFACE;
    std::unique_ptr<V4l2Device> node;
    const HResult result = openV4l2Node(device.location(), node);
    if (result.failed())
        return result;
    out = std::make_unique<CameraControls>(std::move(node));
    return S_OK;
}

HResult createCameraGraph(const std::string &location, bool lumaghost,
                          const RendererSettings &settings, Post post,
                          std::unique_ptr<CameraGraph> &out) {
    return CameraGraph::create(location, lumaghost, settings, std::move(post), out);
}

MediaServices MediaServices::system() {
    MediaServices services;
    services.legacyFilters = createMediaDeviceEnumerator;
    services.openControls = openDeviceControls;
    services.cameraGraph = createCameraGraph;
    return services;
}

}  // namespace lumaghost
