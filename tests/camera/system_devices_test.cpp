// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/system_devices.h"

#include <grp.h>
#include <linux/videodev2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "tests/test_support.h"

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

    std::vector<VideoNodeInfo> nodes;  // what the video node scan finds, when set

    std::vector<std::string> names(HResult *result = nullptr) {
        SystemDeviceEnumerator e(hive.file(), devDir, {}, [this](const std::filesystem::path &dir) {
            return nodes.empty() ? listVideoNodes(dir) : nodes;
        });
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

// The loopback node that shows an installed camera is that camera, listed once as itself (a fed
// node answers as a capture device); other loopback nodes and real cameras of the same name are
// other devices. Output-only nodes are no video inputs.
TEST_F(SystemDevicesFixture, TheCamerasOwnLoopbackNodeIsNotListedAgain) {
    RegValue name = RegValue::string("Lumaghost");
    addDevice("0000", &name);
    auto node = [](long n, const char *card, const char *driver, uint32_t caps) {
        VideoNodeInfo info;
        info.number = n;
        info.path = "/dev/video" + std::to_string(n);
        info.card = card;
        info.driver = driver;
        info.capabilities = caps;
        return info;
    };
    nodes = {node(0, "Lumaghost", "v4l2 loopback", V4L2_CAP_VIDEO_CAPTURE),
             node(1, "OBS Virtual Camera", "v4l2 loopback", V4L2_CAP_VIDEO_CAPTURE),
             node(2, "Lumaghost", "uvcvideo", V4L2_CAP_VIDEO_CAPTURE),
             node(3, "Encoder", "v4l2 m2m", V4L2_CAP_VIDEO_OUTPUT)};
    EXPECT_EQ(names(), (std::vector<std::string>{"Lumaghost", "OBS Virtual Camera", "Lumaghost"}));
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

// The legacy filter category is what the caller hands in, and only that category is.
TEST_F(SystemDevicesFixture, LegacyFiltersComeFromTheProviderHandedIn) {
    int asked = 0;
    SystemDeviceEnumerator e(hive.file(), devDir, [&](std::vector<std::unique_ptr<Moniker>> &out) {
        ++asked;
        out.push_back(std::make_unique<NamedMoniker>(FilterKind::Element, "Decoder", "dec"));
    });
    std::vector<std::unique_ptr<Moniker>> monikers;
    ASSERT_EQ(e.createClassEnumerator(CLSID_LegacyAmFilterCategory, monikers), S_OK);
    ASSERT_EQ(monikers.size(), 1u);
    std::string name;
    ASSERT_EQ(monikers[0]->readFriendlyName(name), S_OK);
    EXPECT_EQ(name, "Decoder");
    EXPECT_EQ(e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers), S_FALSE);
    EXPECT_EQ(asked, 1);
}

// Binding opens the device's own frame channel, not another device's.
TEST_F(SystemDevicesFixture, BindOpensTheDevicesOwnFrameChannel) {
    RegValue a = RegValue::string("Cam A"), b = RegValue::string("Cam B");
    addDevice("0000", &a);
    addDevice("0001", &b);
    ASSERT_TRUE(
        FrameChannel::create(frameChannelPath({"MEDIA", "0001"}), {64, 48, 15}).succeeded());
    SystemDeviceEnumerator e(hive.file(), devDir);
    std::vector<std::unique_ptr<Moniker>> monikers;
    ASSERT_EQ(e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers), S_OK);
    ASSERT_EQ(monikers.size(), 2u);
    std::unique_ptr<BaseFilter> filter;
    ASSERT_TRUE(monikers[1]->bindToObject(filter).succeeded());
    EXPECT_EQ(filter->kind(), FilterKind::Lumaghost);
    EXPECT_EQ(filter->friendlyName(), "Cam B");
    // The property channel is the device's own: it hands out the device's frame size.
    PropertySet *props = nullptr;
    ASSERT_TRUE(filter->queryPropertySet(&props).succeeded());
    ASSERT_NE(props, nullptr);
    FormatRecord format{};
    uint32_t returned = 0;
    ASSERT_EQ(props->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, &format, sizeof(format), &format,
                         sizeof(format), &returned),
              S_OK);
    EXPECT_EQ(format.width, 64);
    EXPECT_EQ(format.height, 48);
}

