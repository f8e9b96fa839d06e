// The auto-play worker on virtual time, against a test camera device.
#include "play_service.h"

#include <gtest/gtest.h>

#include "device_tree.h"
#include "frame_channel.h"
#include "lumacam_device.h"
#include "paths.h"
#include "renderer_core.h"
#include "service_doubles.h"
#include "test_support.h"

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

    void installCamera(uint32_t w = 8, uint32_t h = 6) {
        DeviceInstance d{"MEDIA", "0000"};
        ASSERT_TRUE(machine.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"))
                        .succeeded());
        ASSERT_TRUE(
            machine.setValue(d.keyPath(), kServiceValue, RegValue::string("lumacam")).succeeded());
        ASSERT_TRUE(FrameChannel::create(frameChannelPath(d), {w, h, 30}).succeeded());
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
        EXPECT_TRUE(WriteSequenceFile(path, items).succeeded());
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
    size_t count(uint32_t sleep) const {
        return size_t(std::count(waiter.sleeps.begin(), waiter.sleeps.end(), sleep));
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
        waiter.sleeps.clear();
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

// Display time 0 hands the next frame over at once; the largest waits until the stop.
TEST_F(WorkerFixture, ZeroAndEndlessDisplayTimes) {
    installCamera();
    setAutoPlay(sequence("edges.lgs", {{0, 1}, {0xFFFFFFFF, 2}}));
    PlayService service(platform());
    waiter.at(50000, [&] { service.RequestStop(); });
    service.Run(0, nullptr);
    ASSERT_EQ(shown.size(), 1u);  // frame 1 was replaced before anything waited
    EXPECT_EQ(shown[0].value, 2);
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

}  // namespace
}  // namespace lumaghost
