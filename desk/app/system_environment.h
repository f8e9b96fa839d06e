// SPDX-License-Identifier: LGPL-2.1-or-later
// The real surroundings of Lumadesk: QMessageBox, the camera start, QSystemTrayIcon,
// QDesktopServices, the program's folder, the system's version, systemd and the user's desktop
// files.
#pragma once

#include "desk/model/desk_environment.h"

namespace lumaghost {

/// QMessageBox.
class QtPrompter final : public Prompter {
public:
    MessageAnswer ask(QWidget *owner, const QString &caption, const QString &text,
                      MessageButtons buttons, MessageIcon icon) override;
};

/// Finds the driver key, opens the camera link and lists the real cameras. Runs off the
/// user-interface thread: device enumeration touches the devices.
CameraStart startCamera(VersionSource &versions);

/// The real ones, as the program starts with them.
DeskEnvironment systemEnvironment();

}  // namespace lumaghost
