// SPDX-License-Identifier: LGPL-2.1-or-later
// Device installation on the machine hive's device tree. Installing the driver applies the INF
// to the device (FriendlyName, Service, the format in "Device Parameters") and creates the
// device's frame channel; removing a device deletes its instance key, its frame channel and the
// loopback node made for it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/device_tree.h"
#include "platform/registry.h"
#include "setup/device_installer.h"
#include "setup/loopback_setup.h"

namespace lumaghost {

/// The largest frame a camera delivers (8K UHD) and its frame rates.
inline constexpr uint32_t kMaxCameraWidth = 7680;
inline constexpr uint32_t kMaxCameraHeight = 4320;
inline constexpr uint32_t kMaxCameraRate = 240;

class LinuxDeviceInstaller final : public DeviceInstaller {
public:
    LinuxDeviceInstaller(RegistryHive &hive, std::filesystem::path currentDirectory,
                         LoopbackSystem *loopback = nullptr);

    HResult fullPath(std::string_view fileName, std::string &path) override;
    HResult infClass(const std::string &infPath, Guid &classGuid, std::string &className,
                     uint32_t classNameCapacity) override;
    HResult checkInf(const std::string &infPath, std::string_view hardwareId) override;
    HResult openClassDevices(const Guid &classGuid) override;
    HResult enumDevice(uint32_t index) override;
    HResult hardwareIdProperty(uint32_t index, uint8_t *buffer, uint32_t size,
                               uint32_t &required) override;
    HResult setHardwareIdProperty(uint32_t index, const uint8_t *data, uint32_t size) override;
    HResult createDevice(std::string_view name, const Guid &classGuid, uint32_t &index) override;
    HResult selectDevice(uint32_t index) override;
    HResult callClassInstaller(DiFunction function, uint32_t index) override;
    HResult removeDevice(uint32_t index) override;
    void destroyDeviceList() override;
    HResult updateDriverForPlugAndPlayDevices(std::string_view hardwareId, std::string_view infPath,
                                              bool &rebootRequired) override;
    std::string failureMessage() const override { return message_; }

private:
    HResult installDriver(const DeviceInstance &device, std::string_view hardwareId,
                          const std::filesystem::path &inf);
    HResult fail(HResult error, std::string message);
    /// The hive, or a failure that says which file cannot be read and why.
    HResult readDevices(HiveData &data);
    /// Why a change of the hive failed: the damage that keeps it from being read, or the error.
    std::string hiveFailure(HResult r) const;

    RegistryHive &hive_;
    DeviceTree tree_;
    std::filesystem::path cwd_;
    std::string className_;
    std::vector<DeviceInstance> devices_;
    int selected_ = -1;
    LoopbackSystem *loopback_;
    std::string message_;
};

/// Marks a device created but not yet registered.
inline constexpr std::string_view kPhantomValue = "Phantom";
/// The number of the loopback node the control device added for the device.
inline constexpr std::string_view kLoopbackNodeValue = "LoopbackNode";

}  // namespace lumaghost
