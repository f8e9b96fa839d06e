// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_doc.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>

#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/file_errors.h"
#include "desk/model/message_format.h"
#include "desk/model/message_ids.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "frames/picture_file.h"
#include "gst/playable_movie_types.h"
#include "lang/pack_ids.h"
#include "platform/posix_file.h"

namespace lumaghost {

namespace {

// The most missing files named one by one in that message.
constexpr qsizetype kListedMissingFiles = 20;

}  // namespace

CLumadeskDoc::CLumadeskDoc(DeskContext &context, QObject *parent)
    : QObject(parent), context_(context), title_(context.message(pack_ids::kUntitledTitle)) {
    context_.doc = this;
}

CLumadeskDoc::FileKind CLumadeskDoc::kindOf(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    if (extension.compare(QStringLiteral("lgs"), Qt::CaseInsensitive) == 0)
        return FileKind::Sequence;
    return isPictureName(name) ? FileKind::Picture : FileKind::Movie;
}

void CLumadeskDoc::setTitle(const QString &title) {
    if (title == title_)
        return;
    title_ = title;
    emit titleChanged(title_);
}

bool CLumadeskDoc::canOpenForReading(const QString &path) {
    // Never blocking: a FIFO without a writer, or a device, is refused at once.
    UniqueFd fd;
    const int err = openRegularFile(QFile::encodeName(path).toStdString(), O_RDONLY, fd);
    if (err == 0)
        return true;
    const QFileInfo info(path);
    using namespace pack_ids;
    QString text;
    if (err == EINVAL && !info.isDir() && kindOf(path) == FileKind::Sequence) {
        // Something that opens, but no file: no sequence, as a damaged one is none.
        text = context_.message(kReadFileError);
    } else if (!info.exists()) {
        text = context_.message(kFileNotFound, {path});
    } else if (err == EINVAL || err == EACCES || info.isDir() || !info.isReadable()) {
        text = context_.message(kFileNotOpenable, {path});
    } else {
        text = QStringLiteral("%1 cannot be opened: %2.")
                   .arg(path, QString::fromLocal8Bit(std::strerror(err)));
    }
    context_.ask(frame_, appTitle(), text, MessageButtons::Ok, MessageIcon::Error);
    return false;
}

/// \brief The open operation: a sequence, a picture or a movie, by the file's extension.
///
/// The file must open for reading first; one that does not is reported once and goes to no
/// part and no recent list.
bool CLumadeskDoc::OnOpenDocument(const QString &given) {
    if (!frame_)
        return false;
    const QString path = QFileInfo(given).absoluteFilePath();
    if (!canOpenForReading(path))
        return false;
    CLumadeskView &view = *frame_->view();
    switch (kindOf(path)) {
        case FileKind::Sequence:
            view.openSequenceFile(path);
            context_.recentSequences.add(path);
            setTitle(path);
            view.viewport()->update();
            if (!frame_->stripShown())
                view.onSequenceMode();
            break;
        case FileKind::Picture:
            context_.recentPictures.add(path);
            view.openPictureFile(path);
            setTitle(QFileInfo(path).fileName());
            view.viewport()->update();
            break;
        case FileKind::Movie: {
            // The outcome comes once the movie has started, or could not.
            auto started = [doc = QPointer<CLumadeskDoc>(this), path](HResult result) {
                if (doc)
                    doc->movieStarted(path, result);
            };
            const HResult result = view.playMovieFile(path, started);
            if (result.failed())
                started(result);
            break;
        }
    }
    frame_->rebuildRecentMenus();
    return true;
}

void CLumadeskDoc::movieStarted(const QString &path, HResult result) {
    if (result.failed()) {
        context_.ask(nullptr, context_.message(pack_ids::kPlayFileErrorCaption),
                     context_.message(msg::kCannotPlayMovie, {path, int64_t{result.code()}}),
                     MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    context_.recentMovies.add(path);
    setTitle(path);
    if (frame_)
        frame_->rebuildRecentMenus();
}

/// \brief Files handed over together: the missing ones are told in one message that lists
/// them, the others are opened in turn.
void CLumadeskDoc::openDocuments(const QStringList &paths) {
    QStringList missing, present;
    for (const QString &path : paths) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        (QFileInfo::exists(absolute) || QFileInfo(absolute).isSymLink() ? present : missing)
            .append(absolute);
    }
    if (missing.size() == 1) {
        present.prepend(missing.front());  // the open operation's own message
    } else if (!missing.isEmpty()) {
        QStringList shown = missing.mid(0, kListedMissingFiles);
        if (missing.size() > kListedMissingFiles)
            shown.append(formatMessage(context_.message(pack_ids::kMoreFilesNotFound),
                                       {int64_t{missing.size() - kListedMissingFiles}}));
        context_.ask(frame_, appTitle(),
                     formatMessage(context_.message(pack_ids::kFilesNotFound),
                                   {int64_t{missing.size()}, shown.join(u'\n')}),
                     MessageButtons::Ok, MessageIcon::Error);
    }
    for (const QString &path : present)
        OnOpenDocument(path);
}

void CLumadeskDoc::openRecent(RecentFileList &list, int index) {
    if (index < 0 || index >= list.count())
        return;
    const QString path = list.at(index);
    if (!OnOpenDocument(path)) {
        // An entry that no longer opens leaves its list.
        list.remove(list.paths().indexOf(path));
        frame_->rebuildRecentMenus();
    }
}

QString withReaderPictures(const QString &packFilter) {
    QStringList parts = packFilter.split(u'|');
    const QString patterns = pictureNamePatterns().replace(u' ', u';');
    for (qsizetype i = 1; i < parts.size(); i += 2) {
        if (parts[i].split(u';').contains(QStringLiteral("*.jpg"), Qt::CaseInsensitive)) {
            parts[i] = patterns;
            break;
        }
    }
    return parts.join(u'|');
}

void CLumadeskDoc::onFileOpen() {
    // Opened on the filter of everything Lumadesk opens: the first.
    const QString filter = openDialogFilter(withReaderPictures(context_.message(msg::kOpenFilter)),
                                            context_.message(pack_ids::kAllOpenableFilter),
                                            playableCommonMovieTypes());
    const QString path = QFileDialog::getOpenFileName(
        frame_, context_.message(pack_ids::kOpenFileTitle), QString(), filter);
    if (!path.isEmpty())
        OnOpenDocument(path);
}

}  // namespace lumaghost
