// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/installed_devices.h"

#include "platform/ini_file.h"
#include "platform/paths.h"

namespace lumaghost {

std::filesystem::path frameChannelPath(const DeviceInstance &device) {
    return frameChannelDirectory() / (device.enumerator + "_" + device.number + ".frames");
}

ChannelFormat readDeviceFormat(const HiveData &hive, const DeviceInstance &device) {
    ChannelFormat format;
    auto dword = [&](std::string_view name, uint32_t &field) {
        const RegValue *v = hive.value(device.driverKeyPath(), name);
        if (v && v->type == RegType::Dword && v->dword > 0)
            field = v->dword;
    };
    dword(kFrameWidthValue, format.width);
    dword(kFrameHeightValue, format.height);
    dword(kFrameRateValue, format.fps);
    return format;
}

bool isLumacamInstance(const HiveData &hive, const DeviceInstance &device) {
    const RegValue *service = hive.value(device.keyPath(), kServiceValue);
    return service && service->type == RegType::String &&
           equalsIgnoreCase(service->text, kLumacamService);
}

std::vector<InstalledDevice> installedDevicesOf(const HiveData &hive) {
    std::vector<InstalledDevice> out;
    for (const auto &device : DeviceTree::instancesOf(hive)) {
        if (!isLumacamInstance(hive, device))
            continue;
        const RegValue *name = hive.value(device.keyPath(), kFriendlyNameValue);
        const HResult r = !name                           ? hresultFromWin32(ERROR_FILE_NOT_FOUND)
                          : name->type != RegType::String ? hresultFromWin32(ERROR_INVALID_DATA)
                                                          : S_OK;
        out.push_back({device, r, r.succeeded() ? name->text : std::string(),
                       readDeviceFormat(hive, device)});
    }
    return out;
}

HResult readInstalledDevices(const RegistryHive &hive, std::vector<InstalledDevice> &out,
                             std::string *error) {
    out.clear();
    HiveData data;
    HResult r = hive.read(data, error);
    if (r.failed())
        return r;
    out = installedDevicesOf(data);
    return S_OK;
}

}  // namespace lumaghost
