// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/format_choice.h"

#include <gtest/gtest.h>

#include "device/installed_devices.h"
#include "tests/device/test_camera.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;

struct ParseCase {
    const char *text;
    bool ok;
    ChannelFormat format;
};

class FormatParse : public ::testing::TestWithParam<ParseCase> {};

// Only WIDTHxHEIGHT with an optional @FPS is read; the rate is kept when none is given.
TEST_P(FormatParse, ReadsWidthHeightAndRate) {
    const ParseCase &c = GetParam();
    ChannelFormat f{1, 2, 25};
    std::string error;
    EXPECT_EQ(FormatChoice::parse(c.text, f, error), c.ok) << c.text;
    if (c.ok) {
        EXPECT_EQ(f, c.format) << c.text;
    } else {
        EXPECT_EQ(f, (ChannelFormat{1, 2, 25})) << c.text;
        EXPECT_NE(error.find("WIDTHxHEIGHT"), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FormatParse,
    ::testing::Values(ParseCase{"1280x720", true, {1280, 720, 25}},
                      ParseCase{"1920x1080@60", true, {1920, 1080, 60}},
                      ParseCase{"320x240@30", true, {320, 240, 30}}, ParseCase{"1280x", false, {}},
                      ParseCase{"x720", false, {}}, ParseCase{"1280*720", false, {}},
                      ParseCase{"1280x720@", false, {}}, ParseCase{"-1280x720", false, {}},
                      ParseCase{"1280x720@30fps", false, {}}, ParseCase{"999999x720", false, {}},
                      ParseCase{"", false, {}}, ParseCase{"1280 x 720", false, {}}));

struct ChoiceCase {
    ChannelFormat format;
    bool allowed;
};

class FormatAllowed : public ::testing::TestWithParam<ChoiceCase> {};

// The usual sizes are always offered, others within the limits, rates 1 to 60.
TEST_P(FormatAllowed, UsualSizesLimitsAndRates) {
    const ChoiceCase &c = GetParam();
    const FormatLimits limits{200, 100, 1000, 800};
    const std::string problem = FormatChoice::problem(c.format, limits);
    EXPECT_EQ(problem.empty(), c.allowed) << FormatChoice::describe(c.format) << ": " << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatAllowed,
    ::testing::Values(ChoiceCase{{160, 120, 30}, true}, ChoiceCase{{320, 240, 30}, true},
                      ChoiceCase{{640, 480, 30}, true}, ChoiceCase{{640, 360, 30}, true},
                      ChoiceCase{{800, 600, 30}, true}, ChoiceCase{{1280, 720, 30}, true},
                      ChoiceCase{{1920, 1080, 60}, true}, ChoiceCase{{1920, 1080, 1}, true},
                      ChoiceCase{{200, 100, 30}, true}, ChoiceCase{{1000, 800, 30}, true},
                      ChoiceCase{{999, 333, 15}, true}, ChoiceCase{{199, 100, 30}, false},
                      ChoiceCase{{1001, 800, 30}, false}, ChoiceCase{{1280, 721, 30}, false},
                      ChoiceCase{{3840, 2160, 30}, false}, ChoiceCase{{1280, 720, 0}, false},
                      ChoiceCase{{1280, 720, 61}, false}));

struct ApplyFixture : ::testing::Test {
    TempRoot root;
    DeviceInstance device{"MEDIA", "0000"};
    RegistryHive hive = machineHive();

    void SetUp() override {
        ASSERT_TRUE(test::installCamera(device, "Lumaghost", {320, 240, 30}).succeeded());
    }
    ChannelFormat channelFormat() {
        std::unique_ptr<FrameChannel> c;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(device), c).succeeded());
        return c ? c->format() : ChannelFormat{};
    }
};

// The format goes into the device's parameters and its channel is made at that size.
TEST_F(ApplyFixture, WritesTheParametersAndRemakesTheChannel) {
    std::string error;
    ASSERT_TRUE(FormatChoice::apply(hive, device, {1280, 720, 25}, error).succeeded()) << error;
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_EQ(readDeviceFormat(data, device), (ChannelFormat{1280, 720, 25}));
    EXPECT_EQ(channelFormat(), (ChannelFormat{1280, 720, 25}));
}

// A format refused changes nothing, neither the parameters nor the channel.
TEST_F(ApplyFixture, RefusedFormatChangesNothing) {
    std::string error;
    EXPECT_EQ(FormatChoice::apply(hive, device, {4000, 3000, 30}, error), E_INVALIDARG);
    EXPECT_NE(error.find("4000x3000"), std::string::npos) << error;
    EXPECT_EQ(FormatChoice::apply(hive, device, {640, 480, 90}, error), E_INVALIDARG);
    EXPECT_NE(error.find("90"), std::string::npos) << error;
    HiveData data;
    ASSERT_TRUE(hive.read(data).succeeded());
    EXPECT_EQ(readDeviceFormat(data, device), (ChannelFormat{320, 240, 30}));
    EXPECT_EQ(channelFormat(), (ChannelFormat{320, 240, 30}));
}

// The limits come from the device's parameters, where the INF put them.
TEST_F(ApplyFixture, LimitsComeFromTheDeviceParameters) {
    ASSERT_TRUE(
        hive.setValue(device.driverKeyPath(), kMaxFrameWidthValue, RegValue::fromDword(2560))
            .succeeded());
    ASSERT_TRUE(
        hive.setValue(device.driverKeyPath(), kMaxFrameHeightValue, RegValue::fromDword(1440))
            .succeeded());
    std::string error;
    EXPECT_TRUE(FormatChoice::apply(hive, device, {2560, 1440, 30}, error).succeeded()) << error;
    EXPECT_EQ(FormatChoice::apply(hive, device, {2561, 1440, 30}, error), E_INVALIDARG);
}

// A device that is not ours is not touched.
TEST_F(ApplyFixture, OnlyInstalledCamerasTakeAFormat) {
    std::string error;
    EXPECT_TRUE(FormatChoice::apply(hive, {"MEDIA", "0001"}, {640, 480, 30}, error).failed());
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace lumaghost
