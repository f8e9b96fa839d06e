// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/device_discovery.h"

#include <gtest/gtest.h>

#include "tests/camera/fake_devices.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::FakeDevice;
using test::FakeSystem;

struct DiscoveryFixture : ::testing::Test {
    FakeSystem system;
    ScopedDeviceEnumeratorFactory scope{system.factory()};

    HResult find(std::string_view name, std::string *location = nullptr) {
        std::unique_ptr<BaseFilter> filter;
        HResult r = findFilterByName(CLSID_VideoInputDeviceCategory, name, filter);
        EXPECT_EQ(r.succeeded(), filter != nullptr) << "the filter is written only on success";
        if (filter && location)
            *location = filter->location();
        return r;
    }
};

// Only the exact name matches: no case folding, nothing added before or after.
TEST_F(DiscoveryFixture, NamesMatchExactly) {
    for (const char *name : {"lumaghost", "LUMAGHOST", " Lumaghost", "Lumaghost ", "Lumaghost2",
                             "xLumaghost", "Lumaghos"}) {
        system.devices = {{name}};
        EXPECT_TRUE(find("Lumaghost").failed()) << name;
    }
    system.devices = {{"Lumaghost"}};
    EXPECT_TRUE(find("Lumaghost").succeeded());
}

TEST_F(DiscoveryFixture, EmptyCategoryFindsNothingAndListsNothing) {
    EXPECT_TRUE(find("Lumaghost").failed());
    EXPECT_TRUE(listFriendlyNames(CLSID_VideoInputDeviceCategory).empty());
}

// Of two devices with one name the first is bound; unreadable names are skipped.
TEST_F(DiscoveryFixture, FirstOfTwoIsBoundAndUnreadableNamesAreSkipped) {
    system.devices = {{"Other"}, {"x", E_FAIL}, {"Lumaghost"}, {"Lumaghost"}};
    std::string location;
    ASSERT_TRUE(find("Lumaghost", &location).succeeded());
    EXPECT_EQ(location, "fake:2");
    EXPECT_EQ(system.binds, 1);
    EXPECT_EQ(listFriendlyNames(CLSID_VideoInputDeviceCategory),
              (std::vector<std::string>{"Other", "Lumaghost", "Lumaghost"}));
    // An empty wanted name takes the first device whose name can be read.
    system.devices = {{"x", E_FAIL}, {"Second"}};
    ASSERT_TRUE(find("", &location).succeeded());
    EXPECT_EQ(location, "fake:1");
}

// Failures of the enumerators and of the final bind come back unchanged.
TEST_F(DiscoveryFixture, FailuresComeBackUnchanged) {
    system.devices = {{"Lumaghost", S_OK, E_ACCESSDENIED}, {"Lumaghost"}};
    EXPECT_EQ(find("Lumaghost"), E_ACCESSDENIED);

    system.createResult = E_OUTOFMEMORY;
    EXPECT_EQ(find("Lumaghost"), E_OUTOFMEMORY);
    EXPECT_TRUE(listFriendlyNames(CLSID_VideoInputDeviceCategory).empty());

    system.createResult = S_OK;
    system.classResult = E_UNEXPECTED;
    EXPECT_EQ(find("Lumaghost"), E_UNEXPECTED);
    EXPECT_TRUE(listFriendlyNames(CLSID_VideoInputDeviceCategory).empty());
}

class TableVersions : public VersionSource {
public:
    bool extendedOk = true, plainOk = true;
    OsVersionInfo answer;
    bool getVersionEx(OsVersionInfo &info) override {
        bool ok = info.recordSize == kVersionRecordExtended ? extendedOk : plainOk;
        if (ok) {
            uint32_t size = info.recordSize;
            info = answer;
            info.recordSize = size;
        }
        return ok;
    }
};

TEST(IsNtOrMeTest, NtFamilyAndMeOnly) {
    struct Case {
        uint32_t platform, major, minor;
        bool extendedOk, plainOk, expected;
    };
    const Case cases[] = {
        {VER_PLATFORM_WIN32_NT, 4, 0, true, true, true},
        {VER_PLATFORM_WIN32_NT, 10, 0, false, true, true},  // plain record after extended fails
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, true, true, true},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, true, true, false},
        {VER_PLATFORM_WIN32_WINDOWS, 5, 90, true, true, false},
        {0, 4, 90, true, true, false},
        {VER_PLATFORM_WIN32_NT, 10, 0, false, false, false},  // unreadable
    };
    for (const auto &c : cases) {
        TableVersions v;
        v.answer.platformId = c.platform;
        v.answer.major = c.major;
        v.answer.minor = c.minor;
        v.extendedOk = c.extendedOk;
        v.plainOk = c.plainOk;
        EXPECT_EQ(isNtOrMe(v), c.expected) << c.platform << " " << c.major << "." << c.minor;
    }
    EXPECT_TRUE(isNtOrMe());
}

struct DriverKeyFixture : ::testing::Test {
    test::TempRoot root;
    RegistryHive hive{root.path() / "machine.ini"};
    TableVersions nt, win98;

    DriverKeyFixture() {
        nt.answer.platformId = VER_PLATFORM_WIN32_NT;
        win98.answer = {0, 4, 10, 0, VER_PLATFORM_WIN32_WINDOWS, ""};
    }
    void key(const std::string &path) { ASSERT_TRUE(hive.createKey(path).succeeded()); }
};

constexpr char kMedia[] = "SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\";

TEST_F(DriverKeyFixture, NtTakesFirstInstanceWithDeviceParameters) {
    EXPECT_EQ(findDriverKey(hive, nt), "");
    key(std::string(kMedia) + "0000");
    key(std::string(kMedia) + "0001\\Device Parameters");
    key(std::string(kMedia) + "0002\\Device Parameters");
    EXPECT_EQ(findDriverKey(hive, nt), std::string(kMedia) + "0001\\Device Parameters");
}

TEST_F(DriverKeyFixture, NtTriesNineInstancesOnly) {
    key(std::string(kMedia) + "0009\\Device Parameters");
    key(std::string(kMedia) + "0010\\Device Parameters");
    EXPECT_EQ(findDriverKey(hive, nt), "");
    key(std::string(kMedia) + "0008\\device parameters");
    EXPECT_EQ(findDriverKey(hive, nt), std::string(kMedia) + "0008\\Device Parameters");
}

// Other platforms take the first instance key unless its hardware ID is exactly "Lumacam".
TEST_F(DriverKeyFixture, OtherPlatformsTakeTheFirstInstanceKey) {
    EXPECT_EQ(findDriverKey(hive, win98), "");
    key("Enum\\Root\\MEDIA\\0003");
    key("Enum\\Root\\MEDIA\\0005");
    EXPECT_EQ(findDriverKey(hive, win98), "Enum\\Root\\MEDIA\\0003");
    ASSERT_TRUE(hive.setValue("Enum\\Root\\MEDIA\\0003", "HardwareID", RegValue::string("lumacam"))
                    .succeeded());
    EXPECT_EQ(findDriverKey(hive, win98), "Enum\\Root\\MEDIA\\0003");
    ASSERT_TRUE(hive.setValue("Enum\\Root\\MEDIA\\0003", "HardwareID", RegValue::string("Lumacam"))
                    .succeeded());
    EXPECT_EQ(findDriverKey(hive, win98), "");
}

}  // namespace
}  // namespace lumaghost
