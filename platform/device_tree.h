// SPDX-License-Identifier: LGPL-2.1-or-later
// The device tree: root-enumerated device instances kept in the machine hive under
// SYSTEM\CurrentControlSet\Enum\Root\<ENUMERATOR>\NNNN, each with its properties and its
// "Device Parameters" key (the driver key).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/registry.h"

namespace lumaghost {

inline constexpr std::string_view kEnumRootKey = "SYSTEM\\CurrentControlSet\\Enum\\Root";
inline constexpr std::string_view kDeviceParametersKey = "Device Parameters";

// Instance property and driver key value names.
inline constexpr std::string_view kHardwareIdValue = "HardwareID";
inline constexpr std::string_view kFriendlyNameValue = "FriendlyName";
inline constexpr std::string_view kClassValue = "Class";
inline constexpr std::string_view kClassGuidValue = "ClassGUID";
inline constexpr std::string_view kServiceValue = "Service";
inline constexpr std::string_view kFrameWidthValue = "FrameWidth";
inline constexpr std::string_view kFrameHeightValue = "FrameHeight";
inline constexpr std::string_view kFrameRateValue = "FrameRate";
// The sizes a user may choose for the camera beyond the usual ones (from the INF).
inline constexpr std::string_view kMinFrameWidthValue = "MinFrameWidth";
inline constexpr std::string_view kMinFrameHeightValue = "MinFrameHeight";
inline constexpr std::string_view kMaxFrameWidthValue = "MaxFrameWidth";
inline constexpr std::string_view kMaxFrameHeightValue = "MaxFrameHeight";

struct DeviceInstance {
    std::string enumerator;  // "MEDIA"
    std::string number;      // "0000"

    /// The instance key: SYSTEM\CurrentControlSet\Enum\Root\MEDIA\0000.
    std::string keyPath() const;
    /// Its "Device Parameters" key.
    std::string driverKeyPath() const;
    /// "ROOT\MEDIA\0000".
    std::string instanceId() const;

    friend bool operator==(const DeviceInstance &, const DeviceInstance &) = default;
};

class DeviceTree {
public:
    explicit DeviceTree(RegistryHive &hive) : hive_(hive) {}

    RegistryHive &hive() { return hive_; }

    /// Every root-enumerated instance, by enumerator and then instance number.
    std::vector<DeviceInstance> instances() const;
    /// The same, from contents already read.
    static std::vector<DeviceInstance> instancesOf(const HiveData &data);
    /// The instances of one enumerator in instance order.
    std::vector<DeviceInstance> instances(std::string_view enumerator) const;

    /// Creates the first free instance NNNN under the class's enumerator, with its class values.
    HResult createInstance(std::string_view className, const Guid &classGuid, DeviceInstance &out);
    /// The same in contents being changed, so that more can be written in the same change.
    static HResult addInstance(HiveData &data, std::string_view className, const Guid &classGuid,
                               DeviceInstance &out);
    /// Deletes the instance key with its subtree.
    HResult removeInstance(const DeviceInstance &device);

private:
    RegistryHive &hive_;
};

}  // namespace lumaghost
