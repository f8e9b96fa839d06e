// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "camera/device_discovery.h"
#include "desk/dialogs/setup_main.h"
#include "desk/media/media_services.h"
#include "desk/model/desk_context.h"
#include "desk/service/play_service_control.h"
#include "desk/window/main_frame.h"
#include "desk/window/picture_parts.h"

namespace lumaghost {

namespace {
constexpr char kCameraFailedCaption[] = "DirectShow FAILED";
}

struct CLumadeskView::CameraResult {
    CameraStart start;
};

CLumadeskView::CLumadeskView(DeskContext &context, CMainFrame &frame, QWidget *parent)
    : QAbstractScrollArea(parent), context_(context), frame_(frame) {
    setObjectName(QStringLiteral("LumadeskView"));
    setAccessibleName(QStringLiteral("Picture view"));
    viewport()->setAccessibleName(QStringLiteral("Picture"));
    viewport()->setMouseTracking(true);
    // Reached by a click or Tab: the keys move the pick frame.
    setFocusPolicy(Qt::StrongFocus);
    readSettings();
    if (context_.services.serviceManager)
        serviceControl_ = std::make_unique<PlayServiceControl>(
            *context_.services.serviceManager, context_.paths.applicationFolder(), this);
    InstallPictureParts(*this, context_, frame_);
    installMediaParts(*this, context_, frame_);
}

CLumadeskView::~CLumadeskView() {
    if (cameraThread_.joinable())
        cameraThread_.join();
    // The parts stop their graphs, preview and workers while the camera link still exists.
    directory_.reset();
    movie_.reset();
    realCamera_.reset();
    sequence_.reset();
    picture_.reset();
    service_.reset();
    serviceControl_.reset();
}

void CLumadeskView::setPicturePart(std::unique_ptr<PicturePart> owner) {
    picture_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::setSequencePart(std::unique_ptr<SequencePart> owner) {
    sequence_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::setMoviePart(std::unique_ptr<MoviePart> owner) {
    movie_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::setRealCameraPart(std::unique_ptr<RealCameraPart> owner) {
    realCamera_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::setDirectoryPart(std::unique_ptr<DirectoryPart> owner) {
    directory_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::setServicePart(std::unique_ptr<ServicePart> owner) {
    service_ = std::move(owner);
    commandStateChanged();
}

void CLumadeskView::commandStateChanged() {
    frame_.requestCommandUpdate();
}

void CLumadeskView::reportOnCamera(const OnCamera &source) {
    frame_.setOnCamera(source);
}

void CLumadeskView::stopCameraSources() {
    if (movie_)
        movie_->stopGraphPlayback();
    if (sequence_ && sequence_->isPlaying())
        sequence_->stop();
}

void CLumadeskView::readSettings() {
    using namespace settings;
    const SettingsSnapshot stored = context_.settings.snapshot();
    settings_.serviceAutoStart = stored.readInt(kSettings, kServiceAutoStart);
    settings_.autoSetLastImage = stored.readInt(kSettings, kAutoSetLastImage);
    settings_.autoSaveSequenceForNext = stored.readInt(kSettings, kAutoSaveSequenceForNext);
    settings_.miniSizeToSystemTray = stored.readInt(kSettings, kMiniSizeToSystemTray);
    settings_.stretch = stored.readInt(kSettings, kStretch);
    settings_.keepRatio = stored.readInt(kSettings, kKeepRatio);
    settings_.center = stored.readInt(kSettings, kCenter);
}

/// \brief Starts the camera off the user-interface thread; the messages follow on it.
void CLumadeskView::startCamera() {
    if (cameraThread_.joinable())
        return;
    std::function<CameraStart()> start = context_.services.startCamera;
    cameraThread_ = std::thread([this, start] {
        auto result = std::make_shared<CameraResult>();
        if (start)
            result->start = start();
        QMetaObject::invokeMethod(
            this, [this, result] { finishCameraStart(result); }, Qt::QueuedConnection);
    });
}

void CLumadeskView::finishCameraStart(std::shared_ptr<CameraResult> result) {
    cameraThread_.join();
    CameraStart &start = result->start;
    cameraStarted_ = true;
    driverKey_ = std::move(start.driverKey);
    realCameras_ = std::move(start.realCameras);
    switch (start.outcome) {
        case CameraStart::Outcome::Ready:
            cameraLink_ = std::move(start.link);
            // The preview on the camera belongs to its start: without it there is no camera.
            if (realCamera_ && !realCamera_->setUpPreview(cameraLink_)) {
                context_.ask(nullptr, QString::fromLatin1(kCameraFailedCaption),
                             context_.message(173), MessageButtons::Ok, MessageIcon::Warning);
                cameraLink_ = CameraLink();
            } else {
                cameraAvailable_ = true;
            }
            break;
        case CameraStart::Outcome::InitFailed:
            context_.ask(nullptr, QString::fromLatin1(kCameraFailedCaption), context_.message(173),
                         MessageButtons::Ok, MessageIcon::Warning);
            break;
        case CameraStart::Outcome::VersionMismatch:
            context_.ask(window(), CMainFrame::appTitle(), context_.message(149),
                         MessageButtons::Ok, MessageIcon::Warning);
            break;
        case CameraStart::Outcome::NotFound:
            break;
    }
    frame_.setCameraItems(realCameras_);
    // A source may have started meanwhile (a sequence from the command line).
    if (frame_.onCamera().kind == OnCamera::Kind::NoCamera)
        reportOnCamera({cameraAvailable_ ? OnCamera::Kind::StoredImage : OnCamera::Kind::NoCamera});
    if (!cameraAvailable_)
        reportMissingDriver();
    frame_.requestCommandUpdate();
    emit cameraStartFinished();
}

void CLumadeskView::reportMissingDriver() {
    VersionSource &versions =
        context_.services.versions ? *context_.services.versions : systemVersionSource();
    if (IsNtOrMe(versions)) {
        context_.ask(window(), CMainFrame::appTitle(), context_.message(170), MessageButtons::Ok,
                     MessageIcon::Warning);
        return;
    }
    if (context_.ask(window(), QStringLiteral("Driver Error"), context_.message(171),
                     MessageButtons::YesNo, MessageIcon::Question) == MessageAnswer::Yes) {
        const QUrl url = helpUrl(QStringLiteral("install-driver"));
        if (!url.isEmpty())
            context_.services.openUrl(url);
    }
}

void CLumadeskView::openSequenceFile(const QString &path) {
    if (sequence_)
        sequence_->openSequence(path);
}

void CLumadeskView::openPictureFile(const QString &path) {
    if (picture_)
        picture_->openPicture(path);
}

HResult CLumadeskView::playMovieFile(const QString &path) {
    return movie_ ? movie_->playMovieFile(path) : E_NOTIMPL;
}

void CLumadeskView::ApplyStartType(bool autoStart) {
    if (serviceControl_)
        serviceControl_->applyStartType(autoStart);
}

void CLumadeskView::onSequenceMode() {
    frame_.toggleMode();
    if (frame_.stripShown() && picture_) {
        picture_->ensurePickFrameShown();
        // The pick frame, with the room around it that it was placed in, above the strip.
        const QRect pick = picture_->pickFrame();
        if (!pick.isEmpty())
            frame_.growViewTo(pick.bottom() + 1 + std::max(0, pick.top()));
    }
    viewport()->update();
}

void CLumadeskView::onSetup() {
    {
        CSetupMain dialog(context_, frame_.trayAvailable(), window());
        dialog.exec();
    }
    applySetupResult();
}

void CLumadeskView::applySetupResult() {
    const int serviceAutoStart = settings_.serviceAutoStart;
    readSettings();
    if (settings_.serviceAutoStart != serviceAutoStart)
        ApplyStartType(settings_.serviceAutoStart != 0);
    const int language = context_.settings.readInt(settings::kSettings, settings::kLanguage,
                                                   settings::kSetupLanguageDefault);
    if (language != context_.packs.CurrentLanguageId()) {
        context_.packs.SelectLanguage(uint32_t(language));
        frame_.applyLanguage();
    }
    frame_.requestCommandUpdate();
}

QUrl CLumadeskView::helpUrl(const QString &fragment) {
    QString tried;
    const QString file = context_.paths.findHelpFile(context_.packs.CurrentLanguageId(), &tried);
    if (file.isEmpty()) {
        context_.ask(window(), tried, QStringLiteral("Can't find help file"), MessageButtons::Ok,
                     MessageIcon::Warning);
        return QUrl();
    }
    QUrl url = QUrl::fromLocalFile(file);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

void CLumadeskView::onHelpTopics() {
    const QUrl url = helpUrl();
    if (!url.isEmpty() && !context_.services.openUrl(url))
        context_.ask(window(), url.toLocalFile(),
                     QStringLiteral("No program is set up to show this help file"),
                     MessageButtons::Ok, MessageIcon::Warning);
}

void CLumadeskView::onHomepage() {
    // The maker's page is the project's page of the help.
    const QUrl url = helpUrl(QStringLiteral("quillmoor"));
    if (!url.isEmpty() && !context_.services.openUrl(url))
        context_.ask(window(), url.toLocalFile(),
                     QStringLiteral("No program is set up to show this help file"),
                     MessageButtons::Ok, MessageIcon::Warning);
}

void CLumadeskView::goToTray(bool force) {
    if (force || settings_.miniSizeToSystemTray != 0)
        frame_.goToTray();
}

void CLumadeskView::paintEvent(QPaintEvent *event) {
    QPainter painter(viewport());
    if (picture_)
        picture_->paint(painter, event->rect());
    else
        painter.fillRect(event->rect(), palette().color(QPalette::Dark));
}

void CLumadeskView::mousePressEvent(QMouseEvent *event) {
    if (picture_)
        picture_->mousePress(*event);
    QAbstractScrollArea::mousePressEvent(event);
}

void CLumadeskView::mouseMoveEvent(QMouseEvent *event) {
    if (picture_)
        picture_->mouseMove(*event);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CLumadeskView::mouseReleaseEvent(QMouseEvent *event) {
    if (picture_)
        picture_->mouseRelease(*event);
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CLumadeskView::keyPressEvent(QKeyEvent *event) {
    // The arrow keys move the pick frame while it is shown, else they scroll.
    if (picture_ && picture_->keyPress(*event))
        return;
    QAbstractScrollArea::keyPressEvent(event);
}

void CLumadeskView::scrollContentsBy(int dx, int dy) {
    if (picture_)
        picture_->scrolled(dx, dy);
    viewport()->update();
}

}  // namespace lumaghost
