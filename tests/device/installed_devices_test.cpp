// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/installed_devices.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

struct InstalledDevicesFixture : ::testing::Test {
    test::TempRoot root;
    RegistryHive hive{machineHivePath()};

    void addDevice(const char *number, const char *name, const char *service) {
        DeviceInstance d{"MEDIA", number};
        ASSERT_TRUE(hive.modify([&](HiveData &data) {
                            data.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string(name));
                            data.setValue(d.keyPath(), kServiceValue, RegValue::string(service));
                            return S_OK;
                        })
                        .succeeded());
    }
};

// Our devices are those whose Service value is "lumacam" in any case; a value that only starts
// with it, or an instance that does not exist, is none of ours.
TEST_F(InstalledDevicesFixture, ServiceValueMatchesInAnyCase) {
    addDevice("0000", "Cam A", "LumaCam");
    addDevice("0001", "Cam B", "LUMACAM");
    addDevice("0002", "Cam C", "lumacam2");

    std::vector<InstalledDevice> installed;
    ASSERT_EQ(readInstalledDevices(hive, installed), S_OK);
    ASSERT_EQ(installed.size(), 2u);
    EXPECT_EQ(installed[0].name, "Cam A");
    EXPECT_EQ(installed[1].name, "Cam B");
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_TRUE(isLumacamInstance(data, {"MEDIA", "0000"}));
    EXPECT_FALSE(isLumacamInstance(data, {"MEDIA", "0002"}));
    EXPECT_FALSE(isLumacamInstance(data, {"MEDIA", "0009"}));
}

// A hive that cannot be read lists no device and says which file and line; the file is left
// as it is.
TEST_F(InstalledDevicesFixture, UnreadableHiveNamesItsFileAndLine) {
    addDevice("0000", "Cam A", "lumacam");
    std::string text = test::readFile(hive.file());
    text += "[Broken]\n\"Value\"=nonsense\n";
    test::writeFile(hive.file(), text);
    const int line = static_cast<int>(std::count(text.begin(), text.end(), '\n'));

    std::vector<InstalledDevice> installed;
    std::string error;
    EXPECT_EQ(readInstalledDevices(hive, installed, &error), hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_TRUE(installed.empty());
    EXPECT_EQ(error,
              hive.file().string() + ", line " + std::to_string(line) + ": malformed value data");
    EXPECT_EQ(test::readFile(hive.file()), text);
}

// Width, height and rate come from "Device Parameters"; a value of another type, or 0, keeps
// the default.
TEST(InstalledDevicesTest, DeviceFormatComesFromDeviceParameters) {
    DeviceInstance d{"MEDIA", "0000"};
    HiveData data;
    EXPECT_EQ(readDeviceFormat(data, d), (ChannelFormat{320, 240, 30}));
    data.setValue(d.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(640));
    data.setValue(d.driverKeyPath(), kFrameHeightValue, RegValue::string("480"));  // wrong type
    data.setValue(d.driverKeyPath(), kFrameRateValue, RegValue::fromDword(0));     // invalid
    EXPECT_EQ(readDeviceFormat(data, d), (ChannelFormat{640, 240, 30}));
}

}  // namespace
}  // namespace lumaghost
