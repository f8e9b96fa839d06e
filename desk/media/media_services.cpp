// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/media_services.h"

#include <QThreadPool>

#include "desk/media/camera_controls.h"
#include "desk/media/directory_player.h"
#include "desk/media/movie_player.h"
#include "desk/media/real_camera.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
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

MediaServices MediaServices::system() {
    MediaServices services;
    services.legacyFilters = createMediaDeviceEnumerator;
    services.openControls = openDeviceControls;
    return services;
}

/// \brief The three parts, sharing the movie part's graph: the real camera runs its
/// passthrough there and Stop Above ends directory playback there.
void installMediaParts(CLumadeskView &view, DeskContext &context, CMainFrame &frame,
                       MediaServices services) {
    // GStreamer reads its plugin registry once; off this thread, so the window opens at once.
    // The exit waits for the pool.
    QThreadPool::globalInstance()->start([] { (void)initMediaGraphs(); });
    auto movie = std::make_unique<MoviePlayer>(view, context, frame, services);
    auto directory = std::make_unique<DirectoryPlayer>(view, context);
    movie->setDirectoryPlayer(directory.get());
    auto camera = std::make_unique<RealCamera>(view, context, *movie, services);
    // Nothing feeds the camera, and no preview runs, once the window has closed.
    QObject::connect(&frame, &CMainFrame::closed, movie.get(), &MoviePlayer::stopGraphPlayback);
    QObject::connect(&frame, &CMainFrame::closed, directory.get(), &DirectoryPlayer::stop);
    QObject::connect(&frame, &CMainFrame::closed, camera.get(), &RealCamera::stopPreview);
    view.setMoviePart(std::move(movie));
    view.setRealCameraPart(std::move(camera));
    view.setDirectoryPart(std::move(directory));
}

}  // namespace lumaghost
