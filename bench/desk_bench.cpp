// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's start and its command update pass, on Qt's offscreen platform.
//
//   build/bench/lumaghost_desk_bench [--benchmark_filter=...]
//
// BM_ProcessStartToWindow: from the start of a lumadesk process until its event loop answers
// (the main window is shown by then), measured by a second start's hand-over on the single-
// instance socket. Offscreen by default; with QT_QPA_PLATFORM=xcb and DISPLAY, on that X
// server. BM_InitInstance: the start-up steps inside the process, to the window
// shown. BM_UpdatePass: one pass over every command's enable and check rule.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include <QApplication>
#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "desk/app/lumadesk_app.h"
#include "desk/app/single_instance.h"
#include "desk/model/desk_environment.h"
#include "desk/model/parts.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;
using namespace lumaghost;

struct Scratch {
    fs::path dir;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "lumadesk-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        fs::create_directories(dir / "config");
        fs::create_directories(dir / "root");
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        ::setenv("LUMAGHOST_ROOT", (dir / "root").c_str(), 1);
        // Offscreen unless a platform is named: QT_QPA_PLATFORM=xcb with DISPLAY measures an X
        // server's windows.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Scratch &scratch() {
    static Scratch s;
    return s;
}

class SilentPrompter : public Prompter {
public:
    MessageAnswer ask(QWidget *, const QString &, const QString &, MessageButtons,
                      MessageIcon) override {
        return MessageAnswer::Ok;
    }
};

DeskEnvironment benchServices() {
    static SilentPrompter prompter;
    DeskEnvironment services;
    services.prompter = &prompter;
    services.startCamera = [] { return CameraStart(); };
    services.trayAvailable = [] { return false; };
    services.openUrl = [](const QUrl &) { return true; };
    services.applicationFolder = QStringLiteral(LUMADESK_DIR);
    services.versions = &systemVersionSource();
    return services;
}

void ensureApplication() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "lumaghost_desk_bench";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// True once the instance at `socketPath` confirms a hand-over.
bool answers(const std::string &socketPath) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", socketPath.c_str());
    bool ok = false;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0) {
        static const char request[] = "LUMADESK\0";  // no files: come to the front
        ok = ::write(fd, request, sizeof(request)) == sizeof(request);
        char answer = 0;
        ok = ok && ::read(fd, &answer, 1) == 1 && answer == 'K';
    }
    ::close(fd);
    return ok;
}

void BM_ProcessStartToWindow(benchmark::State &state) {
    scratch();
    const std::string socket =
        (scratch().dir / (SingleInstance::defaultName().toStdString() + ".socket")).string();
    for (auto _ : state) {
        char program[] = LUMADESK_PATH;
        char *argv[] = {program, nullptr};
        const auto begin = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("lumadesk could not be started");
            return;
        }
        while (!answers(socket))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
}
BENCHMARK(BM_ProcessStartToWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_InitInstance(benchmark::State &state) {
    scratch();
    ensureApplication();
    const QString instances = QString::fromStdString((scratch().dir / "in-process").string());
    fs::create_directories(scratch().dir / "in-process");
    fs::permissions(scratch().dir / "in-process", fs::perms::owner_all);
    for (auto _ : state) {
        CLumadeskApp app(benchServices(), std::cerr);
        app.InitInstance({}, instances, QStringLiteral("bench"));
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(app.frame()->isVisible());
        state.PauseTiming();
        app.ExitInstance();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_InitInstance)->Unit(benchmark::kMillisecond)->Iterations(20);

// Parts whose state queries cost what a real part's member reads cost.
struct BenchPicture : PicturePart {
    void openPicture(const QString &) override {}
    void zoomIn() override {}
    void zoomOut() override {}
    void zoomOff() override {}
    void togglePickFrame() override {}
    void setCameraPicture() override {}
    void paste() override {}
    void showPrevious() override {}
    void showNext() override {}
    void ensurePickFrameShown() override {}
    bool clipboardHasImage() const override { return false; }
    bool hasPrevious() const override { return true; }
    bool hasNext() const override { return false; }
    void paint(QPainter &, const QRect &) override {}
};
struct BenchSequence : SequencePart {
    void openSequence(const QString &) override {}
    void save() override {}
    void addItem() override {}
    void deleteItem() override {}
    void play() override {}
    void stop() override {}
    int itemCount() const override { return items; }
    int selectedItem() const override { return items > 1 ? 1 : -1; }
    int items = 3;
    bool isPlaying() const override { return false; }
};

void BM_UpdatePass(benchmark::State &state) {
    scratch();
    ensureApplication();
    fs::create_directories(scratch().dir / "update");
    fs::permissions(scratch().dir / "update", fs::perms::owner_all);
    CLumadeskApp app(benchServices(), std::cerr);
    app.InitInstance({}, QString::fromStdString((scratch().dir / "update").string()),
                     QStringLiteral("update"));
    QCoreApplication::processEvents();
    CMainFrame &frame = *app.frame();
    frame.setCameraItems({"Camera one", "Camera two", "Camera three"});
    auto *sequence = new BenchSequence;
    if (state.range(0)) {
        frame.parts().setPicture(std::make_unique<BenchPicture>());
        frame.parts().setSequence(std::unique_ptr<SequencePart>(sequence));
    }
    for (auto _ : state) {
        // With range(1), every pass finds the sequence emptied or filled: five commands
        // change their state each time.
        if (state.range(1))
            sequence->items = sequence->items ? 0 : 3;
        frame.updateCommandStates();
    }
    if (!state.range(0))
        delete sequence;
    state.counters["commands"] = double(frame.commandActions().size());
    app.ExitInstance();
}
BENCHMARK(BM_UpdatePass)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
