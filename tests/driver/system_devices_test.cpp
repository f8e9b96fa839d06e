#include "system_devices.h"

#include <gtest/gtest.h>

#include "device_tree.h"
#include "lumacam_device.h"
#include "paths.h"
#include "test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;

struct SystemDevicesFixture : ::testing::Test {
    TempRoot root;
    RegistryHive hive{machineHivePath()};
    std::filesystem::path devDir = root.path() / "dev";

    void addDevice(const char *number, const RegValue *name, bool service = true) {
        DeviceInstance d{"MEDIA", number};
        ASSERT_TRUE(hive.modify([&](HiveData &data) {
                            data.createKey(d.keyPath());
                            if (name)
                                data.setValue(d.keyPath(), kFriendlyNameValue, *name);
                            if (service)
                                data.setValue(d.keyPath(), kServiceValue,
                                              RegValue::string("lumacam"));
                            return S_OK;
                        })
                        .succeeded());
        ASSERT_TRUE(FrameChannel::create(frameChannelPath(d), {}).succeeded());
    }

    std::vector<std::string> names(HResult *result = nullptr) {
        SystemDeviceEnumerator e(hive.file(), devDir);
        std::vector<std::unique_ptr<Moniker>> monikers;
        HResult r = e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers);
        if (result)
            *result = r;
        std::vector<std::string> out;
        for (auto &m : monikers) {
            std::string n;
            out.push_back(m->readFriendlyName(n).succeeded() ? n : "<unreadable>");
        }
        return out;
    }
};

// Installed devices come in instance order; instances without our driver are not cameras;
// a FriendlyName that is missing or not a string cannot be read.
TEST_F(SystemDevicesFixture, ListsInstalledDevicesInInstanceOrder) {
    RegValue b = RegValue::string("Cam B"), a = RegValue::string("Cam A"),
             wrongType = RegValue::fromDword(5);
    addDevice("0002", &b);
    addDevice("0000", &a);
    addDevice("0001", &a, /*service=*/false);
    addDevice("0003", nullptr);
    addDevice("0004", &wrongType);
    std::filesystem::create_directories(devDir);
    test::writeFile(devDir / "video0", "not a device");  // fails VIDIOC_QUERYCAP: skipped

    HResult r;
    EXPECT_EQ(names(&r),
              (std::vector<std::string>{"Cam A", "Cam B", "<unreadable>", "<unreadable>"}));
    EXPECT_EQ(r, S_OK);
}

TEST_F(SystemDevicesFixture, EmptyCategoriesAnswerSFalse) {
    HResult r;
    EXPECT_TRUE(names(&r).empty());
    EXPECT_EQ(r, S_FALSE);

    RegValue a = RegValue::string("Cam A");
    addDevice("0000", &a);
    SystemDeviceEnumerator e(hive.file(), devDir);
    std::vector<std::unique_ptr<Moniker>> monikers;
    EXPECT_EQ(e.createClassEnumerator(CLSID_LegacyAmFilterCategory, monikers), S_FALSE);
    EXPECT_TRUE(monikers.empty());
}

// Binding opens the device's frame channel; without one the bind fails.
TEST_F(SystemDevicesFixture, BindOpensTheFrameChannel) {
    RegValue a = RegValue::string("Cam A");
    addDevice("0000", &a);
    SystemDeviceEnumerator e(hive.file(), devDir);
    std::vector<std::unique_ptr<Moniker>> monikers;
    ASSERT_EQ(e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers), S_OK);
    std::unique_ptr<BaseFilter> filter;
    ASSERT_TRUE(monikers[0]->bindToObject(filter).succeeded());
    EXPECT_EQ(filter->kind(), FilterKind::Lumaghost);
    EXPECT_EQ(filter->friendlyName(), "Cam A");
    EXPECT_EQ(filter->location(), frameChannelPath({"MEDIA", "0000"}).string());
    PropertySet *props = nullptr;
    EXPECT_TRUE(filter->queryPropertySet(&props).succeeded());
    EXPECT_NE(props, nullptr);

    std::filesystem::remove(frameChannelPath({"MEDIA", "0000"}));
    std::unique_ptr<BaseFilter> none;
    EXPECT_TRUE(monikers[0]->bindToObject(none).failed());
    EXPECT_EQ(none, nullptr);
}

TEST_F(SystemDevicesFixture, DeviceFormatComesFromDeviceParameters) {
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
