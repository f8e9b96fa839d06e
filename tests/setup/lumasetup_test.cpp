// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/lumasetup.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "setup/linux_device_installer.h"
#include "setup/state_directory.h"
#include "tests/test_support.h"

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
        return runLumasetup(installer, linux_, remove);
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

// Lumacam.inf as a FIFO (or anything but a regular file) is unusable: the run neither waits
// for a writer nor changes anything.
TEST_F(InstallFixture, InfThatIsNoRegularFileIsUnusable) {
    fs::remove(infDir / "Lumacam.inf");
    ASSERT_EQ(mkfifo((infDir / "Lumacam.inf").c_str(), 0644), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(20);  // a run that waits on the FIFO dies here instead of hanging the test
        LinuxDeviceInstaller installer(hive, infDir);
        SetupResult r = runLumasetup(installer, linux_, false);
        bool told = r.message ==
                    "Cannot read " + (infDir / "Lumacam.inf").string() + ": not a regular file";
        _exit(told ? r.exitCode & 0xff : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the run was ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_FALSE(fs::exists(hive.file()));
}

// Frame sizes and rates beyond what a camera can be make the INF unusable: the run says which
// value of which INF, and changes nothing, neither a new device nor one already there.
TEST_F(InstallFixture, FormatsBeyondACameraAreRefused) {
    const std::string good = test::readFile(infDir / "Lumacam.inf");
    auto withParameters = [&](const std::string &width, const std::string &height,
                              const std::string &rate) {
        std::string inf = good;
        inf.replace(inf.find("FrameWidth=320"), 14, "FrameWidth=" + width);
        inf.replace(inf.find("FrameHeight=240"), 15, "FrameHeight=" + height);
        inf.replace(inf.find("FrameRate=30"), 12, "FrameRate=" + rate);
        test::writeFile(infDir / "Lumacam.inf", inf);
    };
    struct Case {
        const char *width, *height, *rate, *told;
    };
    const Case refused[] = {
        {"16384", "16384", "30",
         "FrameWidth=16384 in [Lumacam.Device.Parameters] is not a "
         "camera's frame width (1 to 7680)"},
        {"7681", "240", "30", "FrameWidth=7681"},
        {"0", "240", "30", "FrameWidth=0"},
        {"-320", "240", "30", "FrameWidth=-320"},
        {"320px", "240", "30", "FrameWidth=320px"},
        {"320", "4321", "30",
         "FrameHeight=4321 in [Lumacam.Device.Parameters] is not a "
         "camera's frame height (1 to 4320)"},
        {"320", "0x100000000", "30", "FrameHeight=0x100000000"},
        {"320", "240", "0", "FrameRate=0"},
        {"320", "240", "241",
         "FrameRate=241 in [Lumacam.Device.Parameters] is not a camera's "
         "frame rate (1 to 240)"},
    };
    const std::string prefix = "Unusable INF " + (infDir / "Lumacam.inf").string() + ": ";
    for (const auto &c : refused) {
        withParameters(c.width, c.height, c.rate);
        SetupResult r = run(false);
        EXPECT_EQ(r.exitCode, -1) << c.told;
        EXPECT_EQ(r.message.rfind(prefix + c.told, 0), 0u) << r.message;
        EXPECT_FALSE(fs::exists(hive.file())) << c.told;
    }

    // The largest frames and the fastest rate are a camera's; an update to a bad INF changes
    // neither the device nor its channel.
    withParameters("7680", "1", "240");
    ASSERT_EQ(run(false).exitCode, 0);
    DeviceInstance d = devices().at(0);
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_EQ(readDeviceFormat(data, d), (ChannelFormat{7680, 1, 240}));
    const std::string before = test::readFile(hive.file());
    std::unique_ptr<FrameChannel> channel;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), channel).succeeded());
    withParameters("16384", "16384", "30");
    EXPECT_EQ(run(false).exitCode, -1);
    EXPECT_EQ(test::readFile(hive.file()), before);
    std::unique_ptr<FrameChannel> after;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), after).succeeded());
    EXPECT_EQ(after->channelId(), channel->channelId());
    EXPECT_EQ(after->format(), (ChannelFormat{7680, 1, 240}));
    // Removing needs only the class.
    EXPECT_EQ(run(true).exitCode, 0);
    EXPECT_TRUE(devices().empty());
}

