// SPDX-License-Identifier: LGPL-2.1-or-later
// lumasetup: with no argument installs the camera device from ./Lumacam.inf or updates it; with
// any argument removes it. The exit code is the result: 0 done or nothing to do, 1 failed,
// 255 Lumacam.inf unusable; a failure is told in one line on standard error.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/paths.h"
#include "platform/registry.h"
#include "setup/linux_device_installer.h"
#include "setup/loopback_setup.h"
#include "setup/lumasetup.h"
#include "setup/state_directory.h"

namespace {

void report(std::string message) {
    // One line, whatever a file or directory name holds.
    for (char &c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    std::fprintf(stderr, "lumasetup: %s\n", message.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    (void)argv;
    using namespace lumaghost;
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) {
        report("Cannot find the current directory: " + ec.message());
        return kSetupUnusableInf;
    }
    // The state directory first: the device tree goes into the machine hive there. Where it
    // cannot be made, writing the hive fails and says so.
    if (argc == 1)
        (void)prepareStateDirectory(systemDirectory());
    RegistryHive hive = machineHive();
    LinuxDeviceInstaller installer(hive, cwd, &systemLoopback());
    SetupResult result = runLumasetup(installer, systemVersionSource(), argc > 1);
    if (result.exitCode != kSetupDone)
        report(result.message);
    return result.exitCode;
}
