// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/tray_icon.h"

#include <QMenu>

#include "desk/model/command_table.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

TrayIcon::TrayIcon(const QIcon &icon, const LanguagePackList &packs)
    : menu_(std::make_unique<QMenu>()) {
    restore_ = menu_->addAction(QStringLiteral("Restore"));
    restore_->setProperty(kCommandIdProperty, cmd::kTrayRestore);
    exit_ = menu_->addAction(QStringLiteral("Exit"));
    exit_->setProperty(kCommandIdProperty, cmd::kTrayExit);
    // Menu texts only: the prompt under cmd::kTrayExit's id is msg::kCantFindDriver.
    relabelMenu(packs, *menu_);
    menu_->setAccessibleName(loadPackQString(packs, pack_ids::kTrayName));

    icon_.setIcon(icon);
    icon_.setContextMenu(menu_.get());
    connect(restore_, &QAction::triggered, this, &TrayIcon::restoreRequested, Qt::QueuedConnection);
    connect(exit_, &QAction::triggered, this, &TrayIcon::exitRequested, Qt::QueuedConnection);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit restoreRequested();
            });
}

TrayIcon::~TrayIcon() {
    icon_.hide();
}

bool TrayIcon::show() {
    icon_.show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace lumaghost