// Names that expand beyond what an INF string holds make the INF unusable, before they can
// swell the hive.
TEST_F(InstallFixture, OverlongExpandedNamesAreRefused) {
    std::string inf = test::readFile(infDir / "Lumacam.inf");
    inf.replace(inf.find("FriendlyName=%Lumacam.FriendlyName%"), 35,
                "FriendlyName=%Big%%Big%%Big%%Big%%Big%");
    inf += "Big=\"" + std::string(1000, 'x') + "\"\n";
    test::writeFile(infDir / "Lumacam.inf", inf);
    SetupResult r = run(false);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.message, "Unusable INF " + (infDir / "Lumacam.inf").string() +
                             ": FriendlyName in [Lumacam.Device] is longer than 4096 characters");
    EXPECT_FALSE(fs::exists(hive.file()));
}

// An INF without its manufacturer, models or device section installs nothing: the run fails
// with 1, says why, and neither creates a device nor touches one already there.
TEST_F(InstallFixture, InfWithoutTheDriverFailsAndChangesNothing) {
    const std::string good = test::readFile(infDir / "Lumacam.inf");
    auto without = [&](const std::string &text) {
        std::string inf = good;
        inf.erase(inf.find(text), text.size());
        return inf;
    };
    struct Case {
        std::string inf, told;
    };
    const Case cases[] = {
        {without("[Manufacturer]\n%Quillmoor%=Quillmoor\n"), "it has no [Manufacturer] section"},
        {without("%Quillmoor%=Quillmoor\n"), "its [Manufacturer] section names no models section"},
        {without("[Quillmoor]\n%Lumacam.DeviceDesc%=Lumacam.Device,Lumacam\n"),
         "it has no models section [Quillmoor]"},
        {without(",Lumacam\n"), "no model names the hardware ID Lumacam"},
        {without("[Lumacam.Device]\n"), "it has no device section [Lumacam.Device]"},
    };
    const std::string prefix =
        "Cannot install the driver from " + (infDir / "Lumacam.inf").string() + ": ";
    for (const auto &c : cases) {
        test::writeFile(infDir / "Lumacam.inf", c.inf);
        SetupResult r = run(false);
        EXPECT_EQ(r.exitCode, 1) << c.told;
        EXPECT_EQ(r.message, prefix + c.told);
        EXPECT_FALSE(fs::exists(hive.file())) << c.told;
    }

    test::writeFile(infDir / "Lumacam.inf", good);
    ASSERT_EQ(run(false).exitCode, 0);
    const std::string before = test::readFile(hive.file());
    for (const auto &c : cases) {
        test::writeFile(infDir / "Lumacam.inf", c.inf);
        EXPECT_EQ(run(false).exitCode, 1) << c.told;
        EXPECT_EQ(test::readFile(hive.file()), before) << c.told;
    }
    EXPECT_EQ(run(true).exitCode, 0);
    EXPECT_TRUE(devices().empty());
}

// A device this run created and could not finish goes again; one that was there before stays
// as it was.
TEST_F(InstallFixture, FailedInstallTakesBackItsDevice) {
    // The frame channels' directory cannot be made: a file stands in its place.
    test::writeFile(frameChannelDirectory(), "");
    SetupResult r = run(false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.message.rfind("Cannot create the frame channel " +
                                  frameChannelPath({"MEDIA", "0000"}).string() +
                                  " of ROOT\\MEDIA\\0000: ",
                              0),
              0u)
        << r.message;
    EXPECT_TRUE(devices().empty());
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_TRUE(DeviceTree::instancesOf(data).empty());  // no phantom left either

    fs::remove(frameChannelDirectory());
    ASSERT_EQ(run(false).exitCode, 0);
    const std::string before = test::readFile(hive.file());
    fs::remove_all(frameChannelDirectory());
    test::writeFile(frameChannelDirectory(), "");
    EXPECT_EQ(run(false).exitCode, 1);
    EXPECT_EQ(test::readFile(hive.file()), before);
}

