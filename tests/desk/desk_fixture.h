// SPDX-License-Identifier: LGPL-2.1-or-later
// A Lumadesk under test: its own settings, data and runtime folders, language packs and help
// pages beside a stand-in program folder, message boxes that answer from a script, and parts
// (desk/model/parts.h) that record what they are asked.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <gtest/gtest.h>

#include "desk/app/lumadesk_app.h"
#include "desk/model/desk_environment.h"
#include "desk/model/parts.h"
#include "service/service_platform.h"
#include "tests/test_support.h"

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lumaghost {
class CMainFrame;
class CSetupMain;
}  // namespace lumaghost

namespace lumaghost::test {

/// Creates the QApplication of the test program once, on the offscreen platform.
void ensureApplication();

struct ShownMessage {
    QString caption;
    QString text;
    MessageButtons buttons;
    bool owned;
};

/// Message boxes that answer in turn from `answers` (Yes for a question, OK otherwise, when
/// none is left) and remember what they showed.
class ScriptedPrompter : public Prompter {
public:
    MessageAnswer ask(QWidget *owner, const QString &caption, const QString &text,
                      MessageButtons buttons, MessageIcon icon) override;

    std::vector<ShownMessage> shown;
    std::deque<MessageAnswer> answers;
};

/// A version source of another platform.
class FixedVersion : public VersionSource {
public:
    FixedVersion(uint32_t platformId, uint32_t major, uint32_t minor)
        : platformId_(platformId), major_(major), minor_(minor) {}
    bool getVersionEx(OsVersionInfo &info) override {
        info.platformId = platformId_;
        info.major = major_;
        info.minor = minor_;
        return true;
    }

private:
    uint32_t platformId_, major_, minor_;
};

// Parts that record their calls.
struct FakePicture : PicturePart {
    QStringList opened;
    int pickFrameShown = 0;
    void openPicture(const QString &path) override { opened.append(path); }
    void zoomIn() override {}
    void zoomOut() override {}
    void zoomOff() override {}
    void togglePickFrame() override {}
    void setCameraPicture() override {}
    void paste() override {}
    void showPrevious() override {}
    void showNext() override {}
    void ensurePickFrameShown() override { ++pickFrameShown; }
    bool clipboardHasImage() const override { return false; }
    bool hasPrevious() const override { return false; }
    bool hasNext() const override { return false; }
    void paint(QPainter &, const QRect &) override {}
};

struct FakeSequence : SequencePart {
    QStringList opened;
    int saves = 0;
    int items = 0;
    bool playing = false;
    void openSequence(const QString &path) override { opened.append(path); }
    void save() override { ++saves; }
    void addItem() override { ++items; }
    void deleteItem() override {}
    void play() override { playing = true; }
    void stop() override { playing = false; }
    int itemCount() const override { return items; }
    int selectedItem() const override { return -1; }
    bool isPlaying() const override { return playing; }
};

struct FakeMovie : MoviePart {
    QStringList played;
    HResult result = S_OK;
    bool graph = false;
    GraphState state = GraphState::Running;
    int stops = 0;
    void playMovieCommand() override {}
    /// Starts at once: `started` hears of a success before this returns.
    HResult playMovieFile(const QString &path, MovieStarted started) override {
        played.append(path);
        if (result.succeeded() && started)
            started(result);
        return result;
    }
    void stopGraphPlayback() override {
        ++stops;
        graph = false;
    }
    bool graphExists() const override { return graph; }
    GraphState queryGraphState(int) override { return state; }
};

/// A service manager whose service exists and that remembers the start types it was given;
/// called from the service control's worker thread.
class FakeServiceManager : public ServiceManager {
public:
    HResult connect() override { return S_OK; }
    HResult createService(const ServiceInstallation &) override { return S_OK; }
    HResult openService(const std::string &) override { return S_OK; }
    HResult deleteService(const std::string &) override { return S_OK; }
    HResult controlStop(const std::string &, ServiceStatus &) override { return S_OK; }
    HResult queryStatus(const std::string &, ServiceStatus &) override { return S_OK; }
    HResult startService(const std::string &) override { return S_OK; }
    HResult changeStartType(const std::string &name, uint32_t startType) override {
        std::lock_guard lock(mutex);
        startTypes.emplace_back(name, startType);
        return S_OK;
    }
    HResult runDispatcher(const std::string &, const std::function<void()> &) override {
        return S_OK;
    }
    HResult registerControlHandler(const std::string &, std::function<void(uint32_t)>) override {
        return S_OK;
    }
    HResult setStatus(const ServiceStatus &) override { return S_OK; }

