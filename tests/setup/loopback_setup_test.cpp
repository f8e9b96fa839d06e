#include "loopback_setup.h"

#include <gtest/gtest.h>

#include "linux_device_installer.h"
#include "lumasetup.h"
#include "paths.h"
#include "registry.h"
#include "test_support.h"

namespace lumaghost {
namespace {

class FakeLoopback : public LoopbackSystem {
public:
    std::vector<std::string> labels;
    bool control = false, module = false;
    int modprobeStatus = 0;
    std::vector<std::string> calls;
    std::string options;

    std::vector<std::string> outputCardLabels() override { return labels; }
    bool controlDeviceExists() override { return control; }
    int addDevice(const std::string &label, bool exclusive) override {
        calls.push_back("add " + label + (exclusive ? " exclusive" : ""));
        return 3;
    }
    bool moduleInstalled() override { return module; }
    bool writeModuleOptions(const std::string &text) override {
        calls.push_back("options");
        options = text;
        return true;
    }
    int loadModule() override {
        calls.push_back("modprobe");
        return modprobeStatus;
    }
};

using Calls = std::vector<std::string>;

TEST(LoopbackSetupTest, EachKindOfInstallation) {
    FakeLoopback present;
    present.labels = {"Integrated Camera", "Lumaghost"};
    present.control = true;
    EXPECT_EQ(PrepareLoopback(present, "Lumaghost"), S_OK);
    EXPECT_TRUE(present.calls.empty());

    FakeLoopback control;  // 0.13: the control device adds a node with exclusive caps
    control.control = true;
    EXPECT_EQ(PrepareLoopback(control, "Lumaghost"), S_OK);
    EXPECT_EQ(control.calls, (Calls{"add Lumaghost exclusive"}));

    FakeLoopback module;  // 0.12: options written, then the module loaded
    module.module = true;
    EXPECT_EQ(PrepareLoopback(module, "Lumaghost"), S_OK);
    EXPECT_EQ(module.calls, (Calls{"options", "modprobe"}));
    EXPECT_NE(
        module.options.find("options v4l2loopback card_label=\"Lumaghost\" exclusive_caps=1\n"),
        std::string::npos);
    module.modprobeStatus = 1;
    EXPECT_EQ(PrepareLoopback(module, "Lumaghost"), E_FAIL);

    FakeLoopback none;
    EXPECT_EQ(PrepareLoopback(none, "Lumaghost"), S_FALSE);
    EXPECT_TRUE(none.calls.empty());
}

// A name cannot break out of the options line.
TEST(LoopbackSetupTest, OptionsCarryNoQuotesOrLines) {
    EXPECT_NE(
        loopbackModuleOptions("Bad\"\nname\\x").find("card_label=\"Badnamex\" exclusive_caps=1"),
        std::string::npos);
}

// Installing and updating the camera prepare its loopback node.
TEST(LoopbackSetupTest, InstallAndUpdatePrepareTheNode) {
    test::TempRoot root;
    std::filesystem::create_directories(root.path() / "media");
    std::filesystem::copy_file(std::filesystem::path(LUMAGHOST_RES_DIR) / "Lumacam.inf",
                               root.path() / "media/Lumacam.inf");
    RegistryHive hive = machineHive();
    FakeLoopback loopback;
    loopback.control = true;
    for (int run = 0; run < 2; ++run) {
        LinuxDeviceInstaller installer(hive, root.path() / "media", &loopback);
        ASSERT_EQ(RunLumasetup(installer, systemVersionSource(), false).exitCode, 0);
    }
    EXPECT_EQ(loopback.calls, (Calls{"add Lumaghost exclusive", "add Lumaghost exclusive"}));
}

}  // namespace
}  // namespace lumaghost
