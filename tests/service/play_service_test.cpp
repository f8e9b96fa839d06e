// SPDX-License-Identifier: LGPL-2.1-or-later
// The auto-play worker on virtual time, against a test camera device.
#include "service/play_service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "camera/device_discovery.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/renderer_core.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "tests/camera/fake_devices.h"
#include "tests/device/test_camera.h"
#include "tests/service/service_doubles.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using namespace test;

struct WorkerFixture : ::testing::Test {
    TempRoot root;
    FakeManager manager;
    FakeEventLog events;
    FakeConsole console;
    RegistryHive machine = machineHive();
    VirtualWaiter waiter;
    std::unique_ptr<FrameChannel> camera;
    struct Shown {
        uint64_t time;
        uint8_t value;
    };
    std::vector<Shown> shown;
    uint64_t seen = 0;

    void installCamera(uint32_t w = 8, uint32_t h = 6, uint32_t fps = 30) {
        DeviceInstance d{"MEDIA", "0000"};
        ASSERT_TRUE(test::installCamera(d, "Lumaghost", {w, h, fps}).succeeded());
        ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), camera).succeeded());
        // Every commit is noted with the virtual time it was made at.
        waiter.onTick = [this] {
            if (camera->commitSequence() != seen) {
                std::vector<uint8_t> frame;
                camera->readLatest(frame, &seen);
                shown.push_back({waiter.now, frame[0]});
            }
        };
    }

    std::string sequence(const char *name, std::vector<std::pair<uint32_t, uint8_t>> frames,
                         int w = 8, int h = 6) {
        std::vector<std::vector<uint8_t>> pixels;
        std::vector<SequenceItem> items;
        for (auto [time, value] : frames) {
            pixels.emplace_back(size_t(w) * h * 3, value);
            items.push_back({w, h, pixels.back().data(), time});
        }
        const std::string path = (root.path() / name).string();
        EXPECT_TRUE(writeSequenceFile(path, items).succeeded());
        return path;
    }

    void setAutoPlay(const std::string &path, const RegValue *type = nullptr) {
        ASSERT_TRUE(machine.setValue(kSettingsKey, "AutoPlay", RegValue::string(path)).succeeded());
        if (type) {
            ASSERT_TRUE(machine.setValue(kSettingsKey, "AutoPlayType", *type).succeeded());
        }
    }

    ServicePlatform platform() {
        static NullVersion versions;
        return {manager, events, console, versions, machine, waiter, "/usr/bin/lumaserv"};
    }

    struct NullVersion : VersionSource {
        bool getVersionEx(OsVersionInfo &info) override {
            info.platformId = VER_PLATFORM_WIN32_NT;
            return true;
        }
    };

    std::vector<uint32_t> states() const {
        std::vector<uint32_t> out;
        for (const auto &s : manager.reported)
            out.push_back(s.currentState);
        return out;
    }
    // How often the worker waited this long (every pause of the worker waits on its stop event).
    size_t count(uint32_t wait) const {
        return size_t(std::count(waiter.waits.begin(), waiter.waits.end(), wait));
    }
};

// 1000 ms, then 3000 ms, without end; a stop during a display time ends the wait at once.
TEST_F(WorkerFixture, TwoFramesLoopWithTheirDisplayTimes) {
    installCamera();
    setAutoPlay(sequence("two.lgs", {{1000, 1}, {3000, 2}}));
    PlayService service(platform());
    waiter.at(9500, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    EXPECT_EQ(waiter.now, 9500u);
    std::vector<std::pair<uint64_t, uint8_t>> got;
    for (auto s : shown)
        got.emplace_back(s.time, s.value);
    EXPECT_EQ(got, (std::vector<std::pair<uint64_t, uint8_t>>{
                       {30, 1}, {1030, 2}, {4040, 1}, {5040, 2}, {8050, 1}, {9050, 2}}));
    EXPECT_EQ(states(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                               SERVICE_STOP_PENDING}));
    EXPECT_EQ(service.autoPlayType(), 1);  // absent: a sequence
}

