// Device installation on the machine hive's device tree. Installing the driver applies the INF
// to the device (FriendlyName, Service, the format in "Device Parameters") and creates the
// device's frame channel; removing a device deletes its instance key and its frame channel.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "device_installer.h"
#include "device_tree.h"
#include "loopback_setup.h"
#include "registry.h"

namespace lumaghost {

class LinuxDeviceInstaller final : public DeviceInstaller {
public:
    LinuxDeviceInstaller(RegistryHive &hive, std::filesystem::path currentDirectory,
                         LoopbackSystem *loopback = nullptr);

    uint32_t fullPath(std::string_view fileName, std::string &path) override;
    uint32_t infClass(const std::string &infPath, Guid &classGuid, std::string &className,
                      uint32_t classNameCapacity) override;
    uint32_t openClassDevices(const Guid &classGuid) override;
    uint32_t enumDevice(uint32_t index) override;
    uint32_t hardwareIdProperty(uint32_t index, uint8_t *buffer, uint32_t size,
                                uint32_t &required) override;
    uint32_t setHardwareIdProperty(uint32_t index, const uint8_t *data, uint32_t size) override;
    uint32_t createDevice(std::string_view name, const Guid &classGuid, uint32_t &index) override;
    uint32_t selectDevice(uint32_t index) override;
    uint32_t callClassInstaller(DiFunction function, uint32_t index) override;
    uint32_t removeDevice(uint32_t index) override;
    void destroyDeviceList() override;
    uint32_t updateDriverForPlugAndPlayDevices(std::string_view hardwareId,
                                               std::string_view infPath,
                                               bool &rebootRequired) override;

private:
    uint32_t installDriver(const DeviceInstance &device, std::string_view hardwareId,
                           const std::filesystem::path &inf);

    RegistryHive &hive_;
    DeviceTree tree_;
    std::filesystem::path cwd_;
    std::string className_;
    std::vector<DeviceInstance> devices_;
    int selected_ = -1;
    LoopbackSystem *loopback_;
};

/// Marks a device created but not yet registered.
inline constexpr std::string_view kPhantomValue = "Phantom";

}  // namespace lumaghost