// A machine hive with a line that cannot be read is no fault of the INF: the run fails with 1,
// names the file and the line, and leaves the file as it is.
TEST_F(InstallFixture, DamagedHiveIsReportedAndLeftAlone) {
    ASSERT_EQ(run(false).exitCode, 0);
    std::string text = test::readFile(hive.file());
    const size_t lines = std::count(text.begin(), text.end(), '\n');
    text += "\"Broken\"=dword:xyz\n";
    test::writeFile(hive.file(), text);
    for (bool remove : {false, true}) {
        SetupResult r = run(remove);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.message, "Cannot read the installed devices from " + hive.file().string() +
                                 ", line " + std::to_string(lines + 1) +
                                 ": malformed value data; the file is left as it is");
        EXPECT_EQ(test::readFile(hive.file()), text);
    }
}

// --- the run's logic against scripted services ---------------------------------------------

class ScriptedInstaller : public DeviceInstaller {
public:
    std::vector<std::vector<uint8_t>> hardwareIds;  // per device; empty: the device has none
    HResult openResult = S_OK;
    HResult readFailure = S_OK;  // returned by every hardware-ID read when set
    HResult createResult = S_OK;
    HResult registerResult = S_OK;
    HResult checkResult = S_OK;
    HResult updateResult = S_OK;
    HResult removeResult = S_OK;
    std::string message;  // what every failing call says
    std::vector<std::string> calls;
    std::vector<uint32_t> readSizes;
    std::vector<uint8_t> setIds;

    HResult fullPath(std::string_view name, std::string &path) override {
        path = "/media/" + std::string(name);
        return S_OK;
    }
    HResult infClass(const std::string &, Guid &, std::string &name, uint32_t) override {
        name = "MEDIA";
        return S_OK;
    }
    HResult checkInf(const std::string &, std::string_view id) override {
        calls.push_back("check " + std::string(id));
        return checkResult;
    }
    HResult openClassDevices(const Guid &) override { return openResult; }
    HResult enumDevice(uint32_t i) override {
        return i < hardwareIds.size() ? S_OK : hresultFromWin32(ERROR_NO_MORE_ITEMS);
    }
    HResult hardwareIdProperty(uint32_t i, uint8_t *buffer, uint32_t size,
                               uint32_t &required) override {
        readSizes.push_back(size);
        if (readFailure.failed())
            return readFailure;
        const auto &ids = hardwareIds[i];
        if (ids.empty())
            return hresultFromWin32(ERROR_INVALID_DATA);
        required = static_cast<uint32_t>(ids.size());
        if (!buffer || size < ids.size())
            return hresultFromWin32(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, ids.data(), ids.size());
        return S_OK;
    }
    HResult setHardwareIdProperty(uint32_t, const uint8_t *data, uint32_t size) override {
        calls.push_back("setHardwareId");
        setIds.assign(data, data + size);
        return S_OK;
    }
    HResult createDevice(std::string_view name, const Guid &, uint32_t &index) override {
        calls.push_back("create " + std::string(name));
        index = static_cast<uint32_t>(hardwareIds.size());
        return createResult;
    }
    HResult selectDevice(uint32_t i) override {
        calls.push_back("select " + std::to_string(i));
        return S_OK;
    }
    HResult callClassInstaller(DiFunction f, uint32_t i) override {
        calls.push_back((f == DiFunction::RegisterDevice ? "register " : "install ") +
                        std::to_string(i));
        return f == DiFunction::RegisterDevice ? registerResult : S_OK;
    }
    HResult removeDevice(uint32_t i) override {
        calls.push_back("remove " + std::to_string(i));
        return removeResult;
    }
    void destroyDeviceList() override { calls.push_back("destroy"); }
    HResult updateDriverForPlugAndPlayDevices(std::string_view id, std::string_view inf,
                                              bool &) override {
        calls.push_back("update " + std::string(id) + " " + std::string(inf));
        return updateResult;
    }
    std::string failureMessage() const override { return message; }
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
        EXPECT_EQ(findCameraDevice(api, found, index), S_OK);
        EXPECT_EQ(found, c.found) << c.ids;
        EXPECT_EQ(api.readSizes, (std::vector<uint32_t>{0, static_cast<uint32_t>(c.ids.size())}));
    }
}

