// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's picture and sequence work on a real camera device (a frame channel in a private
// root, 320 × 240), on Qt's offscreen platform.
//
//   build/bench/lumaghost_desk_sequence_bench [--benchmark_filter=...]
//
// BM_SetPicture: the Set picture command from its call to the committed frame (the stored last
// image off, and on: its file and the driver key written too). BM_AddItem: the Add command, its
// thumbnail included. BM_OpenSequence100: opening a sequence of 100 frames of 640 × 480 until
// control returns to the window (counter thumbnails_ms: until the last thumbnail is made, in
// the background). BM_PlaybackDisplayTimes: 50 frames of 20 ... 60 ms played by the sequence
// worker, each display time measured at the camera by a reader woken by the commit; counters
// max_error_ms, mean_error_ms and within_2ms_pct; argument 1 plays them from a file, each
// record read while the one before is shown. BM_OpenHostileSequence: opening three hostile
// files (many tiny records, one huge record, eight large ones), with the peak memory.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>
#include <vector>

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include "bench/private_desk_root.h"
#include "camera/camera_link.h"
#include "camera/camera_reader.h"
#include "desk/app/lumadesk_app.h"
#include "desk/app/system_environment.h"
#include "desk/model/camera_gate.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_player.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "media/sequence_file.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace lumaghost;
using Clock = std::chrono::steady_clock;

class SilentPrompter : public Prompter {
public:
    MessageAnswer ask(QWidget *, const QString &, const QString &, MessageButtons buttons,
                      MessageIcon) override {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
};

/// A private root with one installed camera and a running Lumadesk on it.
struct Desk {
    fs::path dir;
    SilentPrompter prompter;
    std::unique_ptr<CLumadeskApp> app;

