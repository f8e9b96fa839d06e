// SPDX-License-Identifier: LGPL-2.1-or-later
// A throw-away root for a benchmark's Lumadesk: its settings, data, runtime directory and
// camera root, and the offscreen platform unless another is set.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QUrl>

#include "desk/app/lumadesk_app.h"
#include "desk/app/system_environment.h"
#include "desk/model/desk_environment.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"

namespace lumaghost::bench {

/// Makes the directory (named after `prefix` in the temporary directory) and points the
/// environment at it.
inline std::filesystem::path makePrivateDeskRoot(const char *prefix) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    const fs::path dir = ::mkdtemp(pattern.data());
    fs::create_directories(dir / "config");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("LUMAGHOST_ROOT", (dir / "root").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return dir;
}

/// Lumadesk on the camera of the root `dir`, without a tray, with `prompter`'s answers, once
/// its camera has started.
inline std::unique_ptr<CLumadeskApp> startLumadesk(const std::filesystem::path &dir,
                                                   Prompter &prompter) {
    DeskEnvironment services;
    services.prompter = &prompter;
    services.startCamera = [] { return startCamera(systemVersionSource()); };
    services.trayAvailable = [] { return false; };
    services.openUrl = [](const QUrl &) { return true; };
    services.applicationFolder = QString::fromStdString(dir.string());
    services.versions = &systemVersionSource();
    auto app = std::make_unique<CLumadeskApp>(services, std::cerr);
    app->InitInstance({}, QString(), QString());
    while (!app->frame()->view()->cameraStarted())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return app;
}

}  // namespace lumaghost::bench
