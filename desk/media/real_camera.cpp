// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/real_camera.h"

#include <QGuiApplication>
#include <QScreen>

#include "camera/device_discovery.h"
#include "desk/media/camera_properties_dialog.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/model/camera_state.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_command.h"
#include "lang/pack_ids.h"

namespace lumaghost {

RealCamera::RealCamera(const PartContext &part, MoviePlayer &movie, PreviewWindow &preview,
                       MediaServices services)
    : part_(part),
      context_(part.desk),
      movie_(&movie),
      window_(preview),
      services_(std::move(services)) {
    // Its close box stops the preview as the Camera menu's Stop does.
    connect(&window_, &PreviewWindow::closeRequested, this, &RealCamera::stopPreview);
}

RealCamera::~RealCamera() {
    preview_.reset();
    window_.hide();
}

/// \brief The preview graph on the camera the view's link opened, and its hidden window.
bool RealCamera::setUpPreview(CameraLink &link) {
    const std::string device =
        link.captureFilter ? link.captureFilter->friendlyName() : kCameraName;
    std::shared_ptr<Mailbox> mailbox = mailbox_;
    auto onFrame = [this, mailbox](const uint8_t *pixels, int width, int height, int stride) {
        QImage frame = QImage(pixels, width, height, stride, QImage::Format_BGR888).copy();
        bool wake = false;
        {
            std::lock_guard lock(mailbox->mutex);
            mailbox->frame = std::move(frame);
            wake = !mailbox->pending;
            mailbox->pending = true;
        }
        // One delivery at a time: a busy user-interface thread gets the newest frame only.
        if (wake)
            QMetaObject::invokeMethod(
                this, [this] { deliverPreviewFrame(); }, Qt::QueuedConnection);
    };
    Post post = [this](std::function<void()> task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    };
    preview_.reset();
    if (PreviewGraph::create(device, onFrame, post, preview_).failed())
        return false;
    preview_->setEventHandler([this](const GraphEvent &event) {
        if (event.type != GraphEvent::Error || !previewing_)
            return;
        previewing_ = false;
        window_.hide();
        (void)preview_->stop();
        emit stateChanged();
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(msg::kCannotShowPreview), MessageButtons::Ok,
                     MessageIcon::Warning);
    });
    return true;
}

void RealCamera::deliverPreviewFrame() {
    QImage frame;
    {
        std::lock_guard lock(mailbox_->mutex);
        frame = std::move(mailbox_->frame);
        mailbox_->pending = false;
    }
    if (previewing_ && !frame.isNull())
        window_.showFrame(frame);
}

QRect RealCamera::previewPlace() const {
    QSize size;
    if (PicturePart *picture = part_.parts.picture())
        size = picture->pickFrame().size();
    if (size.isEmpty()) {
        int32_t width = 320, height = 240;
        (void)getCameraFormat(part_.camera.link, width, height);
        size = QSize(width, height);
    }
    // Beside the main window, on its screen: never over its menu bar.
    const QWidget *main = part_.window;
    const QScreen *screen = main->screen() ? main->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size);
    const QRect frame = main->frameGeometry();
    // The window's frame is the window manager's: the client area goes inside it.
    const QMargins decoration(0, std::max(0, main->geometry().top() - frame.top()), 0, 0);
    const QRect outer = PreviewWindow::placeBeside(frame, size.grownBy(decoration), area);
    return outer.marginsRemoved(decoration);
}

/// \brief Camera menu "&Preview": the window of the pick frame's size beside the main window,
/// showing what the camera shows.
void RealCamera::startPreview() {
    if (previewing_)
        return;
    if (!preview_) {
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(msg::kCannotShowPreview), MessageButtons::Ok,
                     MessageIcon::Warning);
        return;
    }
    previewing_ = true;
    window_.setGeometry(previewPlace());
    window_.show();
    window_.raise();
    if (preview_->run().failed())
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(msg::kCannotShowPreview), MessageButtons::Ok,
                     MessageIcon::Warning);
    emit stateChanged();
}

void RealCamera::stopPreview() {
    if (!previewing_)
        return;
    previewing_ = false;
    window_.hide();
    if (preview_ && preview_->stop().failed())
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(pack_ids::kCameraStopError), MessageButtons::Ok,
                     MessageIcon::Error);
    emit stateChanged();
}

void RealCamera::setupRealCamera() {
    CDialogRealCameraSetup dialog(context_, part_.camera.realCameras, services_.openControls,
                                  part_.window);
    dialog.exec();
}

void RealCamera::switchToRealCamera(int index) {
    const std::vector<std::string> &cameras = part_.camera.realCameras;
    if (index < 0 || size_t(index) >= cameras.size())
        return;
    stopPlayServiceIfRunning(part_.service);
    part_.parts.stopCameraSources();
    selected_ = index;
    emit stateChanged();
    if (!movie_)
        return;

    const std::string name = cameras[size_t(index)];
    std::unique_ptr<BaseFilter> device;
    if (findFilterByName(CLSID_VideoInputDeviceCategory, name, device).failed()) {
        cannotConnect();
        return;
    }
    // Another Lumaghost device is read through its frame channel, a V4L2 camera through its node.
    const bool lumaghost = device->kind() == FilterKind::Lumaghost;
    std::unique_ptr<CameraGraph> graph;
    if (services_
            .cameraGraph(lumaghost ? name : device->location(), lumaghost,
                         movie_->rendererSettings(), movie_->post(), graph)
            .failed()) {
        cannotConnect();
        return;
    }
    movie_->runCameraGraph(std::move(graph), QString::fromStdString(name),
                           QString::fromStdString(device->location()),
                           [self = QPointer<RealCamera>(this)](bool started) {
                               if (!started && self)
                                   self->cannotConnect();
                           });
}

void RealCamera::cannotConnect() {
    if (movie_)
        movie_->stopGraphPlayback();
    context_.ask(part_.window, appTitle(), context_.message(msg::kCannotConnectCamera),
                 MessageButtons::Ok, MessageIcon::Warning);
}

}  // namespace lumaghost
