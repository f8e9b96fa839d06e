// lumasetup: with no argument installs the camera device from ./Lumacam.inf or updates it; with
// any argument removes it. Shows nothing; the exit code is the result.
#include <unistd.h>

#include <filesystem>

#include "linux_device_installer.h"
#include "loopback_setup.h"
#include "lumasetup.h"
#include "registry.h"

int main(int argc, char **argv) {
    (void)argv;
    using namespace lumaghost;
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec)
        return -1;
    RegistryHive hive = machineHive();
    LinuxDeviceInstaller installer(hive, cwd, &systemLoopback());
    return RunLumasetup(installer, systemVersionSource(), argc > 1).exitCode;
}