// The service only reads the settings key: a service account that may read the machine hive
// but not write it (here a user who is not root) takes the auto-play item and plays it.
// Catches a setting that is looked at only where the hive could be written.
TEST_F(WorkerFixture, ReadOnlyHiveStillGivesTheAutoPlayItem) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    installCamera();
    setAutoPlay(sequence("one.lgs", {{1000, 9}}));
    namespace fs = std::filesystem;
    fs::permissions(root.path(), fs::perms(0755));
    // The camera is the user's to feed; the hive and its directory stay root's alone.
    const fs::path channel = frameChannelPath(DeviceInstance{"MEDIA", "0000"});
    ASSERT_EQ(::chmod(channel.parent_path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(channel.c_str(), 0666), 0);
    for (fs::path dir = machine.file().parent_path(); dir != root.path(); dir = dir.parent_path())
        ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(machine.file().c_str(), 0644), 0);
    const int result = runAsOtherUser([&] {
        if (machine.writable())
            return 3;  // the test would not show anything
        PlayService service(platform());
        waiter.at(2500, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        if (service.autoPlayPath().empty())
            return 1;
        return !shown.empty() && shown.front().value == 9 ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(WorkerFixture, NoCameraMeansStopped) {
    PlayService service(platform());
    service.Run(0, nullptr);
    EXPECT_EQ(states(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_STOPPED}));
    EXPECT_EQ(waiter.now, 0u);
}

// A setting written after the start is picked up within 5 s.
TEST_F(WorkerFixture, LateSettingIsPickedUp) {
    installCamera();
    const std::string file = sequence("one.lgs", {{500, 7}});
    PlayService service(platform());
    waiter.at(12000, [&] { setAutoPlay(file); });
    waiter.at(30000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    ASSERT_FALSE(shown.empty());
    EXPECT_GT(shown.front().time, 12000u);
    EXPECT_LE(shown.front().time, 12000u + 5000 + 50);
}

// An AutoPlay of 300 characters never fits the buffer: nothing is ever played.
TEST_F(WorkerFixture, OverlongAutoPlayIsNeverAccepted) {
    installCamera();
    PlayService service(platform());
    ASSERT_TRUE(machine.setValue(kSettingsKey, "AutoPlay", RegValue::string(std::string(300, 'a')))
                    .succeeded());
    waiter.at(60000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(service.autoPlayPath(), "");
    EXPECT_GE(count(kSettingRetry), 11u);
    // 258 characters and the NUL fit.
    ASSERT_TRUE(machine.setValue(kSettingsKey, "AutoPlay", RegValue::string(std::string(258, 'b')))
                    .succeeded());
    PlayService again(platform());
    waiter.at(waiter.now + 100, [&] { again.RequestStop(); });
    again.Run(0, nullptr);
    EXPECT_EQ(again.autoPlayPath(), std::string(258, 'b'));
}

// Types other than 1 and 2 run, report running and play nothing; loading is retried.
TEST_F(WorkerFixture, UnknownTypesPlayNothing) {
    installCamera();
    const std::string file = sequence("one.lgs", {{500, 7}});
    for (uint32_t type : {0u, 3u, 4u}) {
        const RegValue value = RegValue::fromDword(type);
        setAutoPlay(file, &value);
        waiter.waits.clear();
        PlayService service(platform());
        waiter.at(waiter.now + 35000, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        EXPECT_TRUE(shown.empty()) << type;
        EXPECT_GE(count(kLoadRetry), 3u) << type;
    }
    EXPECT_EQ(manager.reported[1].currentState, SERVICE_RUNNING);
}

// A malformed sequence file is never played; its loading is retried every 10 s.
TEST_F(WorkerFixture, MalformedFilesAreNeverPlayed) {
    installCamera();
    const std::string file = sequence("bad.lgs", {{500, 7}, {500, 8}});
    test::writeFile(file, test::readFile(file) + "x");  // one byte longer than its total size
    setAutoPlay(file);
    PlayService service(platform());
    waiter.at(45000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(count(kLoadRetry), 5u);
    EXPECT_TRUE(service.frames().empty());
}

// Display time 0 shows the frame until the next is handed over, one frame of the camera (34 ms at
// 30 fps) later; the largest waits until the stop.
TEST_F(WorkerFixture, ZeroAndEndlessDisplayTimes) {
    installCamera();
    setAutoPlay(sequence("edges.lgs", {{0, 1}, {0xFFFFFFFF, 2}}));
    PlayService service(platform());
    waiter.at(50000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    std::vector<std::pair<uint64_t, uint8_t>> got;
    for (auto s : shown)
        got.emplace_back(s.time, s.value);
    EXPECT_EQ(got, (std::vector<std::pair<uint64_t, uint8_t>>{{30, 1}, {64, 2}}));
    EXPECT_EQ(waiter.now, 50000u);
}

// Frames of another size are fitted once, aspect ratio kept and centred on black.
TEST_F(WorkerFixture, FramesOfAnotherSizeAreFitted) {
    installCamera(32, 24);
    setAutoPlay(sequence("small.lgs", {{1000, 200}}, 16, 6));
    PlayService service(platform());
    waiter.at(2500, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(camera->readLatest(frame));
    // 16 x 6 into 32 x 24: 32 x 12 placed at row 6.
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[(5 * 32) * 3], 0);
    EXPECT_EQ(frame[(6 * 32) * 3], 200);
    EXPECT_EQ(frame[(17 * 32 + 31) * 3], 200);
    EXPECT_EQ(frame[(18 * 32) * 3], 0);
}

// A reload reads the setting again and plays the new item; rewriting the file alone does not.
TEST_F(WorkerFixture, ReloadTakesTheNewItem) {
    installCamera();
    const std::string first = sequence("first.lgs", {{1000, 1}});
    const std::string second = sequence("second.lgs", {{1000, 2}});
    setAutoPlay(first);
    PlayService service(platform());
    waiter.at(2500, [&] { sequence("first.lgs", {{1000, 9}}); });  // rewritten while playing
    waiter.at(5500, [&] {
        setAutoPlay(second);
        service.OnCustomControl(SERVICE_CONTROL_RELOAD);
    });
    waiter.at(9000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    std::vector<uint8_t> values;
    for (auto s : shown)
        values.push_back(s.value);
    ASSERT_GE(values.size(), 6u);
    EXPECT_EQ(std::count(values.begin(), values.end(), 9), 0);
    EXPECT_EQ(values.front(), 1);
    EXPECT_EQ(values.back(), 2);
    for (auto s : shown)
        EXPECT_EQ(s.value, s.time < 5500 ? 1 : 2) << s.time;
}

// A stop asked for before the work has begun is kept: the work ends at once.
TEST_F(WorkerFixture, StopBeforeRunIsKept) {
    installCamera();
    setAutoPlay(sequence("one.lgs", {{1000, 7}}));
    PlayService service(platform());
    service.RequestStop();
    service.Run(0, nullptr);
    EXPECT_EQ(waiter.now, 0u);
    EXPECT_TRUE(shown.empty());
    // Nothing reports starting or running over the stop.
    EXPECT_EQ(states(), (std::vector<uint32_t>{SERVICE_STOP_PENDING}));
}

// Every wait of the worker ends at once on a stop: the setting's and the item's retries.
TEST_F(WorkerFixture, StopEndsTheRetriesAtOnce) {
    installCamera();
    {
        // No AutoPlay: the 5 s retry.
        PlayService service(platform());
        waiter.at(7000, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        EXPECT_EQ(waiter.now, 7000u);
    }
    {
        // A file the reader rejects: the 10 s retry.
        const std::string file = sequence("bad.lgs", {{500, 7}});
        test::writeFile(file, "not a sequence");
        setAutoPlay(file);
        PlayService service(platform());
        waiter.at(waiter.now + 12000, [&] { service.RequestStop(); });
        const uint64_t stopAt = waiter.now + 12000;
        service.Run(0, nullptr);
        EXPECT_EQ(waiter.now, stopAt);
        EXPECT_GE(count(kLoadRetry), 1u);
    }
}

// A camera of our own whose calls fail when told to, found as "Lumaghost" in place of the
// installed devices.
class ScriptedCamera : public FakePropertySet {
public:
    int32_t cameraWidth = 8, cameraHeight = 6;
    uint32_t fps = 30;
    bool failFetch = false, failCommit = false;
    int commits = 0;
    std::vector<uint8_t> buffer;

    HResult get(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength, void *data,
                uint32_t length, uint32_t *returned) override {
        if (id == CAMERA_PROP_FRAME) {
            if (failFetch)
                return E_FAIL;
            buffer.assign(size_t(cameraWidth) * cameraHeight * 3, 0xAB);
            FrameDescriptor d{};
            d.width = cameraWidth;
            d.height = cameraHeight;
            d.byteCount = uint32_t(buffer.size());
            d.setBuffer(buffer.data());
            std::memcpy(data, &d, sizeof(d));
            return S_OK;
        }
        if (id == CAMERA_PROP_FORMAT) {
            FormatRecord f{};
            f.width = cameraWidth;
            f.height = cameraHeight;
            std::memcpy(f.unused1, &fps, sizeof(fps));
            std::memcpy(data, &f, sizeof(f));
            return S_OK;
        }
        return FakePropertySet::get(set, id, instance, instanceLength, data, length, returned);
    }
    HResult set(const Guid &, uint32_t, void *, uint32_t, void *, uint32_t) override {
        if (failCommit)
            return E_FAIL;
        ++commits;
        return S_OK;
    }
};

struct ScriptedCameraFixture : WorkerFixture {
    ScriptedCamera scripted;
    FakeSystem system;
    ScopedDeviceEnumeratorFactory scope{system.factory()};
    ScriptedCameraFixture() { system.devices = {{"Lumaghost", S_OK, S_OK, &scripted}}; }
};

// The pauses after failed camera calls (1 s a frame, 10 s after a pass) end at once on a stop.
TEST_F(ScriptedCameraFixture, StopEndsThePausesAfterCameraFailures) {
    setAutoPlay(sequence("two.lgs", {{1000, 1}, {1000, 2}}));
    scripted.failFetch = true;
    {
        PlayService service(platform());
        waiter.at(500, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        EXPECT_EQ(waiter.now, 500u);  // inside the first 1 s pause
        EXPECT_EQ(count(kCameraCallPause), 1u);
    }
    {
        // Two failed frames (2 s), then the 10 s pause after the pass: stopped 3 s into it.
        PlayService service(platform());
        const uint64_t start = waiter.now;
        waiter.at(start + 5000, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        EXPECT_EQ(waiter.now, start + 5000);
        EXPECT_EQ(count(kFailedPassPause), 1u);
    }
    {
        // Failed commits pause the same way.
        scripted.failFetch = false;
        scripted.failCommit = true;
        PlayService service(platform());
        const uint64_t start = waiter.now;
        waiter.at(start + 1500, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        EXPECT_EQ(waiter.now, start + 1500);
        EXPECT_EQ(scripted.commits, 0);
    }
}

// Frames of display time 0 are paced at the camera's frame rate (taken from its format), and a
// stop is seen between them, however long the pass: here 5000 black frames of 1 x 1 pixel.
TEST_F(ScriptedCameraFixture, ZeroDisplayTimesArePacedByTheCamera) {
    const std::string file = (root.path() / "zero-times.lgs").string();
    {
        constexpr size_t kFrames = 5000;
        const uint8_t black[3] = {0, 0, 0};
        std::vector<SequenceItem> items(kFrames, SequenceItem{1, 1, black, 0});
        ASSERT_TRUE(writeSequenceFile(file, items).succeeded());
    }
    setAutoPlay(file);
    for (uint32_t fps : {10u, 30u}) {
        scripted.fps = fps;
        scripted.commits = 0;
        waiter.waits.clear();
        PlayService service(platform());
        const uint64_t start = waiter.now;
        size_t frames = 0;
        waiter.at(start + 500, [&] { frames = service.frames().size(); });
        waiter.at(start + 1000, [&] { service.RequestStop(); });
        service.Run(0, nullptr);
        ASSERT_EQ(frames, 5000u);
        EXPECT_EQ(waiter.now, start + 1000) << fps;  // the stop is seen in the middle of the pass
        const uint32_t period = (1000 + fps - 1) / fps;  // 100 ms, 34 ms
        EXPECT_EQ(count(period), size_t(scripted.commits)) << fps;
        // One frame a period from the first commit (at 30 ms, after three looks at the stop)
        // until the stop.
        EXPECT_EQ(scripted.commits, int((1000 - 30 + period - 1) / period)) << fps;
        EXPECT_EQ(scripted.buffer, std::vector<uint8_t>(8 * 6 * 3, 0))
            << "the black pixel fills the camera";
    }
}

// An AutoPlay naming a FIFO is refused as not a regular file, without blocking, for a sequence
// and for a movie; it is said once, and the worker stops at once as ever.
TEST_F(WorkerFixture, FifoAutoPlayIsNeverOpened) {
    installCamera();
    const std::string fifo = (root.path() / "item.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    for (uint32_t type : {1u, 2u}) {
        const RegValue value = RegValue::fromDword(type);
        setAutoPlay(fifo, &value);
        events.entries.clear();
        waiter.waits.clear();
        PlayService service(platform());
        const uint64_t stopAt = waiter.now + 25000;
        waiter.at(stopAt, [&] { service.RequestStop(); });
        // Opening the FIFO's other end frees a worker that is stuck in open(), so that the test
        // fails instead of hanging.
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            for (int i = 0; !done; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (i < 100)
                    continue;
                if (i == 100)
                    ADD_FAILURE() << "the worker blocked opening the FIFO (type " << type << ")";
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0)
                    ::close(writer);
            }
        });
        service.Run(0, nullptr);
        done = true;
        watchdog.join();
        EXPECT_EQ(waiter.now, stopAt) << type;
        EXPECT_EQ(count(kLoadRetry), 3u) << type;  // retried every 10 s as a file that cannot open
        EXPECT_TRUE(shown.empty()) << type;
        ASSERT_EQ(events.entries.size(), 1u) << type;
        EXPECT_EQ(events.entries[0].text,
                  "The auto-play item " + fifo + " cannot be opened: it is not a regular file");
    }
}

// A member of group video names the auto-play item, the service plays it: a root-only
// sequence, a symbolic link (to it or to a readable one), a file of /proc and a device are
// refused, as a sequence and as a movie, whoever runs the service. Nothing of them reaches the
// camera, the reason is logged once, and the service keeps running and retrying. Catches a
// service that plays into the camera what only root may read.
TEST_F(WorkerFixture, AutoPlayGroupVideoMayNotReadIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make root-only files";
    installCamera();
    const std::string secret = sequence("private.lgs", {{1000, 33}});
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const std::string open = sequence("open.lgs", {{1000, 44}});
    const std::string toSecret = (root.path() / "to-private.lgs").string();
    const std::string toOpen = (root.path() / "to-open.lgs").string();
    std::filesystem::create_symlink(secret, toSecret);
    std::filesystem::create_symlink(open, toOpen);
    const std::pair<std::string, std::string> cases[] = {
        {secret, "group video may not read it"},
        {toSecret, "it is a symbolic link"},
        {toOpen, "it is a symbolic link"},
        {"/proc/self/status", "it lies on a file system of the kernel"},
        {"/proc/1/environ", "group video may not read it"},
        {"/dev/zero", "it is not a regular file"},
        {"/dev/stdin", "it is a symbolic link"},
    };
    for (const auto &[path, reason] : cases) {
        for (uint32_t type : {1u, 2u}) {
            const RegValue value = RegValue::fromDword(type);
            setAutoPlay(path, &value);
            events.entries.clear();
            waiter.waits.clear();
            manager.reported.clear();
            PlayService service(platform());
            const uint64_t stopAt = waiter.now + 25000;
            waiter.at(stopAt, [&] { service.RequestStop(); });
            service.Run(0, nullptr);
            EXPECT_EQ(count(kLoadRetry), 3u) << path << " " << type;
            EXPECT_TRUE(shown.empty()) << path << " " << type;
            EXPECT_EQ(states(), (std::vector<uint32_t>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                       SERVICE_STOP_PENDING}))
                << path;
            ASSERT_EQ(events.entries.size(), 1u) << path << " " << type;
            EXPECT_EQ(events.entries[0].type, EventType::Error);
            EXPECT_EQ(events.entries[0].text,
                      "The auto-play item " + path + " cannot be opened: " + reason);
        }
    }
    // The same file the group may read plays.
    const RegValue sequenceType = RegValue::fromDword(1);
    setAutoPlay(open, &sequenceType);
    PlayService service(platform());
    waiter.at(waiter.now + 3000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().value, 44);
}

// A machine hive that cannot be read is named, with its line, in one journal entry; the
// setting is still looked for every 5 s and taken once the hive is mended.
TEST_F(WorkerFixture, UnreadableHiveIsLoggedOnceAndRetried) {
    installCamera();
    const std::string file = sequence("one.lgs", {{500, 7}});
    const std::string good = test::readFile(machine.file());
    PlayService service(platform());
    waiter.at(3000, [&] { test::writeFile(machine.file(), good + "\nnot a line of a hive\n"); });
    waiter.at(31000, [&] {
        test::writeFile(machine.file(), good);
        setAutoPlay(file);
    });
    waiter.at(40000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    const size_t badLine = size_t(std::count(good.begin(), good.end(), '\n')) + 2;
    ASSERT_EQ(events.entries.size(), 1u);
    EXPECT_EQ(events.entries[0].type, EventType::Error);
    EXPECT_EQ(events.entries[0].text.rfind("Cannot read " + machine.file().string() + ", line " +
                                               std::to_string(badLine) + ": ",
                                           0),
              0u)
        << events.entries[0].text;
    ASSERT_FALSE(shown.empty());
    EXPECT_GT(shown.front().time, 31000u);
    EXPECT_LE(shown.front().time, 31000u + 5000 + 50);
}

// With a hive that cannot be read, the foreground modes say so in one line naming the file and
// the line and end with 2, before anything runs; as a service the journal names them.
TEST_F(WorkerFixture, UnreadableHiveStopsTheForegroundModes) {
    installCamera();
    const std::string good = test::readFile(machine.file());
    test::writeFile(machine.file(), good + "[broken\n");
    const std::string problem = "Cannot read " + machine.file().string() + ", line " +
                                std::to_string(std::count(good.begin(), good.end(), '\n') + 1) +
                                ": ";
    for (const char *mode : {"-d", "-f"}) {
        console.text.clear();
        PlayService service(platform());
        char name[] = "lumaserv";
        std::string flag = mode;
        char *argv[] = {name, flag.data(), nullptr};
        EXPECT_EQ(service.DispatchCommandLine(2, argv), 2) << mode;
        EXPECT_EQ(console.text.rfind(problem, 0), 0u) << console.text;
        EXPECT_EQ(std::count(console.text.begin(), console.text.end(), '\n'), 1) << mode;
        EXPECT_FALSE(console.detached) << mode;
        EXPECT_TRUE(manager.reported.empty());
    }
    PlayService service(platform());
    EXPECT_EQ(service.RunAsService(), 1);
    ASSERT_FALSE(events.entries.empty());
    EXPECT_EQ(events.entries[0].text.rfind(problem, 0), 0u) << events.entries[0].text;
    EXPECT_EQ(events.entries[0].type, EventType::Error);
}

}  // namespace
}  // namespace lumaghost
