#include "lumasetup.h"

#include <cstring>
#include <map>

#include <gtest/gtest.h>

#include "device_tree.h"
#include "linux_device_installer.h"
#include "lumacam_device.h"
#include "paths.h"
#include "test_support.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using test::TempRoot;

class FixedVersion : public VersionSource {
public:
    FixedVersion(uint32_t major, uint32_t minor) : major_(major), minor_(minor) {}
    bool getVersionEx(OsVersionInfo &info) override {
        info.platformId = VER_PLATFORM_WIN32_NT;
        info.major = major_;
        info.minor = minor_;
        return true;
    }

private:
    uint32_t major_, minor_;
};

FixedVersion linux_(10, 0), windows2000(5, 0);

// --- the run against the real device tree ---------------------------------------------------

struct InstallFixture : ::testing::Test {
    TempRoot root;
    fs::path infDir = root.path() / "media";
    RegistryHive hive = machineHive();

    InstallFixture() {
        fs::create_directories(infDir);
        fs::copy_file(fs::path(LUMAGHOST_RES_DIR) / "Lumacam.inf", infDir / "Lumacam.inf");
    }

    SetupResult run(bool remove, const fs::path &cwd) {
        LinuxDeviceInstaller installer(hive, cwd);
        return RunLumasetup(installer, linux_, remove);
    }
    SetupResult run(bool remove) { return run(remove, infDir); }

    std::vector<DeviceInstance> devices() { return DeviceTree(hive).instances("MEDIA"); }
    void addForeign(const char *number, std::vector<std::string> ids) {
        DeviceInstance d{"MEDIA", number};
        ASSERT_TRUE(hive.modify([&](HiveData &h) {
                            h.setValue(d.keyPath(), kClassGuidValue,
                                       RegValue::string("{4D36E96C-E325-11CE-BFC1-08002BE10318}"));
                            h.setValue(d.keyPath(), kHardwareIdValue, RegValue::multiString(ids));
                            return S_OK;
                        })
                        .succeeded());
    }
};

TEST_F(InstallFixture, InstallCreatesTheDeviceAndASecondRunOnlyUpdates) {
    ASSERT_EQ(run(false).exitCode, 0);
    ASSERT_EQ(devices().size(), 1u);
    DeviceInstance d = devices()[0];
    EXPECT_EQ(d.instanceId(), "ROOT\\MEDIA\\0000");
    EXPECT_EQ(hive.value(d.keyPath(), kHardwareIdValue)->strings,
              std::vector<std::string>{"Lumacam"});
    EXPECT_EQ(hive.value(d.keyPath(), kFriendlyNameValue)->text, "Lumaghost");
    EXPECT_FALSE(hive.value(d.keyPath(), kPhantomValue));
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_EQ(readDeviceFormat(data, d), (ChannelFormat{320, 240, 30}));
    std::unique_ptr<FrameChannel> channel;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), channel).succeeded());
    uint32_t id = channel->channelId();

    // The update re-applies the INF and keeps the device and its channel.
    ASSERT_TRUE(
        hive.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string("Renamed")).succeeded());
    ASSERT_EQ(run(false).exitCode, 0);
    EXPECT_EQ(devices().size(), 1u);
    EXPECT_EQ(hive.value(d.keyPath(), kFriendlyNameValue)->text, "Lumaghost");
    std::unique_ptr<FrameChannel> again;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), again).succeeded());
    EXPECT_EQ(again->channelId(), id);
}

TEST_F(InstallFixture, AnyArgumentRemovesTheFirstDeviceOnly) {
    ASSERT_EQ(run(false).exitCode, 0);
    // A second camera device with the same hardware ID, added by hand.
    addForeign("0001", {"Lumacam"});
    ASSERT_EQ(run(true).exitCode, 0);
    ASSERT_EQ(devices().size(), 1u);
    EXPECT_EQ(devices()[0].number, "0001");
    EXPECT_FALSE(fs::exists(frameChannelPath({"MEDIA", "0000"})));
    ASSERT_EQ(run(true).exitCode, 0);
    EXPECT_TRUE(devices().empty());
    // Nothing left to remove: nothing happens.
    std::string before = test::readFile(hive.file());
    EXPECT_EQ(run(true).exitCode, 0);
    EXPECT_EQ(test::readFile(hive.file()), before);
}

TEST_F(InstallFixture, WithoutTheInfNothingChanges) {
    fs::path empty = root.path() / "elsewhere";
    fs::create_directories(empty);
    EXPECT_EQ(run(false, empty).exitCode, -1);
    EXPECT_EQ(run(true, empty).exitCode, -1);
    EXPECT_FALSE(fs::exists(hive.file()));

    ASSERT_EQ(run(false).exitCode, 0);
    std::string before = test::readFile(hive.file());
    EXPECT_EQ(run(true, empty).exitCode, -1);
    EXPECT_EQ(test::readFile(hive.file()), before);
}

