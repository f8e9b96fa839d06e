// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QUrl>

#include "camera/device_discovery.h"
#include "desk/dialogs/setup_main.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_control.h"
#include "desk/window/main_frame.h"
#include "lang/pack_ids.h"
#include "platform/paths.h"

namespace lumaghost {

namespace {

// A word a POSIX shell reads as it is written.
QString shellWord(const QString &text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:=@%-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

}  // namespace

struct CLumadeskView::CameraResult {
    CameraStart start;
};

CLumadeskView::CLumadeskView(DeskContext &context, CMainFrame &frame, QWidget *parent)
    : QAbstractScrollArea(parent), context_(context), frame_(frame) {
    setObjectName(QStringLiteral("LumadeskView"));
    setAccessibleName(context_.message(pack_ids::kPictureViewName));
    viewport()->setAccessibleName(context_.message(pack_ids::kPictureName));
    viewport()->setMouseTracking(true);
    // Reached by a click or Tab: the keys move the pick frame.
    setFocusPolicy(Qt::StrongFocus);
    readSettings();
    if (context_.environment.serviceManager)
        serviceControl_ = std::make_unique<PlayServiceControl>(
            *context_.environment.serviceManager, context_.paths.applicationFolder(), this);
}

CLumadeskView::~CLumadeskView() {
    if (cameraThread_.joinable())
        cameraThread_.join();
}

void CLumadeskView::readSettings() {
    settings_ = DeskSettings::read(context_.settings.snapshot());
}

/// \brief Starts the camera off the user-interface thread; the messages follow on it.
void CLumadeskView::startCamera() {
    if (cameraThread_.joinable())
        return;
    std::function<CameraStart()> start = context_.environment.startCamera;
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
    camera_.started = true;
    camera_.driverKey = std::move(start.driverKey);
    camera_.realCameras = std::move(start.realCameras);
    switch (start.outcome) {
        case CameraStart::Outcome::Ready:
            camera_.link = std::move(start.link);
            camera_.available = true;
            // A preview that cannot start is told; the camera takes its sources without it.
            if (RealCameraPart *realCamera = frame_.parts().realCamera();
                realCamera && !realCamera->setUpPreview(camera_.link))
                context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                             context_.message(msg::kInitializeFailed), MessageButtons::Ok,
                             MessageIcon::Warning);
            break;
        case CameraStart::Outcome::InitFailed:
            context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                         context_.message(msg::kInitializeFailed), MessageButtons::Ok,
                         MessageIcon::Warning);
            break;
        case CameraStart::Outcome::VersionMismatch:
            context_.ask(window(), appTitle(), context_.message(msg::kVersionMismatch),
                         MessageButtons::Ok, MessageIcon::Warning);
            break;
        case CameraStart::Outcome::NotFound:
            break;
    }
    frame_.setCameraItems(camera_.realCameras);
    // A source may have started meanwhile (a sequence from the command line).
    if (frame_.onCamera().kind == OnCamera::Kind::NoCamera)
        frame_.setOnCamera(camera_.available ? OnCamera::Kind::StoredImage
                                             : OnCamera::Kind::NoCamera);
    if (!camera_.available)
        reportMissingDriver();
    frame_.requestCommandUpdate();
    emit cameraStartFinished();
}

