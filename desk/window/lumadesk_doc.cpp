// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/lumadesk_doc.h"

#include <cerrno>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
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
    context_.ask(frame_, CMainFrame::appTitle(), text, MessageButtons::Ok, MessageIcon::Error);
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

namespace {

/// A filter's patterns as QFileDialog takes them: "*" matches every name, with or without a dot.
QStringList dialogPatterns(const QString &patterns) {
    QStringList out;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        const QString taken = trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed;
        if (!taken.isEmpty() && !out.contains(taken))
            out.append(taken);
    }
    return out;
}

/// A filter's name without the list of its patterns that it may show itself ("AVI
/// files(*.avi)", "Picture Files (bmp jpg)"): the dialog shows the patterns once, after it.
QString nameWithoutPatterns(const QString &name, const QStringList &patterns) {
    const QString trimmed = name.trimmed();
    const qsizetype open = trimmed.lastIndexOf(u'(');
    if (open < 0 || !trimmed.endsWith(u')'))
        return trimmed;
    QStringList shown;
    const QString inside = trimmed.mid(open + 1, trimmed.size() - open - 2);
    for (QString word :
         inside.split(QRegularExpression(QStringLiteral("[ ;,]+")), Qt::SkipEmptyParts)) {
        if (!word.startsWith(u'*'))
            word = QStringLiteral("*.") + word;
        for (const QString &pattern : dialogPatterns(word))
            shown.append(pattern);
    }
    QStringList wanted = patterns, given = shown;
    wanted.sort(Qt::CaseInsensitive);
    given.sort(Qt::CaseInsensitive);
    wanted.removeDuplicates();
    given.removeDuplicates();
    return wanted.join(u' ').compare(given.join(u' '), Qt::CaseInsensitive) == 0
               ? trimmed.left(open).trimmed()
               : trimmed;
}

/// The movie filter among a pack's filters: the one of the legacy movie types.
bool isMovieFilter(const QStringList &patterns) {
    return patterns.contains(QStringLiteral("*.avi"), Qt::CaseInsensitive);
}

struct Filter {
    QString name;
    QStringList patterns;
};

std::vector<Filter> parseFilter(const QString &packFilter, const QStringList &moreMovieTypes) {
    const QStringList parts = packFilter.split(u'|');
    std::vector<Filter> filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        Filter filter;
        filter.patterns = dialogPatterns(parts[i + 1]);
        filter.name = nameWithoutPatterns(parts[i], filter.patterns);
        if (isMovieFilter(filter.patterns) && filter.patterns.size() > 1) {
            for (const QString &type : moreMovieTypes) {
                const QString pattern = QStringLiteral("*.") + type;
                if (!filter.patterns.contains(pattern, Qt::CaseInsensitive))
                    filter.patterns.append(pattern);
            }
        }
        filters.push_back(std::move(filter));
    }
    return filters;
}

QString joined(const std::vector<Filter> &filters) {
    QStringList out;
    for (const Filter &filter : filters)
        out.append(filter.name + QStringLiteral(" (") + filter.patterns.join(u' ') + u')');
    return out.join(QStringLiteral(";;"));
}

}  // namespace

QString fileDialogFilter(const QString &packFilter, const QStringList &moreMovieTypes) {
    return joined(parseFilter(packFilter, moreMovieTypes));
}

QString openDialogFilter(const QString &packFilter, const QString &allName,
                         const QStringList &moreMovieTypes) {
    std::vector<Filter> filters = parseFilter(packFilter, moreMovieTypes);
    Filter all{allName, {}};
    for (const Filter &filter : filters) {
        for (const QString &pattern : filter.patterns) {
            if (pattern != QStringLiteral("*") && !all.patterns.contains(pattern))
                all.patterns.append(pattern);
        }
    }
    filters.insert(filters.begin(), std::move(all));
    return joined(filters);
}

const QStringList &playableMovieTypes() {
    static const QStringList types = [] {
        QStringList out;
        for (const std::string &type : PlayableMovieTypes(commonMovieTypes()))
            out.append(QString::fromStdString(type));
        return out;
    }();
    return types;
}

void CLumadeskDoc::onFileOpen() {
    // Opened on the filter of everything Lumadesk opens: the first.
    const QString filter =
        openDialogFilter(context_.message(138), context_.message(pack_ids::kAllOpenableFilter),
                         playableMovieTypes());
    const QString path =
        QFileDialog::getOpenFileName(frame_, QStringLiteral("Open file"), QString(), filter);
    if (!path.isEmpty())
        OnOpenDocument(path);
}

}  // namespace lumaghost
