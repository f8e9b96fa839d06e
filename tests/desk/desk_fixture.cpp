// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/desk/desk_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include <QAction>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QTimer>

#include "desk/dialogs/setup_main.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"

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

HResult RecordingCamera::get(const Guid &set, uint32_t id, void *, uint32_t, void *data,
                             uint32_t length, uint32_t *returned) {
    std::lock_guard lock(mutex_);
    if (set != PROPSETID_CameraLink)
        return E_PROP_SET_UNSUPPORTED;
    if (returned)
        *returned = length;
    if (id == CAMERA_PROP_VERSION && length >= sizeof(VersionRecord)) {
        VersionRecord record{};
        record.version = CAMERA_DRIVER_VERSION;
        std::memcpy(data, &record, sizeof(record));
        return S_OK;
    }
    if (id == CAMERA_PROP_FORMAT && length >= sizeof(FormatRecord)) {
        FormatRecord record{};
        record.width = width_;
        record.height = height_;
        std::memcpy(data, &record, sizeof(record));
        return fetchResult_;
    }
    if (id == CAMERA_PROP_FRAME && length >= sizeof(FrameDescriptor)) {
        ++fetches_;
        if (fetchResult_.failed())
            return fetchResult_;
        const uint32_t bytes = byteCount_ ? byteCount_ : uint32_t(width_ * height_ * 3);
        buffer_.assign(bytes + kGuard, kFill);
        FrameDescriptor d{};
        d.width = width_;
        d.height = height_;
        d.byteCount = bytes;
        d.setBuffer(buffer_.data());
        std::memcpy(data, &d, sizeof(d));
        return S_OK;
    }
    return E_PROP_ID_UNSUPPORTED;
}

HResult RecordingCamera::set(const Guid &, uint32_t id, void *, uint32_t, void *data,
                             uint32_t length) {
    std::lock_guard lock(mutex_);
    if (id != CAMERA_PROP_FRAME || length < sizeof(FrameDescriptor))
        return E_PROP_ID_UNSUPPORTED;
    if (commitResult_.failed())
        return commitResult_;
    FrameDescriptor d;
    std::memcpy(&d, data, sizeof(d));
    if (d.buffer() != buffer_.data() || d.byteCount + kGuard != buffer_.size())
        return E_INVALIDARG;
    commits_.push_back({std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + d.byteCount),
                        std::chrono::steady_clock::now()});
    committed_.notify_all();
    return S_OK;
}

void RecordingCamera::setSize(int width, int height) {
    std::lock_guard lock(mutex_);
    width_ = width;
    height_ = height;
}

void RecordingCamera::setByteCount(uint32_t byteCount) {
    std::lock_guard lock(mutex_);
    byteCount_ = byteCount;
}

void RecordingCamera::setFailures(HResult fetch, HResult commit) {
    std::lock_guard lock(mutex_);
    fetchResult_ = fetch;
    commitResult_ = commit;
}

std::vector<RecordingCamera::Commit> RecordingCamera::commits() const {
    std::lock_guard lock(mutex_);
    return commits_;
}

size_t RecordingCamera::commitCount() const {
    std::lock_guard lock(mutex_);
    return commits_.size();
}

int RecordingCamera::fetches() const {
    std::lock_guard lock(mutex_);
    return fetches_;
}

bool RecordingCamera::guardIntact() const {
    std::lock_guard lock(mutex_);
    return buffer_.size() >= kGuard &&
           std::all_of(buffer_.end() - kGuard, buffer_.end(), [](uint8_t b) { return b == kFill; });
}

bool RecordingCamera::waitForCommits(size_t count, int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return committed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return commits_.size() >= count; });
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
    DeskEnvironment environment;
    environment.prompter = &prompter_;
    environment.startCamera = [this] {
        if (cameraStart_)
            return cameraStart_();
        CameraStart start;
        start.outcome = cameraOutcome_;
        start.realCameras = realCameras_;
        if (cameraOutcome_ == CameraStart::Outcome::Ready) {
            start.link.captureFilter = std::make_unique<RecordingCameraFilter>(camera_);
            start.link.properties = &camera_;
        }
        return start;
    };
    environment.trayAvailable = [this] { return trayAvailable_; };
    environment.openUrl = [this](const QUrl &url) {
        opened_.push_back(url);
        return true;
    };
    environment.applicationFolder = QString::fromStdString(program_.string());
    environment.versions = versions_ ? versions_ : &systemVersionSource();
    environment.serviceManager = otherServiceManager_ ? otherServiceManager_ : &serviceManager_;
    app_ = std::make_unique<CLumadeskApp>(environment, errors_);
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

HResult DeskFixture::playMovie(const QString &path) {
    auto outcome = std::make_shared<std::optional<HResult>>();
    const HResult result =
        frame().view()->playMovieFile(path, [outcome](HResult started) { *outcome = started; });
    if (result.failed())
        return result;
    if (!waitFor([&] { return outcome->has_value(); }, 20000)) {
        ADD_FAILURE() << "the start of " << path.toStdString() << " had no outcome";
        return E_FAIL;
    }
    return **outcome;
}

std::vector<std::string> DeskFixture::messages() const {
    std::vector<std::string> lines;
    for (const ShownMessage &m : prompter_.shown)
        lines.push_back((m.caption + QStringLiteral(": ") + m.text).toStdString());
    return lines;
}

void leaveEdit(QLineEdit *edit, const QString &text) {
    edit->setText(text);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
}

}  // namespace lumaghost::test
