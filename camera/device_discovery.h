// SPDX-License-Identifier: LGPL-2.1-or-later
// Finding devices by their FriendlyName, listing a category's names, locating the camera
// device's driver key, and the platform test these depend on.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "camera/capture_devices.h"
#include "platform/hresult.h"
#include "platform/platform_version.h"
#include "platform/registry.h"

namespace lumaghost {

/// Creates the system device enumerator. Tests install a factory of their own.
HResult createDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out);

/// Replaces the device enumerator factory for as long as it lives.
class ScopedDeviceEnumeratorFactory {
public:
    explicit ScopedDeviceEnumeratorFactory(DeviceEnumeratorFactory factory);
    ~ScopedDeviceEnumeratorFactory();
    ScopedDeviceEnumeratorFactory(const ScopedDeviceEnumeratorFactory &) = delete;
    ScopedDeviceEnumeratorFactory &operator=(const ScopedDeviceEnumeratorFactory &) = delete;

private:
    DeviceEnumeratorFactory previous_;
};

/// Binds the first device of `category` whose FriendlyName equals `name` exactly (an empty name
/// takes the first readable one). `filter` is written only on success. The devices are those of
/// createDeviceEnumerator, or of `devices` where the caller hands in its own (the media layer's
/// for the legacy filter category).
HResult findFilterByName(const Guid &category, std::string_view name,
                         std::unique_ptr<BaseFilter> &filter);
HResult findFilterByName(const Guid &category, std::string_view name,
                         std::unique_ptr<BaseFilter> &filter,
                         const DeviceEnumeratorFactory &devices);

/// The FriendlyNames of a category in enumeration order; names that cannot be read are left out.
std::vector<std::string> listFriendlyNames(const Guid &category);

/// NT family, or Windows Me (platform 1, version 4.90).
bool isNtOrMe(VersionSource &versions = systemVersionSource());

/// Locates the camera device's key in the machine hive: the first of the instances
/// 0000 to 0008 that opens for reading and writing. Empty when none does.
std::string findDriverKey(RegistryHive &machine, VersionSource &versions = systemVersionSource());

}  // namespace lumaghost
