// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's camera sources, measured: the processor time of a 720p30 H.264 movie played into a
// 640 × 480 camera, split into the decoding and our share (renderer and user interface); how
// long the user-interface thread is held up while the movie plays; and the latency a real
// camera's passthrough adds between its frame and the camera's.
//
//   build/bench/lumaghost_media_bench [SECONDS]
//
// Each movie run lasts SECONDS (default 10) of media time. The movie is made with x264enc
// (gstreamer1.0-plugins-ugly), 8-bit 4:2:0 as movies are.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gst/gst.h>

#include "camera/camera_link.h"
#include "camera/camera_reader.h"
#include "desk/app/lumadesk_app.h"
#include "desk/app/system_environment.h"
#include "desk/media/movie_player.h"
#include "desk/model/desk_environment.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "gst/media_graph.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace lumaghost;
using Clock = std::chrono::steady_clock;

double processSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

/// Processor time of this process' threads while their name starts with a prefix. GStreamer
/// names a streaming thread after its pad (the video sink's is "vqueue:src") and hands its
/// threads from one task to the next, so the time is counted per thread between samples,
/// for the samples at which the thread bore the name.
class ThreadMeter {
public:
    explicit ThreadMeter(std::string prefix) : prefix_(std::move(prefix)) { sample(); }

    void sample() {
        std::error_code ec;
        for (const auto &task : fs::directory_iterator("/proc/self/task", ec)) {
            std::ifstream statFile(task.path() / "stat");
            const std::string stat((std::istreambuf_iterator<char>(statFile)), {});
            const size_t open = stat.find('('), close = stat.rfind(')');
            if (open == std::string::npos || close == std::string::npos)
                continue;
            const std::string name = stat.substr(open + 1, close - open - 1);
            // The fields after the name: state is the 3rd, utime and stime the 14th and 15th.
            std::istringstream fields(stat.substr(close + 2));
            std::string field;
            unsigned long long ticks = 0;
            for (int i = 3; i <= 15 && fields >> field; ++i) {
                if (i == 14 || i == 15)
                    ticks += std::stoull(field);
            }
            const std::string tid = task.path().filename();
            auto seen = last_.find(tid);
            if (seen != last_.end() && name.rfind(prefix_, 0) == 0)
                seconds_ += double(ticks - seen->second) / double(::sysconf(_SC_CLK_TCK));
            last_[tid] = ticks;
        }
    }
    double seconds() const { return seconds_; }

private:
    std::string prefix_;
    std::map<std::string, unsigned long long> last_;
    double seconds_ = 0;
};

void install(const char *number, const char *name, uint32_t width, uint32_t height) {
    RegistryHive hive = machineHive();
    DeviceInstance d{"MEDIA", number};
    (void)hive.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string(name));
    (void)hive.setValue(d.keyPath(), kServiceValue, RegValue::string("lumacam"));
    (void)FrameChannel::create(frameChannelPath(d), {width, height, 30});
}

/// Runs a pipeline description to its end; false on an error. `sinkSeconds`, when given,
/// receives the processor time of its video sink's thread (sampled while it runs, since the
/// thread ends with the pipeline).
bool runToEnd(const std::string &description, double *sinkSeconds = nullptr) {
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline || error) {
        std::fprintf(stderr, "media_bench: %s\n", error ? error->message : "no pipeline");
        if (error)
            g_error_free(error);
        return false;
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *m = nullptr;
    ThreadMeter sink("vqueue");
    while (!m) {
        m = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND,
                                       GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        sink.sample();
    }
    if (sinkSeconds)
        *sinkSeconds = sink.seconds();
    const bool ok = GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
    if (!ok) {
        GError *e = nullptr;
        gst_message_parse_error(m, &e, nullptr);
        std::fprintf(stderr, "media_bench: %s\n", e ? e->message : "error");
        if (e)
            g_error_free(e);
    }
    gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok;
}

