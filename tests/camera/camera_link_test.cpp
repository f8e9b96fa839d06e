// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/camera_link.h"

#include <cstring>

#include <gtest/gtest.h>

#include "camera/device_discovery.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "tests/camera/fake_devices.h"
#include "tests/device/test_camera.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::FakePropertySet;
using test::FakeSystem;

struct LinkFixture : ::testing::Test {
    FakePropertySet props;
    FakeSystem system;
    ScopedDeviceEnumeratorFactory scope{system.factory()};
    LinkFixture() { system.devices = {{"Lumaghost", S_OK, S_OK, &props}}; }
};

// Only version 0x00090000 is accepted; any other, higher or lower, fails with E_FAIL.
TEST_F(LinkFixture, OnlyTheMatchingDriverVersionOpens) {
    for (uint32_t version : {0x00090000u, 0x00090001u, 0x0008FFFFu, 0x000A0000u, 0u, 0xFFFFFFFFu}) {
        props.version = version;
        CameraLink link;
        HResult r = openCameraLink(link);
        if (version == CAMERA_DRIVER_VERSION) {
            EXPECT_EQ(r, S_OK);
            EXPECT_TRUE(link.isOpen());
        } else {
            EXPECT_EQ(r, E_FAIL) << std::hex << version;
            EXPECT_FALSE(link.isOpen());
        }
    }
}

TEST_F(LinkFixture, OpenFailuresEndWithTheirCode) {
    CameraLink link;
    props.versionResult = E_ACCESSDENIED;
    EXPECT_EQ(openCameraLink(link), E_ACCESSDENIED);
    EXPECT_FALSE(link.isOpen());

    system.devices = {{"Lumaghost", S_OK, S_OK, nullptr}};  // no property interface
    EXPECT_EQ(openCameraLink(link), E_NOINTERFACE);

    system.devices = {{"Lumaghosts"}};
    EXPECT_TRUE(openCameraLink(link).failed());
    EXPECT_FALSE(link.isOpen());
}

// The bytes the client does not use go back on commit exactly as the driver handed them out.
TEST_F(LinkFixture, DescriptorTravelsBackUnchanged) {
    CameraLink link;
    ASSERT_EQ(openCameraLink(link), S_OK);
    for (uint8_t fill : {0x00, 0x37, 0xFF}) {
        props.frameFill = fill;
        FrameDescriptor d;
        ASSERT_EQ(getFrameDescriptor(link, d), S_OK);
        EXPECT_EQ(d.width, 320);
        ASSERT_EQ(commitFrame(link, d), S_OK);
        EXPECT_EQ(props.lastSet, props.lastGet);
        EXPECT_EQ(props.lastSet.size(), 48u);
    }
}

// A link that is not open refuses every exchange; an open one reports the camera's own size.
TEST_F(LinkFixture, ClosedLinkIsNotConnectedAndFormatIsTheCamerasOwn) {
    CameraLink closed;
    FrameDescriptor d{};
    int32_t w = 0, h = 0;
    EXPECT_EQ(getFrameDescriptor(closed, d), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(commitFrame(closed, d), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(getCameraFormat(closed, w, h), VFW_E_NOT_CONNECTED);

    CameraLink link;
    ASSERT_EQ(openCameraLink(link), S_OK);
    props.width = 640;
    props.height = 360;
    ASSERT_EQ(getCameraFormat(link, w, h), S_OK);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 360);
}

// Against a real installed device: a fetched descriptor without a commit leaves the link
// usable, and a committed frame is what the device's readers get.
TEST(CameraLinkDeviceTest, FrameRoundTripThroughTheDevice) {
    test::TempRoot root;
    DeviceInstance d{"MEDIA", "0000"};
    ASSERT_TRUE(test::installCamera(d, "Lumaghost", {6, 4, 30}).succeeded());

    CameraLink link;
    ASSERT_EQ(openCameraLink(link), S_OK);
    int32_t w = 0, h = 0;
    ASSERT_EQ(getCameraFormat(link, w, h), S_OK);
    EXPECT_EQ(w, 6);
    EXPECT_EQ(h, 4);

    FrameDescriptor abandoned;
    ASSERT_EQ(getFrameDescriptor(link, abandoned), S_OK);
    FrameDescriptor desc;
    ASSERT_EQ(getFrameDescriptor(link, desc), S_OK);
    ASSERT_EQ(desc.byteCount, 6u * 4 * 3);
    for (uint32_t i = 0; i < desc.byteCount; ++i)
        desc.buffer()[i] = static_cast<uint8_t>(255 - i);
    ASSERT_EQ(commitFrame(link, desc), S_OK);
    EXPECT_EQ(commitFrame(link, abandoned), E_INVALIDARG);

    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), reader).succeeded());
    std::vector<uint8_t> frame;
    ASSERT_TRUE(reader->readLatest(frame));
    for (uint32_t i = 0; i < desc.byteCount; ++i)
        ASSERT_EQ(frame[i], static_cast<uint8_t>(255 - i));
}

struct InstalledCameraFixture : ::testing::Test {
    test::TempRoot root;
    RegistryHive hive = machineHive();
    DeviceInstance d{"MEDIA", "0000"};

    void SetUp() override {
        ASSERT_TRUE(
            hive.modify([&](HiveData &data) {
                    data.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"));
                    data.setValue(d.keyPath(), kServiceValue, RegValue::string("lumacam"));
                    data.setValue(d.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(10));
                    data.setValue(d.driverKeyPath(), kFrameHeightValue, RegValue::fromDword(6));
                    return S_OK;
                })
                .succeeded());
    }
};

// After a reboot emptied the run directory, the first link to the camera makes its channel
// again from the device's parameters, and a frame goes through it to a reader.
TEST_F(InstalledCameraFixture, LinkAfterRebootMakesTheChannelAgain) {
    std::filesystem::remove_all(root.path() / "run");
    CameraLink link;
    ASSERT_EQ(openCameraLink(link), S_OK);
    int32_t w = 0, h = 0;
    ASSERT_EQ(getCameraFormat(link, w, h), S_OK);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 6);
    FrameDescriptor desc;
    ASSERT_EQ(getFrameDescriptor(link, desc), S_OK);
    std::memset(desc.buffer(), 0x3C, desc.byteCount);
    ASSERT_EQ(commitFrame(link, desc), S_OK);

    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(d), reader).succeeded());
    std::vector<uint8_t> frame;
    ASSERT_TRUE(reader->readLatest(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(10 * 6 * 3, 0x3C));
}

// A machine hive that cannot be read is the failure discovery reports, not "not found".
TEST_F(InstalledCameraFixture, UnreadableHiveIsReportedNotNotFound) {
    test::writeFile(hive.file(), test::readFile(hive.file()) + "[Key]\nnot a value line\n");
    std::unique_ptr<BaseFilter> filter;
    EXPECT_EQ(findFilterByName(CLSID_VideoInputDeviceCategory, "Lumaghost", filter),
              hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_EQ(filter, nullptr);
    CameraLink link;
    EXPECT_EQ(openCameraLink(link), hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_FALSE(link.isOpen());
}

}  // namespace
}  // namespace lumaghost
