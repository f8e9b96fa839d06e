// SPDX-License-Identifier: LGPL-2.1-or-later
// The Setup dialog (template 151): seven switches and the language, read from the settings
// when it opens and written, in one change, by OK. Cancel writes nothing.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;

namespace lumaghost {

struct DeskContext;

/// The dialog's working copy, in the dialog's order.
struct SetupValues {
    int autoSetLastImage = 1;
    int serviceAutoStart = 1;
    int autoSaveSequenceForNext = 0;
    int miniSizeToSystemTray = 1;
    int stretch = 1;
    int keepRatio = 1;
    int center = 1;
    int language = 1033;
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

    /// OK: writes the eight values and closes.
    void accept() override;

private:
    void stretchClicked();
    void keepRatioClicked();

    DeskContext &context_;
    int languageValue_ = 1033;
    QCheckBox *autoSetLastImage_ = nullptr;
    QCheckBox *serviceAutoStart_ = nullptr;
    QCheckBox *autoSaveSequenceForNext_ = nullptr;
    QCheckBox *miniSizeToSystemTray_ = nullptr;
    QCheckBox *stretch_ = nullptr;
    QCheckBox *keepRatio_ = nullptr;
    QCheckBox *center_ = nullptr;
    QComboBox *language_ = nullptr;
};

/// Reads the Setup dialog's values; Language defaults to `languageInUse` here.
SetupValues readSetupValues(const class SettingsStore &store, int languageInUse);
/// Writes them to "Settings" in one change, in the order AutoSaveSequenceForNext,
/// ServiceAutoStart, AutoSetLastImage, MiniSizeToSystemTray, Stretch, KeepRatio, Center,
/// Language.
bool writeSetupValues(class SettingsStore &store, const SetupValues &values);

}  // namespace lumaghost