// The hardware ID matches case included: an upper-case one is another device.
TEST_F(InstallFixture, UpperCaseHardwareIdIsNotTheCamera) {
    addForeign("0000", {"LUMACAM"});
    ASSERT_EQ(run(false).exitCode, 0);
    ASSERT_EQ(devices().size(), 2u);
    EXPECT_FALSE(hive.value(devices()[0].keyPath(), kFriendlyNameValue));
    EXPECT_EQ(hive.value(devices()[1].keyPath(), kFriendlyNameValue)->text, "Lumaghost");
    ASSERT_EQ(run(true).exitCode, 0);
    ASSERT_EQ(devices().size(), 1u);
    EXPECT_EQ(devices()[0].number, "0000");
}

TEST_F(InstallFixture, OverlongInfPathOrClassNameFails) {
    fs::path deep = infDir;
    while (deep.string().size() < kMaxPath)
        deep /= std::string(40, 'd');
    EXPECT_EQ(run(false, deep).exitCode, -1);

    std::string inf = test::readFile(infDir / "Lumacam.inf");
    size_t at = inf.find("Class=MEDIA");
    inf.replace(at, 11, "Class=" + std::string(32, 'C'));
    test::writeFile(infDir / "Lumacam.inf", inf);
    EXPECT_EQ(run(false).exitCode, -1);
    EXPECT_FALSE(fs::exists(hive.file()));
}

// --- the run's logic against scripted services ---------------------------------------------

class ScriptedInstaller : public DeviceInstaller {
public:
    std::vector<std::vector<uint8_t>> hardwareIds;  // per device; empty: the device has none
    uint32_t openResult = ERROR_SUCCESS;
    uint32_t readFailure = ERROR_SUCCESS;  // returned by every hardware-ID read when set
    uint32_t createResult = ERROR_SUCCESS;
    uint32_t registerResult = ERROR_SUCCESS;
    std::vector<std::string> calls;
    std::vector<uint32_t> readSizes;
    std::vector<uint8_t> setIds;

    uint32_t fullPath(std::string_view name, std::string &path) override {
        path = "/media/" + std::string(name);
        return ERROR_SUCCESS;
    }
    uint32_t infClass(const std::string &, Guid &, std::string &name, uint32_t) override {
        name = "MEDIA";
        return ERROR_SUCCESS;
    }
    uint32_t openClassDevices(const Guid &) override { return openResult; }
    uint32_t enumDevice(uint32_t i) override {
        return i < hardwareIds.size() ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
    }
    uint32_t hardwareIdProperty(uint32_t i, uint8_t *buffer, uint32_t size,
                                uint32_t &required) override {
        readSizes.push_back(size);
        if (readFailure != ERROR_SUCCESS)
            return readFailure;
        const auto &ids = hardwareIds[i];
        if (ids.empty())
            return ERROR_INVALID_DATA;
        required = static_cast<uint32_t>(ids.size());
        if (!buffer || size < ids.size())
            return ERROR_INSUFFICIENT_BUFFER;
        std::memcpy(buffer, ids.data(), ids.size());
        return ERROR_SUCCESS;
    }
    uint32_t setHardwareIdProperty(uint32_t, const uint8_t *data, uint32_t size) override {
        calls.push_back("setHardwareId");
        setIds.assign(data, data + size);
        return ERROR_SUCCESS;
    }
    uint32_t createDevice(std::string_view name, const Guid &, uint32_t &index) override {
        calls.push_back("create " + std::string(name));
        index = static_cast<uint32_t>(hardwareIds.size());
        return createResult;
    }
    uint32_t selectDevice(uint32_t i) override {
        calls.push_back("select " + std::to_string(i));
        return ERROR_SUCCESS;
    }
    uint32_t callClassInstaller(DiFunction f, uint32_t i) override {
        calls.push_back((f == DiFunction::RegisterDevice ? "register " : "install ") +
                        std::to_string(i));
        return f == DiFunction::RegisterDevice ? registerResult : ERROR_SUCCESS;
    }
    uint32_t removeDevice(uint32_t i) override {
        calls.push_back("remove " + std::to_string(i));
        return ERROR_SUCCESS;
    }
    void destroyDeviceList() override { calls.push_back("destroy"); }
    uint32_t updateDriverForPlugAndPlayDevices(std::string_view id, std::string_view inf,
                                               bool &) override {
        calls.push_back("update " + std::string(id) + " " + std::string(inf));
        return ERROR_NO_SUCH_DEVINST;  // its result is not looked at
    }
};

std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

using Calls = std::vector<std::string>;

