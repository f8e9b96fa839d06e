// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/loopback_setup.h"

#include <sys/utsname.h>

#include <cerrno>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "setup/linux_device_installer.h"
#include "setup/lumasetup.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

class FakeLoopback : public LoopbackSystem {
public:
    std::map<int, std::string> nodes;  // video node number -> card label
    bool control = false, module = false;
    int modprobeStatus = 0;
    std::vector<std::string> calls;
    std::string options;

    std::vector<std::string> outputCardLabels() override {
        std::vector<std::string> out;
        for (const auto &[number, label] : nodes)
            out.push_back(label);
        return out;
    }
    std::string cardLabel(int number) override {
        auto it = nodes.find(number);
        return it == nodes.end() ? std::string() : it->second;
    }
    bool controlDeviceExists() override { return control; }
    int addDevice(const std::string &label, bool exclusive) override {
        calls.push_back("add " + label + (exclusive ? " exclusive" : ""));
        int number = nodes.empty() ? 3 : nodes.rbegin()->first + 1;
        nodes[number] = label.substr(0, 31);
        return number;
    }
    int removeDevice(int number) override {
        calls.push_back("remove " + std::to_string(number));
        return nodes.erase(number) ? 0 : -ENODEV;
    }
    bool moduleInstalled() override { return module; }
    std::string moduleOptions() override { return options; }
    bool writeModuleOptions(const std::string &text) override {
        calls.push_back(text.empty() ? "options removed" : "options");
        options = text;
        return true;
    }
    int loadModule() override {
        calls.push_back("modprobe");
        return modprobeStatus;
    }
};

using Calls = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(LoopbackSetupTest, EachKindOfInstallation) {
    FakeLoopback present;
    present.nodes = {{0, "Integrated Camera"}, {1, "Lumaghost"}};
    present.control = true;
    int added = 7;
    EXPECT_EQ(prepareLoopback(present, "Lumaghost", &added), S_OK);
    EXPECT_TRUE(present.calls.empty());
    EXPECT_EQ(added, -1);  // there already, not made by us

    FakeLoopback control;  // 0.13: the control device adds a node with exclusive caps
    control.control = true;
    EXPECT_EQ(prepareLoopback(control, "Lumaghost", &added), S_OK);
    EXPECT_EQ(control.calls, (Calls{"add Lumaghost exclusive"}));
    EXPECT_EQ(added, 3);

    FakeLoopback module;  // 0.12: options written, then the module loaded
    module.module = true;
    EXPECT_EQ(prepareLoopback(module, "Lumaghost", &added), S_OK);
    EXPECT_EQ(module.calls, (Calls{"options", "modprobe"}));
    EXPECT_EQ(added, -1);
    EXPECT_NE(
        module.options.find("options v4l2loopback card_label=\"Lumaghost\" exclusive_caps=1\n"),
        std::string::npos);
    module.modprobeStatus = 1;
    EXPECT_EQ(prepareLoopback(module, "Lumaghost"), E_FAIL);

    FakeLoopback none;
    EXPECT_EQ(prepareLoopback(none, "Lumaghost"), S_FALSE);
    EXPECT_TRUE(none.calls.empty());
}

// A node carries 31 characters of a longer name: that node is the camera's, found again by the
// next run and removed with the camera.
TEST(LoopbackSetupTest, LongNamesAreKnownByTheirCutLabel) {
    const std::string name = "Lumaghost Virtual Camera of the Second Floor";
    FakeLoopback system;
    system.control = true;
    int added = -1;
    EXPECT_EQ(prepareLoopback(system, name, &added), S_OK);
    EXPECT_EQ(prepareLoopback(system, name), S_OK);
    EXPECT_EQ(system.calls, (Calls{"add " + name + " exclusive"}));
    EXPECT_EQ(removeLoopback(system, name, added), S_OK);
    EXPECT_TRUE(system.nodes.empty());
}

// Removal takes away only what was made for the camera: the node the control device added
// while it still carries the camera's name, and the camera's line of the module options.
TEST(LoopbackSetupTest, RemovalUndoesOnlyWhatWasMade) {
    FakeLoopback control;
    control.control = true;
    control.nodes = {{0, "Integrated Camera"}, {4, "Lumaghost"}, {5, "Other"}};
    EXPECT_EQ(removeLoopback(control, "Lumaghost", 5), S_FALSE);   // renumbered: not ours
    EXPECT_EQ(removeLoopback(control, "Lumaghost", -1), S_FALSE);  // not made by us
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(removeLoopback(control, "Lumaghost", 4), S_OK);
    EXPECT_EQ(control.calls, (Calls{"remove 4"}));
    EXPECT_EQ(control.nodes.size(), 2u);

    FakeLoopback module;
    module.module = true;
    module.options = loopbackModuleOptions("Lumaghost");
    EXPECT_EQ(removeLoopback(module, "Other", -1), S_FALSE);
    EXPECT_EQ(removeLoopback(module, "Lumaghost", -1), S_OK);
    EXPECT_EQ(module.calls, (Calls{"options removed"}));
    EXPECT_EQ(module.options, "");

    // Lines someone else added stay.
    module.calls.clear();
    module.options = "options snd_hda_intel power_save=1\n" + loopbackModuleOptions("Lumaghost");
    EXPECT_EQ(removeLoopback(module, "Lumaghost", -1), S_OK);
    EXPECT_EQ(module.options,
              "options snd_hda_intel power_save=1\n# Written by lumasetup: the loopback node of "
              "the Lumaghost camera.\n");
}

