// SPDX-License-Identifier: LGPL-2.1-or-later
// What the media parts (movie playback, real-camera passthrough and its preview, directory
// playback) ask of their surroundings, so that tests can stand in for it.
#pragma once

#include <functional>
#include <memory>

#include <string>

#include "camera/capture_devices.h"
#include "gst/media_graph.h"
#include "platform/hresult.h"

namespace lumaghost {

class CameraControls;

/// Opens the controls of a video input device; E_NOINTERFACE for a device without any.
using ControlsOpener =
    std::function<HResult(const BaseFilter &device, std::unique_ptr<CameraControls> &out)>;

/// Builds a real camera's passthrough graph: `location` is a V4L2 node, or the name of another
/// Lumaghost camera when `lumaghost`.
using CameraGraphFactory = std::function<HResult(const std::string &location, bool lumaghost,
                                                 const RendererSettings &settings, Post post,
                                                 std::unique_ptr<CameraGraph> &out)>;

HResult createCameraGraph(const std::string &location, bool lumaghost,
                          const RendererSettings &settings, Post post,
                          std::unique_ptr<CameraGraph> &out);

/// A V4L2 device's controls through its node; other devices have none.
HResult openDeviceControls(const BaseFilter &device, std::unique_ptr<CameraControls> &out);

struct MediaServices {
    /// The legacy filter category (GStreamer's elements by long name), where the RealMedia
    /// demuxer is looked for.
    DeviceEnumeratorFactory legacyFilters;
    /// A real camera's controls for its property dialog.
    ControlsOpener openControls = openDeviceControls;
    /// A real camera's passthrough graph.
    CameraGraphFactory cameraGraph = createCameraGraph;
    /// How long a new graph may take to show its first frame before it counts as failed.
    int graphStartTimeoutMs = 10000;

    /// GStreamer's element registry and the kernel's V4L2 nodes.
    static MediaServices system();
};

}  // namespace lumaghost
