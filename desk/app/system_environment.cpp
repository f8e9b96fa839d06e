// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/system_environment.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "camera/device_discovery.h"
#include "desk/app/desk_service_manager.h"
#include "desk/app/shell_registration.h"
#include "device/camera_protocol.h"
#include "platform/guid.h"
#include "platform/registry.h"
#include "service/linux_service_platform.h"

namespace lumaghost {

MessageAnswer QtPrompter::ask(QWidget *owner, const QString &caption, const QString &text,
                              MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::None:
            break;
    }
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

/// \brief The view's camera start: driver key, camera link with its version check, real
/// cameras.
CameraStart startCamera(VersionSource &versions) {
    CameraStart start;
    {
        RegistryHive machine = machineHive();
        start.driverKey = findDriverKey(machine, versions);
    }
    for (std::string &name : listFriendlyNames(CLSID_VideoInputDeviceCategory)) {
        if (name != kCameraName)
            start.realCameras.push_back(std::move(name));
    }

    // The steps of openCameraLink, told apart: each failure has its own message.
    std::unique_ptr<BaseFilter> filter;
    if (findFilterByName(CLSID_VideoInputDeviceCategory, kCameraName, filter).failed()) {
        start.outcome = CameraStart::Outcome::NotFound;
        return start;
    }
    PropertySet *properties = nullptr;
    uint8_t record[sizeof(VersionRecord)] = {};
    uint32_t returned = 0;
    if (filter->queryPropertySet(&properties).failed() || !properties ||
        properties
            ->get(PROPSETID_CameraLink, CAMERA_PROP_VERSION, record, sizeof(record), record,
                  sizeof(record), &returned)
            .failed()) {
        start.outcome = CameraStart::Outcome::InitFailed;
        return start;
    }
    uint32_t version = 0;
    std::memcpy(&version, record + offsetof(VersionRecord, version), sizeof(version));
    if (version != CAMERA_DRIVER_VERSION) {
        start.outcome = CameraStart::Outcome::VersionMismatch;
        return start;
    }
    start.link.captureFilter = std::move(filter);
    start.link.properties = properties;
    start.outcome = CameraStart::Outcome::Ready;
    return start;
}

DeskEnvironment systemEnvironment() {
    static QtPrompter prompter;
    DeskEnvironment environment;
    environment.prompter = &prompter;
    environment.startCamera = [] { return lumaghost::startCamera(systemVersionSource()); };
    environment.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    environment.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    environment.applicationFolder = QCoreApplication::applicationDirPath();
    environment.versions = &systemVersionSource();
    // Asks the user's consent where systemd needs it; installs through pkexec where the
    // system's unit files are written.
    SystemdServiceManager &systemd = systemServiceManager();
    systemd.setInteractiveAuthorization(true);
    static DeskServiceManager manager(
        systemd, (environment.applicationFolder + QStringLiteral("/lumaserv")).toStdString(),
        serviceInstallNeedsElevation(systemd.userManager()));
    environment.serviceManager = &manager;
    environment.runProgram = [](const std::vector<std::string> &argv) {
        return DeskServiceManager::runProgram(argv).status;
    };
    environment.registerFileType = [program = QCoreApplication::applicationFilePath()] {
        const ShellRegistrationResult result =
            updateSequenceFileType(userDataHome(), systemDataDirs(), program);
        if (!result.ok)
            std::cerr << "Lumadesk: the user's .lgs file type registration: "
                      << result.error.toStdString() << std::endl;
    };
    return environment;
}

}  // namespace lumaghost
