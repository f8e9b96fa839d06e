// SPDX-License-Identifier: LGPL-2.1-or-later
// What Lumadesk asks of its surroundings, gathered so that tests can stand in for each: message
// boxes, the camera start, the system tray, opening documents and web pages, the application
// folder and the platform version. The real ones are in desk/app/system_environment.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QUrl>

#include "camera/camera_link.h"
#include "platform/platform_version.h"

class QWidget;

namespace lumaghost {

class ServiceManager;

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageAnswer { Ok, Yes, No };

/// Message boxes: modal, with the captions and texts of the language packs.
class Prompter {
public:
    virtual ~Prompter() = default;
    /// Shows `text` with `caption`; `owner` null makes a box without owner.
    virtual MessageAnswer ask(QWidget *owner, const QString &caption, const QString &text,
                              MessageButtons buttons, MessageIcon icon) = 0;
};

/// What the camera start found: the outcome, the open link, the driver key and the real
/// cameras (every video input but the camera itself, in enumeration order).
struct CameraStart {
    enum class Outcome {
        Ready,            // the link is open
        NotFound,         // no camera of that name
        InitFailed,       // no property channel, or its version unreadable (msg::kInitializeFailed)
        VersionMismatch,  // a driver of another version (msg::kVersionMismatch)
    };
    Outcome outcome = Outcome::NotFound;
    CameraLink link;
    std::string driverKey;
    std::vector<std::string> realCameras;
};

struct DeskEnvironment {
    Prompter *prompter = nullptr;
    /// The camera start, called on a worker thread.
    std::function<CameraStart()> startCamera;
    /// Whether the desktop shows tray icons.
    std::function<bool()> trayAvailable;
    /// Opens a document or web page with the desktop's handler; false when none took it.
    std::function<bool(const QUrl &)> openUrl;
    /// The folder of the program file (language packs and help are found from it).
    QString applicationFolder;
    VersionSource *versions = nullptr;
    /// The play service's manager (systemd); used off the user-interface thread only.
    ServiceManager *serviceManager = nullptr;
    /// Registers the .lgs type for the user's desktop; run once per start, off the
    /// user-interface thread. Empty: not registered.
    std::function<void()> registerFileType;
    /// Runs a program (argv[0] a path, or a name on PATH) and gives its exit status, or a
    /// negative errno value when it could not be run. Empty: nothing is run.
    std::function<int(const std::vector<std::string> &argv)> runProgram;
};

}  // namespace lumaghost
