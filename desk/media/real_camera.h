// SPDX-License-Identifier: LGPL-2.1-or-later
// Real-camera passthrough and the camera preview. A real camera (a V4L2 capture device or
// another Lumaghost device, never the camera Lumadesk feeds) passes through the view's shared
// graph into the camera with the movie fit; the preview shows the camera in the "PreView"
// window, beside whatever feeds it.
#pragma once

#include <memory>
#include <mutex>

#include <QImage>
#include <QObject>
#include <QPointer>

#include "desk/media/media_services.h"
#include "desk/media/preview_window.h"
#include "desk/model/part_context.h"
#include "desk/model/parts.h"
#include "gst/media_graph.h"

namespace lumaghost {

class MoviePlayer;

class RealCamera final : public QObject, public RealCameraPart {
    Q_OBJECT
public:
    /// Passthrough in `movie`'s graph; the preview shows in the window's `preview`.
    RealCamera(const PartContext &part, MoviePlayer &movie, PreviewWindow &preview,
               MediaServices services);
    /// The preview graph stops; its window hides.
    ~RealCamera() override;

    bool setUpPreview(CameraLink &link) override;
    bool previewReady() const override { return preview_ != nullptr; }
    void setupRealCamera() override;
    /// Passes real camera `index` through into the camera, once its graph has started;
    /// msg::kCannotConnectCamera when it cannot, and then no graph remains.
    void switchToRealCamera(int index) override;
    void startPreview() override;
    void stopPreview() override;
    bool isPreviewing() const override { return previewing_; }
    int selectedCamera() const override { return selected_; }

    PreviewWindow *previewWindow() const { return &window_; }
    PreviewGraph *previewGraph() const { return preview_.get(); }

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();

private:
    /// The newest preview frame, handed from the streaming thread to this one.
    struct Mailbox {
        std::mutex mutex;  // guards frame and pending
        QImage frame;
        bool pending = false;
    };
    void deliverPreviewFrame();
    /// Message 154; the graph goes.
    void cannotConnect();
    /// The preview's place: the pick frame's left and top as a screen position, its size.
    QRect previewPlace() const;

    PartContext part_;
    DeskContext &context_;
    QPointer<MoviePlayer> movie_;
    PreviewWindow &window_;
    MediaServices services_;
    int selected_ = -1;
    bool previewing_ = false;
    std::unique_ptr<PreviewGraph> preview_;
    std::shared_ptr<Mailbox> mailbox_ = std::make_shared<Mailbox>();
};

}  // namespace lumaghost