    Desk() {
        dir = lumaghost::bench::makePrivateDeskRoot("lumadesk-bench");
        RegistryHive machine = machineHive();
        const DeviceInstance device{"MEDIA", "0000"};
        (void)machine.setValue(device.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"));
        (void)machine.setValue(device.keyPath(), kServiceValue, RegValue::string("lumacam"));
        (void)FrameChannel::create(frameChannelPath(device), {320, 240, 30});

        static int argc = 1;
        static char name[] = "lumaghost_desk_sequence_bench";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
        app = lumaghost::bench::startLumadesk(dir, prompter);
        QImage picture(640, 480, QImage::Format_RGB32);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                picture.setPixel(x, y, qRgb(x & 255, y & 255, (x + y) & 255));
        picture.save(QString::fromStdString((dir / "picture.bmp").string()));
        app->doc()->OnOpenDocument(QString::fromStdString((dir / "picture.bmp").string()));
        QCoreApplication::processEvents();
    }
    ~Desk() {
        app->ExitInstance();
        app.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    CLumadeskView &view() { return *app->frame()->view(); }
    SequenceEditor &editor() {
        return dynamic_cast<SequenceEditor &>(*app->frame()->parts().sequence());
    }
    void setAutoSetLastImage(int on) {
        app->context().settings.writeInt(settings::kSettings, settings::kAutoSetLastImage.name, on);
        view().readSettings();
    }
};

Desk &desk() {
    static Desk instance;
    return instance;
}

void BM_SetPicture(benchmark::State &state) {
    Desk &d = desk();
    d.setAutoSetLastImage(int(state.range(0)));
    PicturePart &picture = *d.app->frame()->parts().picture();
    for (auto _ : state)
        picture.setCameraPicture();
    state.SetLabel(state.range(0) ? "with the stored image" : "frame only");
}
BENCHMARK(BM_SetPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_AddItem(benchmark::State &state) {
    Desk &d = desk();
    SequenceEditor &editor = d.editor();
    for (auto _ : state) {
        editor.addItem();
        state.PauseTiming();
        SequenceStrip &strip = *editor.strip();
        while (strip.count() > 0)
            strip.remove(0);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddItem)->Unit(benchmark::kMillisecond);

void BM_OpenSequence100(benchmark::State &state) {
    Desk &d = desk();
    const fs::path file = d.dir / "hundred.lgs";
    if (!fs::exists(file)) {
        std::vector<std::vector<uint8_t>> pixels;
        std::vector<SequenceItem> items;
        pixels.reserve(100);
        for (int i = 0; i < 100; ++i) {
            pixels.emplace_back(size_t(640) * 480 * 3, uint8_t(i));
            items.push_back({640, 480, pixels.back().data(), 1000});
        }
        (void)writeSequenceFile(file, items);
    }
    SequenceEditor &editor = d.editor();
    double thumbnails = 0;
    for (auto _ : state) {
        const auto began = Clock::now();
        editor.openSequence(QString::fromStdString(file.string()));
        state.PauseTiming();
        editor.strip()->waitForThumbnails();
        thumbnails += std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        state.ResumeTiming();
    }
    state.counters["thumbnails_ms"] =
        benchmark::Counter(thumbnails, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_OpenSequence100)->Unit(benchmark::kMillisecond)->Iterations(5);

/// A hostile sequence file, sparse where it can be: 0, 60,000 one-pixel records shown for 0 ms
/// (1.4 MB); 1, one record of 26,700 × 26,700 (2 GB); 2, eight records of 4096 × 4096 (400 MB).
fs::path hostileSequence(const fs::path &dir, int kind) {
    const fs::path file = dir / ("hostile" + std::to_string(kind) + ".lgs");
    if (fs::exists(file))
        return file;
    const int64_t side = kind == 0 ? 1 : kind == 1 ? 26700 : 4096;
    const int64_t count = kind == 0 ? 60000 : kind == 1 ? 1 : 8;
    const int64_t record = 20 + side * side * 3;
    FILE *out = std::fopen(file.c_str(), "wb");
    auto i32 = [out](int64_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, out);
    };
    std::fwrite("QmSq", 1, 4, out);
    i32(count);
    i32(12 + count * record);
    for (int64_t i = 0; i < count; ++i) {
        std::fseek(out, long(12 + i * record), SEEK_SET);
        std::fwrite("QmLg", 1, 4, out);
        i32(side);
        i32(side);
        i32(record);
        i32(kind == 0 ? 0 : 1000);
        if (kind == 0)
            std::fwrite("\x10\x20\x30", 1, 3, out);
    }
    if (::ftruncate(::fileno(out), off_t(12 + count * record)) != 0)
        std::perror("ftruncate");
    std::fclose(out);
    return file;
}

/// Opening a hostile sequence until control returns to the window and the thumbnails in view
/// are made. Counters peak_rss_mb: the process's peak resident memory afterwards (run each
/// argument in a process of its own for its own peak); items, the items read; thumbnails, those
/// made.
void BM_OpenHostileSequence(benchmark::State &state) {
    Desk &d = desk();
    const fs::path file = hostileSequence(d.dir, int(state.range(0)));
    SequenceEditor &editor = d.editor();
    for (auto _ : state) {
        // As File Open does: in sequence mode, with the strip laid out at the window's width.
        d.app->doc()->OnOpenDocument(QString::fromStdString(file.string()));
        QCoreApplication::processEvents();
        editor.strip()->waitForThumbnails();
        QCoreApplication::processEvents();
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["items"] = editor.itemCount();
    int thumbnails = 0;
    for (int i = 0; i < editor.itemCount(); ++i)
        thumbnails += !editor.strip()->item(i).thumbnail.isNull();
    state.counters["thumbnails"] = thumbnails;
}
BENCHMARK(BM_OpenHostileSequence)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_PlaybackDisplayTimes(benchmark::State &state) {
    desk();  // the camera
    CameraLink link;
    if (openCameraLink(link).failed()) {
        state.SkipWithError("No camera");
        return;
    }
    std::unique_ptr<CameraReader> reader;
    if (CameraReader::open(kCameraName, reader).failed()) {
        state.SkipWithError("No camera to read");
        return;
    }
    CameraGate gate(link);
    constexpr int kItems = 50;
    std::vector<PlayItem> items;
    for (int i = 0; i < kItems; ++i) {
        PlayItem item;
        item.width = 320;
        item.height = 240;
        item.displayTime = uint32_t(20 + (i % 5) * 10);
        item.pixels = std::make_shared<const FramePixels>(
            std::vector<uint8_t>(size_t(320) * 240 * 3, uint8_t(i)));
        items.push_back(std::move(item));
    }
    if (state.range(0)) {
        // The same items left in a file, as an opened sequence holds them.
        std::vector<SequenceItem> written;
        for (const PlayItem &item : items)
            written.push_back({item.width, item.height, item.pixels->data(), item.displayTime});
        const fs::path file = desk().dir / "played.lgs";
        std::vector<SequenceRecord> records;
        if (writeSequenceFile(file, written).failed() || !readSequenceRecords(file, records)) {
            state.SkipWithError("No sequence file");
            return;
        }
        for (size_t i = 0; i < items.size(); ++i)
            items[i].pixels = records[i].pixels;
    }
    double maxError = 0, sumError = 0;
    int measured = 0, within = 0, withinStamped = 0;
    double maxStampError = 0;
    for (auto _ : state) {
        std::vector<Clock::time_point> seenAt;
        std::vector<int64_t> committedAt;
        std::vector<uint8_t> values;
        std::thread watcher([&] {
            uint64_t seen = reader->commitSequence();
            std::vector<uint8_t> frame;
            while (int(seenAt.size()) < kItems + 1) {
                const uint64_t now = reader->waitForCommit(seen, 2000);
                const auto at = Clock::now();
                if (now == seen || !reader->readLatest(frame, &seen))
                    return;
                seenAt.push_back(at);
                committedAt.push_back(reader->commitTimeNs());
                values.push_back(frame[0]);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SequencePlayer player(gate);
        player.start(items);
        watcher.join();
        player.stop();
        for (size_t k = 0; k + 1 < seenAt.size(); ++k) {
            const double time = items[values[k]].displayTime;
            const double shown =
                std::chrono::duration<double, std::milli>(seenAt[k + 1] - seenAt[k]).count();
            const double error = std::abs(shown - time);
            maxError = std::max(maxError, error);
            sumError += error;
            ++measured;
            within += error <= 2.0;
            const double stamped = double(committedAt[k + 1] - committedAt[k]) / 1e6;
            maxStampError = std::max(maxStampError, std::abs(stamped - time));
            withinStamped += std::abs(stamped - time) <= 2.0;
        }
    }
    state.counters["max_error_ms"] = maxError;
    state.counters["mean_error_ms"] = measured ? sumError / measured : 0;
    state.counters["frames"] = measured;
    state.counters["within_2ms_pct"] = measured ? 100.0 * within / measured : 0;
    // The same by the commit times the camera's channel stamps: the worker's own accuracy,
    // without the reader's wake-up.
    state.counters["stamped_max_error_ms"] = maxStampError;
    state.counters["stamped_within_2ms_pct"] = measured ? 100.0 * withinStamped / measured : 0;
}
BENCHMARK(BM_PlaybackDisplayTimes)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
