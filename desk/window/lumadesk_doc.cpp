// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_doc.h"

#include <cerrno>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_format.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "lang/pack_ids.h"

namespace lumaghost {

namespace {

constexpr const char *kPictureTypes[] = {"BMP", "DIB", "EMF", "GIF", "ICO", "JPG", "WMF"};

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
    using namespace pack_ids;
    QString text;
    if (!info.exists())
        text = context_.message(kFileNotFound, {path});
    else if (info.isDir() || !info.isReadable())
        text = context_.message(kFileNotOpenable, {path});
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
                context_.ask(nullptr, context_.message(pack_ids::kPlayFileErrorCaption),
                             context_.message(167, {path, int64_t{result.code()}}),
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
    const QString path =
        QFileDialog::getOpenFileName(frame_, context_.message(pack_ids::kOpenFileTitle), QString(),
                                     fileDialogFilter(context_.message(138)));
    if (!path.isEmpty())
        OnOpenDocument(path);
}

}  // namespace lumaghost
