// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_doc.h"

#include <cerrno>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "gst/playable_movie_types.h"
#include "lang/pack_ids.h"

namespace lumaghost {

namespace {

constexpr const char *kPictureTypes[] = {"BMP", "DIB", "EMF", "GIF", "ICO", "JPG", "WMF"};

}  // namespace

CLumadeskDoc::CLumadeskDoc(DeskContext &context, QObject *parent)
    : QObject(parent), context_(context), title_(QStringLiteral("Untitled")) {
    context_.doc = this;
}

CLumadeskDoc::FileKind CLumadeskDoc::kindOf(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    if (extension.compare(QStringLiteral("lgs"), Qt::CaseInsensitive) == 0)
        return FileKind::Sequence;
    for (const char *type : kPictureTypes) {
        if (extension.compare(QLatin1String(type), Qt::CaseInsensitive) == 0)
            return FileKind::Picture;
    }
    return FileKind::Movie;
}

void CLumadeskDoc::setTitle(const QString &title) {
    if (title == title_)
        return;
    title_ = title;
    emit titleChanged(title_);
}

bool CLumadeskDoc::canOpenForReading(const QString &path) {
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isDir() && file.open(QIODevice::ReadOnly))
        return true;
    QString text;
    if (!info.exists())
        text = QStringLiteral("%1 was not found.").arg(path);
    else if (info.isDir() || !info.isReadable())
        text = QStringLiteral("%1 cannot be opened: access denied or not a file.").arg(path);
    else
        text = QStringLiteral("%1 cannot be opened: %2.").arg(path, file.errorString());
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
            const HResult result = view.playMovieFile(path);
            if (result.failed()) {
                context_.ask(
                    nullptr, QStringLiteral("Play File Error"),
                    formatMessage(
                        QStringLiteral("Sorry!\nCan't play movie file %s\nError code is:0x%X"),
                        {path, int64_t{result.code()}}),
                    MessageButtons::Ok, MessageIcon::Warning);
            } else {
                context_.recentMovies.add(path);
                setTitle(path);
            }
            break;
        }
    }
    frame_->rebuildRecentMenus();
    return true;
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

void CLumadeskDoc::onFileOpen() {
    // Opened on the filter of everything Lumadesk opens: the first.
    const QString filter =
        openDialogFilter(context_.message(138), context_.message(pack_ids::kAllOpenableFilter),
                         playableCommonMovieTypes());
    const QString path =
        QFileDialog::getOpenFileName(frame_, QStringLiteral("Open file"), QString(), filter);
    if (!path.isEmpty())
        OnOpenDocument(path);
}

}  // namespace lumaghost
