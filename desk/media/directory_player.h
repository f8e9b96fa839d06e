// SPDX-License-Identifier: LGPL-2.1-or-later
// Directory playback: every picture of one directory on the camera in turn, each for the
// display time, fitted by the directory's own switches, optionally in a loop. A step timer on
// the user-interface thread drives it; stopGraphPlayback() and every other source end it.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "desk/media/dialog_select_directory.h"
#include "desk/model/part_context.h"
#include "desk/model/parts.h"

namespace lumaghost {

/// The pictures of a directory in name order, letter case aside (the order users see in a file
/// manager; readdir's order is the file system's hash order): its files (not its directories)
/// whose name is a picture's (isPictureName).
QStringList scanDirectoryPictures(const QString &directory);

class DirectoryPlayer final : public QObject, public DirectoryPart {
    Q_OBJECT
public:
    static constexpr int kStepTimerId = 100;

    explicit DirectoryPlayer(const PartContext &part);
    ~DirectoryPlayer() override;

    /// "Play All Files in Directory": the dialog, then start().
    void startDirectoryPlayback() override;
    /// Starts playback of a choice: the sources that fed the camera end first. A directory
    /// other than the last, or the last after its run ended, is read afresh and its first
    /// picture shown at once; the last one still running resumes at the cursor with the next
    /// step. A directory without pictures shows nothing and starts no timer.
    void start(const DirectoryChoice &choice);
    /// One step of the timer: a play service started meanwhile is stopped, then the picture
    /// at the cursor, then on to the next; past the last one, back to the first with loop, the
    /// end without.
    void step();
    /// Kills the step timer: playback ends where it is.
    void stop();
    bool playing() const { return timer_.isActive(); }

    /// Puts one picture file on the camera; the camera's failure ends playback with "Get Buffer
    /// ERROR!". A file that cannot be read makes a black frame, and the loader's reason is told
    /// the first time only.
    HResult ShowDirectoryPicture(const QString &path, FitFlags flags);

    const QString &directory() const { return directory_; }
    const QStringList &pictures() const { return pictures_; }
    int cursor() const { return cursor_; }
    const QTimer &stepTimer() const { return timer_; }

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();
    /// The document's title: the picture shown.
    void titleChanged(const QString &title);

private:
    /// Shows the picture at the cursor and moves on; false when playback ended with it.
    bool showAndAdvance();

    PartContext part_;
    DeskContext &context_;
    QString directory_;
    QStringList pictures_;
    QSet<QString> unreadable_;  // told already, since the directory was read
    int cursor_ = 0;
    FitFlags flags_;
    bool loop_ = false;
    int displayTime_ = 10;
    QTimer timer_;
};

}  // namespace lumaghost
