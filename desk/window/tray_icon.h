// SPDX-License-Identifier: LGPL-2.1-or-later
// The tray icon of a main window hidden in the tray, with its menu: "Restore" (32814) and
// "Exit" (170). Neither the icon nor its menu is a child of the main window, so the window's
// commands and prompts never include them.
#pragma once

#include <memory>

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace lumaghost {

class LanguagePackList;

class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QIcon &icon, const LanguagePackList &packs);
    ~TrayIcon() override;

    /// Shows the icon; false when the desktop has no tray to show it in.
    bool show();
    QMenu *menu() const { return menu_.get(); }
    QAction *restoreAction() const { return restore_; }
    QAction *exitAction() const { return exit_; }

signals:
    /// A click on the icon or "Restore".
    void restoreRequested();
    /// "Exit": the main window closes, after its close check.
    void exitRequested();

private:
    std::unique_ptr<QMenu> menu_;
    QAction *restore_ = nullptr;
    QAction *exit_ = nullptr;
    QSystemTrayIcon icon_;
};

}  // namespace lumaghost