TEST(SetupLogicTest, DevicesWithoutHardwareIdAreSkipped) {
    ScriptedInstaller api;
    api.hardwareIds = {{}, bytes(std::string("Lumacam\0\0", 9))};
    SetupResult r = runLumasetup(api, linux_, false);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(api.calls, (Calls{"check Lumacam", "update Lumacam Lumacam.inf", "destroy"}));
}

// A read failure other than "no hardware ID" ends the run as a failure, told in one line.
TEST(SetupLogicTest, OtherReadFailuresEndTheRunAsFailures) {
    ScriptedInstaller api;
    api.hardwareIds = {bytes("x")};
    api.readFailure = hresultFromWin32(ERROR_ACCESS_DENIED);
    SetupResult r = runLumasetup(api, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(r.message,
              "Cannot read the hardware IDs of the devices of class MEDIA: error 0x00000005");
    EXPECT_EQ(api.calls, (Calls{"check Lumacam", "destroy"}));
}

TEST(SetupLogicTest, InstallChecksCreatesRegistersAndUpdates) {
    ScriptedInstaller api;
    EXPECT_EQ(runLumasetup(api, linux_, false).exitCode, 0);
    EXPECT_EQ(api.calls, (Calls{"check Lumacam", "create Lumacam", "setHardwareId", "register 0",
                                "update Lumacam Lumacam.inf", "destroy"}));
    EXPECT_EQ(api.setIds, bytes(std::string("Lumacam\0\0", 9)));
}

// An INF beyond what a camera can be is unusable (255), one without a driver for the camera is
// a failure (1); neither changes anything. Removing needs only the INF's class.
TEST(SetupLogicTest, TheInfIsCheckedBeforeAnythingChanges) {
    ScriptedInstaller unusable;
    unusable.checkResult = hresultFromWin32(ERROR_INVALID_DATA);
    unusable.message = "Unusable INF /media/Lumacam.inf: FrameWidth=16384";
    SetupResult r = runLumasetup(unusable, linux_, false);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.message, unusable.message);
    EXPECT_EQ(unusable.calls, (Calls{"check Lumacam"}));

    ScriptedInstaller noDriver;
    noDriver.checkResult = hresultFromWin32(ERROR_NO_DRIVER_SELECTED);
    noDriver.hardwareIds = {bytes(std::string("Lumacam\0\0", 9))};
    r = runLumasetup(noDriver, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.message, "/media/Lumacam.inf installs no driver for Lumacam");
    EXPECT_EQ(noDriver.calls, (Calls{"check Lumacam"}));

    noDriver.calls.clear();
    EXPECT_EQ(runLumasetup(noDriver, linux_, true).exitCode, 0);
    EXPECT_EQ(noDriver.calls, (Calls{"remove 0", "destroy"}));
}

// Every failure after the device list is made exits with 1 and the failing step's message; a
// device the run created is removed again, one that was there before is not.
TEST(SetupLogicTest, FailedStepsEndTheRunWithOneAndTakeBackTheNewDevice) {
    ScriptedInstaller createFails;
    createFails.createResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    createFails.message = "Cannot create a MEDIA device in /m.ini: E_ACCESSDENIED";
    SetupResult r = runLumasetup(createFails, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.message, createFails.message);
    EXPECT_EQ(createFails.calls, (Calls{"check Lumacam", "create Lumacam", "destroy"}));

    ScriptedInstaller registerFails;
    registerFails.registerResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    r = runLumasetup(registerFails, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastError, ERROR_ACCESS_DENIED);
    EXPECT_EQ(r.message, "Cannot install the camera device: error 0x00000005");
    EXPECT_EQ(registerFails.calls, (Calls{"check Lumacam", "create Lumacam", "setHardwareId",
                                          "register 0", "remove 0", "destroy"}));

    ScriptedInstaller updateFails;  // the driver update's result counts
    updateFails.updateResult = hresultFromWin32(ERROR_NO_DRIVER_SELECTED);
    updateFails.removeResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    r = runLumasetup(updateFails, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.lastError, ERROR_NO_DRIVER_SELECTED);
    EXPECT_EQ(r.message,
              "Cannot install the camera device: error 0xE0000203; the half-made device could "
              "not be removed: the platform refused");
    EXPECT_EQ(updateFails.calls,
              (Calls{"check Lumacam", "create Lumacam", "setHardwareId", "register 0",
                     "update Lumacam Lumacam.inf", "remove 0", "destroy"}));

    ScriptedInstaller updateOfPresentFails;
    updateOfPresentFails.hardwareIds = {bytes(std::string("Lumacam\0\0", 9))};
    updateOfPresentFails.updateResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    r = runLumasetup(updateOfPresentFails, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.message, "Cannot update the camera driver: error 0x00000005");
    EXPECT_EQ(updateOfPresentFails.calls,
              (Calls{"check Lumacam", "update Lumacam Lumacam.inf", "destroy"}));

    ScriptedInstaller removeFails;
    removeFails.hardwareIds = {bytes(std::string("Lumacam\0\0", 9))};
    removeFails.removeResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(runLumasetup(removeFails, linux_, true).exitCode, 1);

    // A device list that cannot be had is no fault of the INF.
    ScriptedInstaller listFails;
    listFails.openResult = hresultFromWin32(ERROR_INVALID_DATA);
    listFails.message = "Cannot read the installed devices from /m.ini, line 3: malformed key";
    r = runLumasetup(listFails, linux_, false);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.message, listFails.message);
    EXPECT_EQ(listFails.calls, (Calls{"check Lumacam"}));
}