// A name cannot break out of the options line.
TEST(LoopbackSetupTest, OptionsCarryNoQuotesOrLines) {
    EXPECT_NE(
        loopbackModuleOptions("Bad\"\nname\\x").find("card_label=\"Badnamex\" exclusive_caps=1"),
        std::string::npos);
}

struct LoopbackInstallFixture : ::testing::Test {
    test::TempRoot root;
    fs::path media = root.path() / "media";
    RegistryHive hive = machineHive();
    FakeLoopback loopback;

    LoopbackInstallFixture() {
        fs::create_directories(media);
        fs::copy_file(fs::path(LUMAGHOST_RES_DIR) / "Lumacam.inf", media / "Lumacam.inf");
    }
    int run(bool remove) {
        LinuxDeviceInstaller installer(hive, media, &loopback);
        return runLumasetup(installer, systemVersionSource(), remove).exitCode;
    }
    std::optional<RegValue> node() {
        return hive.value(DeviceInstance{"MEDIA", "0000"}.keyPath(), kLoopbackNodeValue);
    }
};

// Installing adds the node and records it; an update adds one only when the node is gone (as
// after a restart); removing the camera removes the node it added.
TEST_F(LoopbackInstallFixture, ControlDeviceNodeLivesAndDiesWithTheCamera) {
    loopback.control = true;
    loopback.nodes = {{0, "Integrated Camera"}};
    ASSERT_EQ(run(false), 0);
    ASSERT_EQ(run(false), 0);
    EXPECT_EQ(loopback.calls, (Calls{"add Lumaghost exclusive"}));
    ASSERT_TRUE(node());
    EXPECT_EQ(node()->dword, 1u);

    loopback.nodes = {{0, "Integrated Camera"}, {1, "Other"}};  // restarted; 1 is another's now
    ASSERT_EQ(run(false), 0);
    EXPECT_EQ(node()->dword, 2u);
    ASSERT_EQ(run(true), 0);
    EXPECT_EQ(loopback.calls,
              (Calls{"add Lumaghost exclusive", "add Lumaghost exclusive", "remove 2"}));
    EXPECT_EQ(loopback.nodes, (std::map<int, std::string>{{0, "Integrated Camera"}, {1, "Other"}}));
}

TEST_F(LoopbackInstallFixture, ModuleOptionsLiveAndDieWithTheCamera) {
    loopback.module = true;
    ASSERT_EQ(run(false), 0);
    EXPECT_EQ(loopback.options, loopbackModuleOptions("Lumaghost"));
    EXPECT_FALSE(node());
    ASSERT_EQ(run(true), 0);
    EXPECT_EQ(loopback.calls, (Calls{"options", "modprobe", "options removed"}));
    EXPECT_EQ(loopback.options, "");
}

// A second camera of the same name still shows through the node: it stays until the last goes.
TEST_F(LoopbackInstallFixture, NodeStaysWhileACameraOfItsNameRemains) {
    loopback.control = true;
    ASSERT_EQ(run(false), 0);
    DeviceInstance second{"MEDIA", "0001"};
    ASSERT_TRUE(
        hive.modify([&](HiveData &d) {
                d.setValue(second.keyPath(), kClassGuidValue,
                           RegValue::string("{4D36E96C-E325-11CE-BFC1-08002BE10318}"));
                d.setValue(second.keyPath(), kHardwareIdValue, RegValue::multiString({"Lumacam"}));
                d.setValue(second.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"));
                return S_OK;
            })
            .succeeded());
    ASSERT_EQ(run(true), 0);
    EXPECT_EQ(loopback.nodes.size(), 1u);
    ASSERT_EQ(run(true), 0);
    EXPECT_EQ(loopback.nodes.size(), 1u);  // the second never recorded a node of its own
    EXPECT_EQ(loopback.calls, (Calls{"add Lumaghost exclusive"}));
}

// Under $LUMAGHOST_ROOT the system's loopback lives under the root, and no module is loaded
// into the running kernel.
TEST(SystemLoopbackTest, EverythingLivesUnderTheRoot) {
    test::TempRoot root;
    LoopbackSystem &system = systemLoopback();
    EXPECT_FALSE(system.controlDeviceExists());
    EXPECT_FALSE(system.moduleInstalled());
    EXPECT_TRUE(system.outputCardLabels().empty());

    utsname u;
    ASSERT_EQ(uname(&u), 0);
    test::writeFile(root.path() / "dev/v4l2loopback", "");
    test::writeFile(root.path() / "dev/video0", "");
    test::writeFile(root.path() / "lib/modules" / u.release / "updates/dkms/v4l2loopback.ko.xz",
                    "");
    EXPECT_TRUE(system.controlDeviceExists());
    EXPECT_TRUE(system.moduleInstalled());
    EXPECT_LT(system.addDevice("Lumaghost", true), 0);  // a plain file is no control device
    EXPECT_LT(system.removeDevice(0), 0);
    EXPECT_EQ(system.cardLabel(0), "");
    EXPECT_TRUE(system.outputCardLabels().empty());

    ASSERT_TRUE(system.writeModuleOptions(loopbackModuleOptions("Lumaghost")));
    const fs::path options = root.path() / "etc/modprobe.d/lumaghost-v4l2loopback.conf";
    EXPECT_EQ(test::readFile(options), loopbackModuleOptions("Lumaghost"));
    EXPECT_EQ(system.moduleOptions(), loopbackModuleOptions("Lumaghost"));
    EXPECT_NE(system.loadModule(), 0);
    ASSERT_TRUE(system.writeModuleOptions(""));
    EXPECT_FALSE(fs::exists(options));
    EXPECT_EQ(system.moduleOptions(), "");
}

}  // namespace
}  // namespace lumaghost
