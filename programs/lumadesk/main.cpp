// SPDX-License-Identifier: LGPL-2.1-or-later
// lumadesk: the desktop application of the Lumaghost camera.
#include <iostream>

#include <QApplication>

#include "desk/app/lumadesk_app.h"
#include "desk/app/single_instance.h"
#include "desk/app/system_environment.h"
#include "desk/app/termination_signals.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumadesk"));
    QGuiApplication::setDesktopFileName(QStringLiteral("lumadesk"));
    // The window may be hidden in the tray while a message box closes: only the main
    // window's own close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    using lumaghost::CLumadeskApp;
    CLumadeskApp desk(lumaghost::systemEnvironment(), std::cerr);
    switch (desk.InitInstance(QApplication::arguments().mid(1),
                              lumaghost::SingleInstance::defaultDirectory(),
                              lumaghost::SingleInstance::defaultName())) {
        case CLumadeskApp::StartResult::AnotherInstance:
            return 0;
        case CLumadeskApp::StartResult::Failed:
            return 1;
        case CLumadeskApp::StartResult::Running:
            break;
    }
    // SIGTERM, SIGINT and SIGHUP end the program as closing the window does, without its
    // questions: the sources stop, the window's place and the recent lists are written.
    lumaghost::TerminationSignals termination;
    QObject::connect(&termination, &lumaghost::TerminationSignals::received, &desk,
                     &CLumadeskApp::terminate);
    const int result = QApplication::exec();
    desk.ExitInstance();
    return result;
}
