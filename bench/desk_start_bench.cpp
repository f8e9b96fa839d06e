// SPDX-License-Identifier: LGPL-2.1-or-later
// The user-interface thread while a source starts. A 2 ms timer ticks on Lumadesk's event loop;
// the longest gap between its ticks, from the command until the source is on the camera, is
// how long the window could not answer.
//
// BM_MovieStartStall: a movie read through a source that takes 300 ms to open and whose first
// buffer comes 1.5 s late (a file on a slow share). BM_CameraStartStall: a real camera that takes
// 300 ms to open and 1.5 s to send its first frame. Counters: longest_stall_ms (the largest over
// the iterations), start_ms (from the command until the source is on the camera).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "bench/private_desk_root.h"
#include "camera/camera_link.h"
#include "desk/app/lumadesk_app.h"
#include "desk/app/system_environment.h"
#include "desk/media/media_services.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_environment.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "gst/media_graph.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/gst/slow_source.h"

namespace {

namespace fs = std::filesystem;
using namespace lumaghost;

constexpr test::SlowTimes kSlow{300, 1500};
constexpr int kTickMs = 2;

class SilentPrompter : public Prompter {
public:
    MessageAnswer ask(QWidget *, const QString &, const QString &text, MessageButtons buttons,
                      MessageIcon) override {
        std::cerr << "desk_start_bench: message: " << text.toStdString() << '\n';
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
};

/// Runs `pipeline` into a file sink at `path` to its end.
void writeMediaFile(const fs::path &path, const std::string &pipeline) {
    GstElement *p =
        gst_parse_launch((pipeline + " ! filesink location=" + path.string()).c_str(), nullptr);
    if (!p)
        return;
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(p);
    if (GstMessage *m = gst_bus_timed_pop_filtered(
            bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)))
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
}

void install(const char *number, const char *name) {
    RegistryHive machine = machineHive();
    const DeviceInstance device{"MEDIA", number};
    (void)machine.setValue(device.keyPath(), kFriendlyNameValue, RegValue::string(name));
    (void)machine.setValue(device.keyPath(), kServiceValue, RegValue::string("lumacam"));
    (void)FrameChannel::create(frameChannelPath(device), {320, 240, 30});
}

/// A private root with the camera and a real camera, a slow movie, and Lumadesk running on
/// them, its real camera slow to start.
struct Desk {
    fs::path dir;
    QString movie;
    SilentPrompter prompter;
    std::unique_ptr<CLumadeskApp> app;

    Desk() {
        dir = lumaghost::bench::makePrivateDeskRoot("lumadesk-start-bench");
        install("0000", "Lumaghost");
        install("0001", "Real Cam");

        static int argc = 1;
        static char name[] = "lumaghost_desk_start_bench";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
        (void)initMediaGraphs();
        (void)test::registerSlowSource();
        test::setSlowFileTimes(kSlow);
        const fs::path clip = dir / "clip.avi";
        writeMediaFile(clip,
                       "videotestsrc num-buffers=300 ! video/x-raw,width=320,"
                       "height=240,framerate=30/1 ! jpegenc ! avimux");
        movie = QString::fromStdString(test::slowFileUri(clip.string()));

        app = lumaghost::bench::startLumadesk(dir, prompter);
        MediaServices media = MediaServices::system();
        media.cameraGraph = [](const std::string &, bool, const RendererSettings &settings,
                               Post post, std::unique_ptr<CameraGraph> &out) {
            return CameraGraph::create(test::makeSlowCamera(kSlow), settings, std::move(post), out);
        };
        app->frame()->createMediaParts(media);
        QCoreApplication::processEvents();
    }
    ~Desk() {
        app->ExitInstance();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    CMainFrame &frame() { return *app->frame(); }
};

Desk &desk() {
    static Desk d;
    return d;
}

struct Stall {
    double longestMs = 0;
    double startMs = 0;
};

/// Runs `command` from the event loop while the timer ticks, until `started` holds.
Stall measure(const std::function<void()> &command, const std::function<bool()> &started) {
    Stall stall;
    QElapsedTimer gap, since;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        stall.longestMs = std::max(stall.longestMs, double(gap.nsecsElapsed()) / 1e6 - kTickMs);
        gap.restart();
    });
    bool issued = false;
    QTimer::singleShot(20, [&] {
        since.start();
        issued = true;
        command();
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (issued && started()) {
            stall.startMs = double(since.nsecsElapsed()) / 1e6;
            loop.quit();
        }
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    gap.start();
    tick.start(kTickMs);
    poll.start(5);
    loop.exec();
    poll.stop();
    // A little longer: whatever the start left to do afterwards counts too.
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    return stall;
}

void report(benchmark::State &state, double longest, double startTotal, int runs) {
    state.counters["longest_stall_ms"] = longest;
    state.counters["start_ms"] = runs ? startTotal / runs : 0;
}

/// Starts a source `state`'s iterations long, from the command until `started`, and stops it.
template <typename Start, typename Started>
void startStalls(benchmark::State &state, Desk &d, Start start, Started started) {
    double longest = 0, startTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        const Stall stall = measure(start, started);
        longest = std::max(longest, stall.longestMs);
        startTotal += stall.startMs;
        ++runs;
        state.PauseTiming();
        d.frame().parts().movie()->stopGraphPlayback();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    report(state, longest, startTotal, runs);
}

void BM_MovieStartStall(benchmark::State &state) {
    Desk &d = desk();
    startStalls(
        state, d, [&] { (void)d.frame().view()->playMovieFile(d.movie); },
        [&] { return d.frame().onCamera().kind == OnCamera::Kind::Movie; });
}
BENCHMARK(BM_MovieStartStall)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CameraStartStall(benchmark::State &state) {
    Desk &d = desk();
    startStalls(
        state, d,
        [&] {
            d.frame().updateCommandStates();
            d.frame().command(cmd::kFirstCamera)->trigger();
        },
        [&] { return d.frame().onCamera().kind == OnCamera::Kind::RealCamera; });
}
BENCHMARK(BM_CameraStartStall)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