TEST(SetupLogicTest, Windows2000UsesTheClassInstaller) {
    ScriptedInstaller fresh;
    EXPECT_EQ(runLumasetup(fresh, windows2000, false).exitCode, 0);
    EXPECT_EQ(fresh.calls, (Calls{"check Lumacam", "create Lumacam", "setHardwareId", "select 0",
                                  "register 0", "install 0", "destroy"}));

    ScriptedInstaller present;
    present.hardwareIds = {bytes("A\0\0"), bytes(std::string("Lumacam\0\0", 9))};
    EXPECT_EQ(runLumasetup(present, windows2000, false).exitCode, 0);
    EXPECT_EQ(present.calls, (Calls{"check Lumacam", "select 1", "install 1", "destroy"}));

    ScriptedInstaller registerFails;
    registerFails.registerResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(runLumasetup(registerFails, windows2000, false).exitCode, 1);
    EXPECT_EQ(registerFails.calls, (Calls{"check Lumacam", "create Lumacam", "setHardwareId",
                                          "select 0", "register 0", "remove 0", "destroy"}));
}

TEST(SetupLogicTest, RemoveTakesTheFoundDeviceOrDoesNothing) {
    ScriptedInstaller present;
    present.hardwareIds = {bytes(std::string("Lumacam\0\0", 9)),
                           bytes(std::string("Lumacam\0\0", 9))};
    EXPECT_EQ(runLumasetup(present, linux_, true).exitCode, 0);
    EXPECT_EQ(present.calls, (Calls{"remove 0", "destroy"}));

    ScriptedInstaller absent;
    EXPECT_EQ(runLumasetup(absent, linux_, true).exitCode, 0);
    EXPECT_EQ(absent.calls, (Calls{"destroy"}));
}

// The state directory is group video's, set-group-ID and group-writable, and its machine
// hive the group's, mode 0664, so that a member may store the auto-play item and the last
// image; a directory that exists already is brought to that state.
TEST(StateDirectoryTest, GroupVideoMayWriteIt) {
    TempRoot root;
    const fs::path dir = root.path() / "var/lib/lumaghost";
    ASSERT_TRUE(prepareStateDirectory(dir).succeeded());
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, kStateDirectoryMode);
    group *video = ::getgrnam("video");
    if (::geteuid() == 0 && video) {
        EXPECT_EQ(st.st_gid, video->gr_gid);
    }

    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    test::writeFile(dir / "machine.ini", "");
    ASSERT_EQ(::chmod((dir / "machine.ini").c_str(), 0600), 0);
    ASSERT_TRUE(prepareStateDirectory(dir).succeeded());
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, kStateDirectoryMode);
    ASSERT_EQ(::stat((dir / "machine.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, kMachineHiveMode);
    if (::geteuid() == 0 && video) {
        EXPECT_EQ(st.st_gid, video->gr_gid);
    }
}

}  // namespace
}  // namespace lumaghost
