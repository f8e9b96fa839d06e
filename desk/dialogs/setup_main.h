// SPDX-License-Identifier: LGPL-2.1-or-later
// The Setup dialog (pack_ids::kSetupDialog): seven switches and the language, read from the
// settings when it opens and written, in one change, by OK. Cancel writes nothing. Beside them
// the camera's format, which OK gives the camera through `lumacam format` (under pkexec for a
// user who is not root) when another one was chosen.
#pragma once

#include <QDialog>

#include "desk/model/desk_environment.h"
#include "desk/model/desk_settings.h"
#include "desk/model/settings_store.h"
#include "device/frame_channel.h"
#include "lang/language_id.h"

class QCheckBox;
class QComboBox;

namespace lumaghost {

struct DeskContext;

/// The dialog's working copy: the switches and the language.
struct SetupValues : DeskSettings {
    int language = kEnglishLanguageId;
};

class CSetupMain : public QDialog {
    Q_OBJECT
public:
    /// `trayAvailable` false: "Minimize to system tray" keeps its value but cannot be changed.
    CSetupMain(DeskContext &context, bool trayAvailable, QWidget *parent = nullptr);

    /// The working copy as the controls show it.
    SetupValues values() const;
    QCheckBox *checkBox(int controlId) const;
    QComboBox *languageCombo() const { return language_; }
    QComboBox *cameraFormatCombo() const { return cameraFormat_; }

    /// What runs lumacam format: the environment's runProgram unless a test sets its own.
    using Runner = decltype(DeskEnvironment::runProgram);
    void setRunner(Runner run) { run_ = std::move(run); }

    /// OK: writes the eight values and closes.
    void accept() override;

private:
    void stretchClicked();
    void keepRatioClicked();
    void addCameraFormats();
    /// Gives the camera the format chosen when it is another; false when that failed.
    bool applyCameraFormat();

    DeskContext &context_;
    int languageValue_ = kEnglishLanguageId;
    QCheckBox *autoSetLastImage_ = nullptr;
    QCheckBox *serviceAutoStart_ = nullptr;
    QCheckBox *autoSaveSequenceForNext_ = nullptr;
    QCheckBox *miniSizeToSystemTray_ = nullptr;
    QCheckBox *stretch_ = nullptr;
    QCheckBox *keepRatio_ = nullptr;
    QCheckBox *center_ = nullptr;
    QComboBox *language_ = nullptr;
    QComboBox *cameraFormat_ = nullptr;
    bool haveCamera_ = false;
    ChannelFormat cameraFormatValue_;  // the camera's when the dialog opened
    Runner run_;
};

/// Reads the Setup dialog's values; Language defaults to `languageInUse` here.
SetupValues readSetupValues(const SettingsStore &store, int languageInUse);
/// Writes them to "Settings" in one change: the switches in their order, then Language.
bool writeSetupValues(SettingsStore &store, const SetupValues &values);

}  // namespace lumaghost
