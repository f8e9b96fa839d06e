// SPDX-License-Identifier: LGPL-2.1-or-later
// The installed Lumaghost devices as the machine hive describes them: which device instances are
// ours, their FriendlyName and format, and where each one's frame channel lives.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "device/frame_channel.h"
#include "platform/device_tree.h"
#include "platform/registry.h"

namespace lumaghost {

/// The Service value that marks an instance whose Lumaghost driver is installed.
inline constexpr std::string_view kLumacamService = "lumacam";

/// The frame channel file of an installed device.
std::filesystem::path frameChannelPath(const DeviceInstance &device);

/// The device's format from its "Device Parameters", with the defaults for missing values.
ChannelFormat readDeviceFormat(const HiveData &hive, const DeviceInstance &device);

/// Whether the instance runs the Lumaghost driver: its Service value is kLumacamService, in
/// any case.
bool isLumacamInstance(const HiveData &hive, const DeviceInstance &device);

/// An installed Lumaghost device as the machine hive describes it.
struct InstalledDevice {
    DeviceInstance instance;
    HResult nameResult;    // why the FriendlyName cannot be read, when it cannot
    std::string name;      // the FriendlyName
    ChannelFormat format;  // from its "Device Parameters"
};

/// The installed Lumaghost devices of the hive's contents, in instance order.
std::vector<InstalledDevice> installedDevicesOf(const HiveData &hive);

/// Reads the machine hive for the installed devices. When the hive cannot be read this fails
/// and `error` says why, naming the file and, for a malformed one, the line ("FILE, line N:
/// what"); the file is left as it is.
HResult readInstalledDevices(const RegistryHive &hive, std::vector<InstalledDevice> &out,
                             std::string *error = nullptr);

}  // namespace lumaghost
