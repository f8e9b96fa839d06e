// SPDX-License-Identifier: LGPL-2.1-or-later
// The document: the one open operation that every way of opening a file ends in (File Open,
// the command line, another start, dropped files, the recent lists), dispatching on the file's
// extension to the sequence, the picture or the movie, and the document's title.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/hresult.h"

namespace lumaghost {

class RecentFileList;

struct DeskContext;
class CMainFrame;

class CLumadeskDoc : public QObject {
    Q_OBJECT
public:
    enum class FileKind { Sequence, Picture, Movie };

    explicit CLumadeskDoc(DeskContext &context, QObject *parent = nullptr);

    void setFrame(CMainFrame *frame) { frame_ = frame; }

    /// "lgs" is a sequence; a picture extension (isPictureName: the seven types of old and
    /// whatever else the picture readers load, any letter case) is a picture; everything else
    /// is a movie.
    static FileKind kindOf(const QString &path);

    /// The open operation. A file that cannot be opened for reading is reported and nothing
    /// else happens; otherwise the file goes to its part and its recent list. False when the
    /// file could not be opened.
    bool OnOpenDocument(const QString &path);

    /// Several files at once (another start's hand-over, a drop): the missing ones are told in
    /// one message that names them, the others go through the open operation in turn.
    void openDocuments(const QStringList &paths);

    /// File Open (57601): the open dialog with the filter of msg::kOpenFilter, then the open
    /// operation.
    void onFileOpen();
    /// Entry `index` of a recent list: the open operation; an entry that cannot be opened
    /// leaves the list.
    void openRecent(RecentFileList &list, int index);

    const QString &title() const { return title_; }
    void setTitle(const QString &title);

signals:
    void titleChanged(const QString &title);

private:
    /// The framework's check that the file opens for reading, with its messages.
    bool canOpenForReading(const QString &path);
    /// A movie opened here has started (on the movie list, in the title) or could not.
    void movieStarted(const QString &path, HResult result);

    DeskContext &context_;
    CMainFrame *frame_ = nullptr;
    QString title_;
};

/// A filter in the packs' "Name|*.a;*.b|...||" form whose picture entry (the one with *.jpg)
/// lists every picture extension.
QString withReaderPictures(const QString &packFilter);

}  // namespace lumaghost
