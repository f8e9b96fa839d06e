// lumadesk: the desktop application of the Lumaghost camera.
#include <iostream>

#include <QApplication>

#include "desk/lumadesk_app.h"
#include "desk/single_instance.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumadesk"));
    QGuiApplication::setDesktopFileName(QStringLiteral("lumadesk"));
    // The window may be hidden in the tray while a message box closes: only the main
    // window's own close ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    using lumaghost::CLumadeskApp;
    CLumadeskApp desk(lumaghost::DeskServices::system(), std::cerr);
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
    const int result = QApplication::exec();
    desk.ExitInstance();
    return result;
}