    std::mutex mutex;  // guards startTypes
    std::vector<std::pair<std::string, uint32_t>> startTypes;
};

/// A camera that hands out a frame buffer (guarded by bytes after it) and keeps every frame
/// committed to it; its calls may come from any thread.
class RecordingCamera : public PropertySet {
public:
    static constexpr uint8_t kFill = 0xEE;  // a fresh buffer's bytes, and the guard's
    static constexpr size_t kGuard = 64;

    struct Commit {
        std::vector<uint8_t> frame;  // the byte count's worth
        std::chrono::steady_clock::time_point at;
    };

    HResult get(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength, void *data,
                uint32_t length, uint32_t *returned) override;
    HResult set(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength, void *data,
                uint32_t length) override;

    /// The frame size; the byte count is width × height × 3 unless `byteCount` is set.
    void setSize(int width, int height);
    void setByteCount(uint32_t byteCount);
    void setFailures(HResult fetch, HResult commit);
    std::vector<Commit> commits() const;
    size_t commitCount() const;
    int fetches() const;
    /// The guard after the last buffer handed out is untouched.
    bool guardIntact() const;
    /// Waits (without the event loop) until `count` frames were committed.
    bool waitForCommits(size_t count, int timeoutMs = 5000) const;

private:
    mutable std::mutex mutex_;  // guards everything below
    mutable std::condition_variable committed_;
    int32_t width_ = 32, height_ = 24;
    uint32_t byteCount_ = 0;
    HResult fetchResult_ = S_OK, commitResult_ = S_OK;
    std::vector<uint8_t> buffer_;
    std::vector<Commit> commits_;
    int fetches_ = 0;
};

/// A camera filter answering with a RecordingCamera.
class RecordingCameraFilter : public BaseFilter {
public:
    explicit RecordingCameraFilter(RecordingCamera &camera) : camera_(camera) {}
    FilterKind kind() const override { return FilterKind::Lumaghost; }
    std::string friendlyName() const override { return "Lumaghost"; }
    std::string location() const override { return "test:camera"; }
    HResult queryPropertySet(PropertySet **out) override {
        *out = &camera_;
        return S_OK;
    }

private:
    RecordingCamera &camera_;
};

class DeskFixture : public ::testing::Test {
protected:
    DeskFixture();
    ~DeskFixture() override;

    /// Starts Lumadesk with `arguments` and waits for its camera start.
    CLumadeskApp::StartResult start(const QStringList &arguments = {});
    CLumadeskApp &app() { return *app_; }
    CMainFrame &frame();
    /// Runs a command as its menu item does, and lets it finish.
    void trigger(int commandId);
    /// Runs the Setup command; `interact` works the dialog and closes it.
    void runSetup(const std::function<void(CSetupMain &)> &interact);
    /// Ends the program as the window's close does.
    void exit();
    /// Plays a movie through the view and waits for the outcome of its start.
    HResult playMovie(const QString &path);

    std::filesystem::path configFile() const;
    /// The messages shown, as "caption: text" lines.
    std::vector<std::string> messages() const;

    TempRoot root_;
    std::filesystem::path home_;
    std::filesystem::path program_;  // the stand-in program folder
    ScriptedPrompter prompter_;
    CameraStart::Outcome cameraOutcome_ = CameraStart::Outcome::NotFound;
    /// When set, the camera start instead of the outcome above (the real one, say).
    std::function<CameraStart()> cameraStart_;
    std::vector<std::string> realCameras_;
    bool trayAvailable_ = false;
    VersionSource *versions_ = nullptr;
    FakeServiceManager serviceManager_;
    /// Another service manager in place of serviceManager_.
    ServiceManager *otherServiceManager_ = nullptr;
    /// The camera the view's link reaches when cameraOutcome_ is Ready.
    RecordingCamera camera_;
    std::vector<QUrl> opened_;
    std::ostringstream errors_;
    std::unique_ptr<CLumadeskApp> app_;
};

/// Processes events until `done` holds or `timeoutMs` has passed.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000);

/// Types `text` into `edit` and leaves it, as the user does.
void leaveEdit(QLineEdit *edit, const QString &text);

}  // namespace lumaghost::test
