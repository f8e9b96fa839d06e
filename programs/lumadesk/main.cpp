// SPDX-License-Identifier: LGPL-2.1-or-later
// lumadesk: the desktop application of the Lumaghost camera.
#include <csignal>
#include <iostream>
#include <memory>

#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include "desk/app/lumadesk_app.h"
#include "desk/app/system_environment.h"
#include "desk/app/single_instance.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

}  // namespace

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
    // questions: the window's place and the recent lists are written.
    std::unique_ptr<QSocketNotifier> termination;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        termination = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(termination.get(), &QSocketNotifier::activated, [] {
            char byte;
            while (::read(signalPipe[0], &byte, 1) > 0) {
            }
            QApplication::quit();
        });
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }
    const int result = QApplication::exec();
    desk.ExitInstance();
    return result;
}
