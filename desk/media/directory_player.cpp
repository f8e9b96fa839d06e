// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/directory_player.h"

#include <algorithm>
#include <filesystem>

#include <QFile>

#include "camera/camera_link.h"
#include "desk/model/camera_state.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_format.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_command.h"
#include "frames/picture_file.h"
#include "lang/pack_ids.h"

namespace lumaghost {

QStringList scanDirectoryPictures(const QString &directory) {
    namespace fs = std::filesystem;
    QStringList pictures;
    if (directory.isEmpty())
        return pictures;
    std::error_code ec;
    for (fs::directory_iterator it(QFile::encodeName(directory).toStdString(), ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code kindError;
        if (it->is_directory(kindError))
            continue;
        const QString name = QFile::decodeName(QByteArray::fromStdString(it->path().filename()));
        if (isPictureName(name))
            pictures.append(QFile::decodeName(QByteArray::fromStdString(it->path().string())));
    }
    std::sort(pictures.begin(), pictures.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return pictures;
}

DirectoryPlayer::DirectoryPlayer(const PartContext &part) : part_(part), context_(part.desk) {
    timer_.setObjectName(QStringLiteral("timer%1").arg(kStepTimerId));
    connect(&timer_, &QTimer::timeout, this, &DirectoryPlayer::step);
}

DirectoryPlayer::~DirectoryPlayer() = default;

void DirectoryPlayer::startDirectoryPlayback() {
    DirectoryChoice choice;
    {
        CDialogSelectDirectory dialog(context_, part_.window);
        if (dialog.exec() != QDialog::Accepted)
            return;
        choice = dialog.choice();
    }
    start(choice);
}

void DirectoryPlayer::start(const DirectoryChoice &choice) {
    part_.parts.stopCameraSources();
    stopPlayServiceIfRunning(part_.service);
    part_.parts.setCurrentItemPath(choice.directory);
    flags_ = choice.flags;
    loop_ = choice.loop;
    displayTime_ = choice.displayTime;
    const bool ended = cursor_ >= pictures_.size();
    if (choice.directory != directory_ || ended) {
        directory_ = choice.directory;
        pictures_ = scanDirectoryPictures(directory_);
        unreadable_.clear();
        cursor_ = 0;
        if (pictures_.isEmpty() || !showAndAdvance()) {
            emit stateChanged();
            return;
        }
    }
    timer_.start(stepPeriodMs(displayTime_));
    emit stateChanged();
}

bool DirectoryPlayer::showAndAdvance() {
    if (ShowDirectoryPicture(pictures_[cursor_], flags_).failed())
        return false;
    if (++cursor_ < pictures_.size())
        return true;
    if (loop_) {
        cursor_ = 0;
        return true;
    }
    // The last picture stays on the camera.
    timer_.stop();
    return false;
}

void DirectoryPlayer::step() {
    if (cursor_ >= pictures_.size()) {
        stop();
        return;
    }
    // A play service started since the last step would feed the camera too.
    stopPlayServiceIfRunning(part_.service);
    if (showAndAdvance())
        timer_.start(stepPeriodMs(displayTime_));
    emit stateChanged();
}

void DirectoryPlayer::stop() {
    timer_.stop();
}

HResult DirectoryPlayer::ShowDirectoryPicture(const QString &path, FitFlags flags) {
    emit titleChanged(path);
    QString why;
    QImage picture = loadPictureFile(path, &why);
    if (picture.isNull() && !unreadable_.contains(path)) {
        // Told once per picture, not at every round; the camera shows black for it.
        unreadable_.insert(path);
        context_.ask(nullptr, context_.message(msg::kCannotLoadPicture),
                     formatMessage(context_.message(pack_ids::kPictureNotShown), {path, why}),
                     MessageButtons::Ok, MessageIcon::Warning);
    }
    if (!picture.isNull() && picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    const HResult result =
        pushFrameToCamera(part_.camera.link, [&picture, flags](const FrameDescriptor &d) {
            composePictureFrame(imageView(picture),
                                CameraFrame{d.buffer(), d.width, d.height, d.byteCount}, flags);
            return S_OK;
        });
    if (result.succeeded())
        part_.parts.reportOnCamera({OnCamera::Kind::DirectoryPicture, path});
    if (result.failed()) {
        // Once: the timer would otherwise show the box again at every step.
        stop();
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(pack_ids::kGetBufferError), MessageButtons::Ok,
                     MessageIcon::Error);
    }
    return result;
}

}  // namespace lumaghost
