// SPDX-License-Identifier: LGPL-2.1-or-later
// "Select a Directory" (CDialogSelectDirectory, template 187): the directory to play, from the
// recent directories or the "..." browser or typed in; the pictures' fit, the display time and
// the loop, stored by OK as PicStretch, PicKeepRatio, PicCenter, PicLoop and PicDisplayTime.
#pragma once

#include <QDialog>
#include <QString>

#include "desk/model/recent_file_list.h"
#include "frames/fit_geometry.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace lumaghost {

struct DeskContext;

/// What the dialog's OK hands to directory playback.
struct DirectoryChoice {
    QString directory;
    FitFlags flags;
    bool loop = false;
    int displayTime = 10;  // seconds
};

/// The display time typed in: a whole number of seconds (at most kMaxDisplayTime), else 10.
int parseDisplayTime(const QString &text);
inline constexpr int kMaxDisplayTime = 2147483;  // its milliseconds fit an int
/// The step timer's period: the display time in milliseconds; 10 ms for 0, never a busy loop.
int stepPeriodMs(int displayTime);

/// The recent directories: section "Recent Directory", entries "dir1 " to "dir8 ".
RecentFileList makeRecentDirectoryList();

class CDialogSelectDirectory : public QDialog {
    Q_OBJECT
public:
    // Dialog 187 and its controls; the two labels carry ids of their own for the packs.
    static constexpr int kDialogId = 187;
    static constexpr int kBrowse = 1042;
    static constexpr int kDirectoryCombo = 1043;
    static constexpr int kDirectoryLabel = 1044;
    static constexpr int kDisplayTime = 1045;  // the edit, with its spin control 1046
    static constexpr int kDisplayTimeSpin = 1046;
    static constexpr int kLoop = 1047;
    static constexpr int kDisplayTimeLabel = 1048;
    static constexpr int kStretch = 1017;
    static constexpr int kKeepRatio = 1018;
    static constexpr int kCenter = 1019;

    /// Reads the five settings and the recent directories.
    CDialogSelectDirectory(DeskContext &context, QWidget *parent = nullptr);
    /// Writes the recent directories back, whether OK or Cancel closed the dialog.
    ~CDialogSelectDirectory() override;

    /// The choice as the controls show it; the directory is the box's text, typed or chosen.
    DirectoryChoice choice() const;
    /// OK: stores the settings, puts the directory on top of the recent ones, closes.
    void accept() override;
    /// "...": the folder dialog; the folder chosen goes into the box.
    void browse();
    /// A directory added to the box, selected and put on the recent list.
    void addDirectory(const QString &directory);

    QComboBox *directoryCombo() const { return directory_; }
    QCheckBox *checkBox(int controlId) const;
    QSpinBox *displayTime() const { return displayTime_; }
    const RecentFileList &recentDirectories() const { return recent_; }

private:
    DeskContext &context_;
    RecentFileList recent_;
    QComboBox *directory_ = nullptr;
    QCheckBox *stretch_ = nullptr;
    QCheckBox *keepRatio_ = nullptr;
    QCheckBox *center_ = nullptr;
    QCheckBox *loop_ = nullptr;
    QSpinBox *displayTime_ = nullptr;
};

}  // namespace lumaghost
