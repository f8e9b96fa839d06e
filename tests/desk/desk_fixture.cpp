#include "tests/desk/desk_fixture.h"

#include <cstdlib>

#include <QAction>
#include <QElapsedTimer>
#include <QTimer>

#include "desk/lumadesk_view.h"
#include "desk/main_frame.h"
#include "desk/setup_main.h"

namespace lumaghost::test {

namespace fs = std::filesystem;

void ensureApplication() {
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "desk_test";
    static char *argv[] = {name, nullptr};
    auto *application = new QApplication(argc, argv);  // kept for the whole test program
    application->setQuitOnLastWindowClosed(false);
}

MessageAnswer ScriptedPrompter::ask(QWidget *owner, const QString &caption, const QString &text,
                                    MessageButtons buttons, MessageIcon) {
    shown.push_back({caption, text, buttons, owner != nullptr});
    if (!answers.empty()) {
        MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

DeskFixture::DeskFixture() {
    ensureApplication();
    home_ = root_.path() / "home";
    program_ = root_.path() / "program";
    fs::create_directories(home_ / "config");
    fs::create_directories(program_);
    fs::create_directories(root_.path() / "run");
    fs::permissions(root_.path() / "run", fs::perms::owner_all);
    ::setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home_ / "data").c_str(), 1);
    fs::create_directory_symlink(fs::path(LUMAGHOST_RES_DIR) / "lang", program_ / "Language");
    for (const char *page : {"Lumaghost.html", "Lumaghost1031.html"})
        fs::copy_file(fs::path(LUMAGHOST_RES_DIR) / "help" / page, program_ / page);
}

DeskFixture::~DeskFixture() {
    if (app_)
        exit();
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DATA_HOME");
}

fs::path DeskFixture::configFile() const {
    return home_ / "config" / "Quillmoor" / "Lumadesk.conf";
}

CLumadeskApp::StartResult DeskFixture::start(const QStringList &arguments) {
    DeskServices services;
    services.prompter = &prompter_;
    services.startCamera = [this] {
        if (cameraStart_)
            return cameraStart_();
        CameraStart start;
        start.outcome = cameraOutcome_;
        start.realCameras = realCameras_;
        return start;
    };
    services.trayAvailable = [this] { return trayAvailable_; };
    services.openUrl = [this](const QUrl &url) {
        opened_.push_back(url);
        return true;
    };
    services.applicationFolder = QString::fromStdString(program_.string());
    services.versions = versions_ ? versions_ : &systemVersionSource();
    services.serviceManager = &serviceManager_;
    app_ = std::make_unique<CLumadeskApp>(services, errors_);
    const auto result = app_->InitInstance(
        arguments, QString::fromStdString((root_.path() / "run").string()), "lumadesk-test");
    if (result == CLumadeskApp::StartResult::Running) {
        EXPECT_TRUE(waitFor([this] { return app_->frame()->view()->cameraStarted(); }));
    }
    return result;
}

CMainFrame &DeskFixture::frame() {
    return *app_->frame();
}

void DeskFixture::trigger(int commandId) {
    QAction *action = frame().command(commandId);
    ASSERT_NE(action, nullptr) << commandId;
    action->trigger();
    // The command runs from the event loop, after the trigger has returned.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void DeskFixture::runSetup(const std::function<void(CSetupMain &)> &interact) {
    bool done = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<CSetupMain *>(QApplication::activeModalWidget())) {
            poll.stop();
            done = true;
            interact(*dialog);
        }
    });
    poll.start(5);
    trigger(cmd::kSetup);
    EXPECT_TRUE(done) << "the Setup dialog did not open";
}

void DeskFixture::exit() {
    frame().close();
    app_->ExitInstance();
    app_.reset();
}

std::vector<std::string> DeskFixture::messages() const {
    std::vector<std::string> lines;
    for (const ShownMessage &m : prompter_.shown)
        lines.push_back((m.caption + QStringLiteral(": ") + m.text).toStdString());
    return lines;
}

}  // namespace lumaghost::test