class SilentPrompter : public Prompter {
public:
    MessageAnswer ask(QWidget *, const QString &, const QString &text, MessageButtons,
                      MessageIcon) override {
        std::fprintf(stderr, "media_bench: message: %s\n", text.toUtf8().constData());
        return MessageAnswer::Ok;
    }
};

struct Share {
    double process = 0;  // seconds of processor time per second of media
    double uiThread = 0;
    double videoSinkThread = 0;  // videoconvert and the renderer
    double startMs = 0;          // from playMovieFile until the graph has prerolled and runs
    double longestStallMs = 0;
    int stallsOver16Ms = 0;
};

/// The movie played by Lumadesk itself (offscreen): the movie part, its graph, its control
/// bar and the user-interface thread, for `seconds` of wall time after the first frame.
Share playInLumadesk(const QString &movie, int seconds, bool watchStalls) {
    static SilentPrompter prompter;
    DeskEnvironment services;
    services.prompter = &prompter;
    services.startCamera = [] { return startCamera(systemVersionSource()); };
    services.trayAvailable = [] { return false; };
    services.openUrl = [](const QUrl &) { return true; };
    services.versions = &systemVersionSource();
    Share share;
    CLumadeskApp app(services, std::cerr);
    if (app.InitInstance({}, QString(), QString()) != CLumadeskApp::StartResult::Running)
        return share;
    CLumadeskView &view = *app.frame()->view();
    while (!view.cameraStarted())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QElapsedTimer starting;
    starting.start();
    bool started = false;
    HResult outcome = S_OK;
    if (view.playMovieFile(movie,
                           [&](HResult result) {
                               started = true;
                               outcome = result;
                           })
            .failed())
        return share;
    while (!started && starting.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!started || outcome.failed())
        return share;
    share.startMs = double(starting.nsecsElapsed()) / 1e6;

    QElapsedTimer gap;
    QTimer tick;
    constexpr int kTickMs = 4;
    if (watchStalls) {
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double late = double(gap.nsecsElapsed()) / 1e6 - kTickMs;
            share.longestStallMs = std::max(share.longestStallMs, late);
            if (late > 16)
                ++share.stallsOver16Ms;
            gap.restart();
        });
        gap.start();
        tick.start(kTickMs);
    }
    // Sampled off the user-interface thread, whose own time is measured.
    ThreadMeter sink("vqueue");
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sink.sample();
        }
    });
    const double process = processSeconds(), ui = threadSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    share.process = (processSeconds() - process) / seconds;
    share.uiThread = (threadSeconds() - ui) / seconds;
    sampling = false;
    sampler.join();
    share.videoSinkThread = sink.seconds() / seconds;
    tick.stop();
    app.frame()->parts().movie()->stopGraphPlayback();
    app.ExitInstance();
    return share;
}