// After a reboot emptied the run directory, binding makes the channel again from the device's
// "Device Parameters", group video, mode 0660. A file there that is no channel is not replaced.
TEST_F(SystemDevicesFixture, BindRecreatesAMissingChannelFromDeviceParameters) {
    RegValue a = RegValue::string("Cam A");
    addDevice("0000", &a);
    DeviceInstance d{"MEDIA", "0000"};
    ASSERT_TRUE(hive.modify([&](HiveData &data) {
                        data.setValue(d.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(64));
                        data.setValue(d.driverKeyPath(), kFrameHeightValue,
                                      RegValue::fromDword(48));
                        data.setValue(d.driverKeyPath(), kFrameRateValue, RegValue::fromDword(15));
                        return S_OK;
                    })
                    .succeeded());
    std::filesystem::remove_all(root.path() / "run");

    SystemDeviceEnumerator e(hive.file(), devDir);
    std::vector<std::unique_ptr<Moniker>> monikers;
    ASSERT_EQ(e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers), S_OK);
    std::unique_ptr<BaseFilter> filter;
    ASSERT_TRUE(monikers[0]->bindToObject(filter).succeeded());
    std::unique_ptr<FrameChannel> channel;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), channel).succeeded());
    EXPECT_EQ(channel->format(), (ChannelFormat{64, 48, 15}));
    struct stat st;
    ASSERT_EQ(::stat(frameChannelPath(d).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    if (const group *video = ::getgrnam("video"); video && ::geteuid() == 0) {
        EXPECT_EQ(st.st_gid, video->gr_gid);
    }

    test::writeFile(frameChannelPath(d), "no channel");
    std::unique_ptr<BaseFilter> none;
    EXPECT_EQ(monikers[0]->bindToObject(none), hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(test::readFile(frameChannelPath(d)), "no channel");
}

// The Service value marks our devices in any case: a device whose value differs only in case
// is listed.
TEST_F(SystemDevicesFixture, ServiceValueMatchesInAnyCase) {
    RegValue a = RegValue::string("Cam A"), b = RegValue::string("Cam B"),
             c = RegValue::string("Cam C");
    addDevice("0000", &a);
    addDevice("0001", &b);
    addDevice("0002", &c);
    ASSERT_TRUE(hive.modify([&](HiveData &data) {
                        data.setValue(DeviceInstance{"MEDIA", "0000"}.keyPath(), kServiceValue,
                                      RegValue::string("LumaCam"));
                        data.setValue(DeviceInstance{"MEDIA", "0001"}.keyPath(), kServiceValue,
                                      RegValue::string("LUMACAM"));
                        data.setValue(DeviceInstance{"MEDIA", "0002"}.keyPath(), kServiceValue,
                                      RegValue::string("lumacam2"));
                        return S_OK;
                    })
                    .succeeded());
    EXPECT_EQ(names(), (std::vector<std::string>{"Cam A", "Cam B"}));
}

// A hive that cannot be read fails the enumeration and lists nothing; the file is left as it
// is.
TEST_F(SystemDevicesFixture, UnreadableHiveFailsTheEnumeration) {
    RegValue a = RegValue::string("Cam A");
    addDevice("0000", &a);
    std::string text = test::readFile(hive.file());
    text += "[Broken]\n\"Value\"=nonsense\n";
    test::writeFile(hive.file(), text);

    SystemDeviceEnumerator e(hive.file(), devDir);
    std::vector<std::unique_ptr<Moniker>> monikers;
    EXPECT_EQ(e.createClassEnumerator(CLSID_VideoInputDeviceCategory, monikers),
              hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_TRUE(monikers.empty());

    EXPECT_EQ(test::readFile(hive.file()), text);
}

}  // namespace
}  // namespace lumaghost