void CLumadeskView::reportMissingDriver() {
    VersionSource &versions =
        context_.environment.versions ? *context_.environment.versions : systemVersionSource();
    if (isNtOrMe(versions)) {
        context_.ask(window(), appTitle(),
                     withDetail(context_.message(msg::kCantFindDriver), cameraSetupAdvice()),
                     MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    if (context_.ask(window(), context_.message(pack_ids::kDriverErrorCaption),
                     context_.message(msg::kInstallDriverManually), MessageButtons::YesNo,
                     MessageIcon::Question) == MessageAnswer::Yes) {
        const QUrl url = helpUrl(QStringLiteral("install-driver"));
        if (!url.isEmpty())
            context_.environment.openUrl(url);
    }
}

QString CLumadeskView::cameraSetupAdvice() const {
    // Where the installer and its device description lie (the package's share/lumaghost),
    // it is run there; elsewhere the package is what installs the camera.
    const QString folder = context_.paths.setupFolder();
    if (folder.isEmpty())
        return context_.message(pack_ids::kInstallPackageDetail);
    const std::filesystem::path root = lumaghostRoot();
    QString command = QStringLiteral("cd ") + shellWord(folder) + QStringLiteral(" && ");
    if (!root.empty())
        command += QStringLiteral("LUMAGHOST_ROOT=") +
                   shellWord(QString::fromStdString(root.string())) + u' ';
    return context_.message(pack_ids::kRunSetupDetail, {command + QStringLiteral("./lumasetup")});
}

void CLumadeskView::openSequenceFile(const QString &path) {
    if (SequencePart *sequence = frame_.parts().sequence())
        sequence->openSequence(path);
}

void CLumadeskView::openPictureFile(const QString &path) {
    if (PicturePart *picture = frame_.parts().picture())
        picture->openPicture(path);
}

HResult CLumadeskView::playMovieFile(const QString &path, MoviePart::MovieStarted started) {
    MoviePart *movie = frame_.parts().movie();
    return movie ? movie->playMovieFile(path, std::move(started)) : E_NOTIMPL;
}

void CLumadeskView::ApplyStartType(bool autoStart) {
    if (serviceControl_)
        serviceControl_->applyStartType(autoStart);
}

void CLumadeskView::onSequenceMode() {
    frame_.toggleMode();
    if (PicturePart *picture = frame_.parts().picture(); picture && frame_.stripShown()) {
        picture->ensurePickFrameShown();
        // The pick frame, with the room around it that it was placed in, above the strip.
        const QRect pick = picture->pickFrame();
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
    const bool serviceAutoStart = settings_.serviceAutoStart;
    readSettings();
    if (settings_.serviceAutoStart != serviceAutoStart)
        ApplyStartType(settings_.serviceAutoStart);
    const int language = context_.settings.readInt(settings::kSettings, settings::kLanguage,
                                                   context_.packs.CurrentLanguageId());
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
        context_.ask(
            window(), tried,
            withDetail(context_.message(pack_ids::kNoHelpFile),
                       context_.message(pack_ids::kHelpFoldersDetail,
                                        {context_.paths.dataFolders().join(QStringLiteral(", "))})),
            MessageButtons::Ok, MessageIcon::Warning);
        return QUrl();
    }
    QUrl url = QUrl::fromLocalFile(file);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

void CLumadeskView::onHelpTopics() {
    const QUrl url = helpUrl();
    if (!url.isEmpty() && !context_.environment.openUrl(url))
        context_.ask(window(), url.toLocalFile(), context_.message(pack_ids::kNoHelpViewer),
                     MessageButtons::Ok, MessageIcon::Warning);
}

void CLumadeskView::onHomepage() {
    // The maker's page is the project's page of the help.
    const QUrl url = helpUrl(QStringLiteral("quillmoor"));
    if (!url.isEmpty() && !context_.environment.openUrl(url))
        context_.ask(window(), url.toLocalFile(), context_.message(pack_ids::kNoHelpViewer),
                     MessageButtons::Ok, MessageIcon::Warning);
}

void CLumadeskView::goToTray(bool force) {
    if (force || settings_.miniSizeToSystemTray)
        frame_.goToTray();
}

void CLumadeskView::paintEvent(QPaintEvent *event) {
    QPainter painter(viewport());
    if (PicturePart *picture = frame_.parts().picture())
        picture->paint(painter, event->rect());
    else
        painter.fillRect(event->rect(), palette().color(QPalette::Dark));
}

void CLumadeskView::mousePressEvent(QMouseEvent *event) {
    if (PicturePart *picture = frame_.parts().picture())
        picture->mousePress(*event);
    QAbstractScrollArea::mousePressEvent(event);
}

void CLumadeskView::mouseMoveEvent(QMouseEvent *event) {
    if (PicturePart *picture = frame_.parts().picture())
        picture->mouseMove(*event);
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CLumadeskView::mouseReleaseEvent(QMouseEvent *event) {
    if (PicturePart *picture = frame_.parts().picture())
        picture->mouseRelease(*event);
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void CLumadeskView::keyPressEvent(QKeyEvent *event) {
    // The arrow keys move the pick frame while it is shown, else they scroll.
    if (PicturePart *picture = frame_.parts().picture(); picture && picture->keyPress(*event))
        return;
    QAbstractScrollArea::keyPressEvent(event);
}

void CLumadeskView::scrollContentsBy(int dx, int dy) {
    if (PicturePart *picture = frame_.parts().picture())
        picture->scrolled(dx, dy);
    viewport()->update();
}

}  // namespace lumaghost