/// Median, 95th percentile and largest of the time from a commit on "Real Cam" to the
/// camera's commit, passed through as Lumadesk passes it.
void passthroughLatency(int samples) {
    std::unique_ptr<CameraGraph> graph;
    RendererSettings settings;
    settings.flags = FitFlags{1, 1, 1};
    if (CameraGraph::create(
            "Real Cam", true, settings, [](std::function<void()>) {}, graph)
            .failed() ||
        graph->run().failed()) {
        std::printf("passthrough: the graph did not start\n");
        return;
    }
    gst_element_get_state(graph->pipeline(), nullptr, nullptr, 5 * GST_SECOND);
    CameraLink real;
    std::unique_ptr<CameraReader> camera;
    if (openCameraLink(real, "Real Cam").failed() ||
        CameraReader::open(kCameraName, camera).failed()) {
        std::printf("passthrough: the cameras did not open\n");
        return;
    }
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        // Between the source's repeats of its last frame: a commit at a random phase.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i * 7) % 20));
        uint64_t seen = camera->commitSequence();
        std::vector<uint8_t> frame;
        const auto begin = Clock::now();
        (void)pushFrameToCamera(real, [i](const FrameDescriptor &d) {
            std::memset(d.buffer(), i % 250 + 1, d.byteCount);
            return S_OK;
        });
        // The camera gets the source's repeated frames as well: wait for this one's colour.
        for (;;) {
            seen = camera->waitForCommit(seen, 1000);
            if (!camera->readLatest(frame, &seen) || frame[frame.size() / 2] == i % 250 + 1)
                break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "passthrough 640x480 -> 640x480: median %.1f ms, 95th %.1f ms, largest %.1f ms "
        "(%d frames; one frame period is 33.3 ms)\n",
        ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back(), samples);
}

}  // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 10;
    char pattern[] = "/tmp/lumaghost-media-bench-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    fs::create_directories(dir / "config");
    ::setenv("LUMAGHOST_ROOT", dir.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    if (!initMediaGraphs())
        return 1;
    install("0000", "Lumaghost", 640, 480);
    install("0001", "Real Cam", 640, 480);

    const std::string movie = (dir / "movie.mp4").string();
    const int frames = seconds * 30;
    std::printf("making a %d s 1280x720 30 fps H.264 movie...\n", seconds);
    if (!runToEnd("videotestsrc num-buffers=" + std::to_string(frames) +
                  " pattern=smpte horizontal-speed=4 ! "
                  "video/x-raw,format=I420,width=1280,height=720,framerate=30/1 ! "
                  "x264enc speed-preset=faster bitrate=4000 key-int-max=60 ! "
                  "video/x-h264,profile=high ! mp4mux ! filesink location=" +
                  movie)) {
        std::printf("no movie (x264enc is in gstreamer1.0-plugins-ugly)\n");
    } else {
        const std::string uri = "file://" + movie;
        double before = processSeconds();
        runToEnd("playbin uri=" + uri + " video-sink=\"fakesink sync=true\"");
        const double decode = (processSeconds() - before) / seconds;
        double convert = 0;
        runToEnd("playbin uri=" + uri +
                     " video-sink=\"videoconvert ! video/x-raw,format=BGRx ! fakesink sync=true\"",
                 &convert);
        convert /= seconds;
        double graph = 0;
        runToEnd("playbin uri=" + uri +
                     " video-sink=\"videoconvert ! lumarenderer stretch=1 keep-ratio=1 center=1\"",
                 &graph);
        graph /= seconds;
        const Share desk = playInLumadesk(QString::fromStdString(movie), seconds, false);
        const Share stalls = playInLumadesk(QString::fromStdString(movie), seconds, true);
        std::printf("720p30 H.264 into 640x480 (pan and scan), %% of one core:\n");
        std::printf("  decoding (playbin into fakesink, whole process)        %5.1f %%\n",
                    decode * 100);
        std::printf("  video sink thread: videoconvert to BGRx alone          %5.1f %%\n",
                    convert * 100);
        std::printf("  video sink thread: videoconvert and lumarenderer       %5.1f %%\n",
                    graph * 100);
        std::printf("  Lumadesk playing it, whole process                     %5.1f %%\n",
                    desk.process * 100);
        std::printf("    its video sink thread %.1f %%, user-interface thread %.2f %%\n",
                    desk.videoSinkThread * 100, desk.uiThread * 100);
        std::printf("  our share: renderer and user interface %.1f %%; with videoconvert %.1f %%\n",
                    (desk.videoSinkThread - convert + desk.uiThread) * 100,
                    (desk.videoSinkThread + desk.uiThread) * 100);
        std::printf(
            "user-interface thread while it plays: longest hold-up %.1f ms, %d over 16 ms; "
            "the movie's start (graph built, first frame ready) %.0f ms\n",
            stalls.longestStallMs, stalls.stallsOver16Ms, stalls.startMs);
    }
    passthroughLatency(150);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