// The hardware-ID list is read into a buffer grown to the size asked for, and walked entry by
// entry up to the empty one or the end of the buffer.
TEST(SetupLogicTest, HardwareIdListsAreWalkedExactly) {
    struct Case {
        std::string ids;
        bool found;
    };
    const Case cases[] = {
        {std::string("Lumacam\0\0", 9), true},     {std::string("Other\0Lumacam\0\0", 15), true},
        {std::string("Lumacam", 7), true},  // no terminator: ends with the buffer
        {std::string("LumacamX\0\0", 10), false},  {std::string("Luma\0cam\0\0", 10), false},
        {std::string("\0Lumacam\0\0", 10), false},  // the empty entry ends the list
        {std::string("lumacam\0\0", 9), false},
    };
    for (const auto &c : cases) {
        ScriptedInstaller api;
        api.hardwareIds = {bytes(c.ids)};
        bool found = false;
        uint32_t index = 99;
        EXPECT_EQ(FindCameraDevice(api, found, index), ERROR_SUCCESS);
        EXPECT_EQ(found, c.found) << c.ids;
        EXPECT_EQ(api.readSizes, (std::vector<uint32_t>{0, static_cast<uint32_t>(c.ids.size())}));
    }
}

TEST(SetupLogicTest, DevicesWithoutHardwareIdAreSkipped) {
    ScriptedInstaller api;
    api.hardwareIds = {{}, bytes(std::string("Lumacam\0\0", 9))};
    SetupResult r = RunLumasetup(api, linux_, false);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(api.calls, (Calls{"update Lumacam Lumacam.inf", "destroy"}));
}

// A read failure other than "no hardware ID" ends the run quietly with 0.
TEST(SetupLogicTest, OtherReadFailuresEndTheRun) {
    ScriptedInstaller api;
    api.hardwareIds = {bytes("x")};
    api.readFailure = ERROR_ACCESS_DENIED;
    SetupResult r = RunLumasetup(api, linux_, false);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(api.calls, (Calls{"destroy"}));
}

TEST(SetupLogicTest, InstallCreatesRegistersAndUpdates) {
    ScriptedInstaller api;
    EXPECT_EQ(RunLumasetup(api, linux_, false).exitCode, 0);
    EXPECT_EQ(api.calls, (Calls{"create Lumacam", "setHardwareId", "register 0",
                                "update Lumacam Lumacam.inf", "destroy"}));
    EXPECT_EQ(api.setIds, bytes(std::string("Lumacam\0\0", 9)));
}

TEST(SetupLogicTest, FailedStepsEndTheInstallWithZero) {
    ScriptedInstaller createFails;
    createFails.createResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunLumasetup(createFails, linux_, false).exitCode, 0);
    EXPECT_EQ(createFails.calls, (Calls{"create Lumacam", "destroy"}));

    ScriptedInstaller registerFails;
    registerFails.registerResult = ERROR_ACCESS_DENIED;
    SetupResult r = RunLumasetup(registerFails, linux_, false);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(registerFails.calls,
              (Calls{"create Lumacam", "setHardwareId", "register 0", "destroy"}));

    ScriptedInstaller listFails;
    listFails.openResult = ERROR_ACCESS_DENIED;
    EXPECT_EQ(RunLumasetup(listFails, linux_, false).exitCode, -1);
    EXPECT_TRUE(listFails.calls.empty());
}

TEST(SetupLogicTest, Windows2000UsesTheClassInstaller) {
    ScriptedInstaller fresh;
    EXPECT_EQ(RunLumasetup(fresh, windows2000, false).exitCode, 0);
    EXPECT_EQ(fresh.calls, (Calls{"create Lumacam", "setHardwareId", "select 0", "register 0",
                                  "install 0", "destroy"}));

    ScriptedInstaller present;
    present.hardwareIds = {bytes("A\0\0"), bytes(std::string("Lumacam\0\0", 9))};
    EXPECT_EQ(RunLumasetup(present, windows2000, false).exitCode, 0);
    EXPECT_EQ(present.calls, (Calls{"select 1", "install 1", "destroy"}));
}

TEST(SetupLogicTest, RemoveTakesTheFoundDeviceOrDoesNothing) {
    ScriptedInstaller present;
    present.hardwareIds = {bytes(std::string("Lumacam\0\0", 9)),
                           bytes(std::string("Lumacam\0\0", 9))};
    EXPECT_EQ(RunLumasetup(present, linux_, true).exitCode, 0);
    EXPECT_EQ(present.calls, (Calls{"remove 0", "destroy"}));

    ScriptedInstaller absent;
    EXPECT_EQ(RunLumasetup(absent, linux_, true).exitCode, 0);
    EXPECT_EQ(absent.calls, (Calls{"destroy"}));
}

}  // namespace
}  // namespace lumaghost
