// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/device_discovery.h"

#include <mutex>
#include <utility>

#include "camera/system_devices.h"

namespace lumaghost {

namespace {

std::mutex factoryMutex;  // guards factory()

DeviceEnumeratorFactory &factory() {
    static DeviceEnumeratorFactory f = [](std::unique_ptr<DeviceEnumerator> &out) {
        return createSystemDeviceEnumerator(out);
    };
    return f;
}

constexpr std::string_view kHardwareIdLumacam = "Lumacam";

}  // namespace

HResult createDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out) {
    DeviceEnumeratorFactory f;
    {
        std::lock_guard lock(factoryMutex);
        f = factory();
    }
    return f(out);
}

ScopedDeviceEnumeratorFactory::ScopedDeviceEnumeratorFactory(DeviceEnumeratorFactory f) {
    std::lock_guard lock(factoryMutex);
    previous_ = std::exchange(factory(), std::move(f));
}

ScopedDeviceEnumeratorFactory::~ScopedDeviceEnumeratorFactory() {
    std::lock_guard lock(factoryMutex);
    factory() = std::move(previous_);
}

HResult findFilterByName(const Guid &category, std::string_view name,
                         std::unique_ptr<BaseFilter> &filter) {
    return findFilterByName(category, name, filter, createDeviceEnumerator);
}

HResult findFilterByName(const Guid &category, std::string_view name,
                         std::unique_ptr<BaseFilter> &filter,
                         const DeviceEnumeratorFactory &factory) {
    std::unique_ptr<DeviceEnumerator> devices;
    HResult r = factory ? factory(devices) : E_POINTER;
    if (r.failed())
        return r;
    if (!devices)
        return E_UNEXPECTED;

    std::vector<std::unique_ptr<Moniker>> monikers;
    r = devices->createClassEnumerator(category, monikers);
    if (r != S_OK)
        return r.failed() ? r : VFW_E_NOT_FOUND;

    for (auto &moniker : monikers) {
        std::string friendly;
        if (moniker->readFriendlyName(friendly).failed())
            continue;
        // Names compare code unit by code unit: no case folding, no trimming.
        if (!name.empty() && friendly != name)
            continue;
        std::unique_ptr<BaseFilter> bound;
        r = moniker->bindToObject(bound);
        if (r.succeeded())
            filter = std::move(bound);
        return r;
    }
    return VFW_E_NOT_FOUND;
}

std::vector<std::string> listFriendlyNames(const Guid &category) {
    std::vector<std::string> names;
    std::unique_ptr<DeviceEnumerator> devices;
    if (createDeviceEnumerator(devices).failed() || !devices)
        return names;
    std::vector<std::unique_ptr<Moniker>> monikers;
    if (devices->createClassEnumerator(category, monikers) != S_OK)
        return names;
    for (auto &moniker : monikers) {
        std::string friendly;
        if (moniker->readFriendlyName(friendly).succeeded())
            names.push_back(std::move(friendly));
    }
    return names;
}

bool isNtOrMe(VersionSource &versions) {
    OsVersionInfo info;
    if (!readPlatformVersion(versions, info))
        return false;
    if (info.platformId == VER_PLATFORM_WIN32_NT)
        return true;
    return info.platformId == VER_PLATFORM_WIN32_WINDOWS && info.major == 4 && info.minor == 90;
}

std::string findDriverKey(RegistryHive &machine, VersionSource &versions) {
    const bool nt = isNtOrMe(versions);
    std::string base =
        nt ? "SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000" : "Enum\\Root\\MEDIA\\0000";
    const size_t digit = base.size() - 1;

    HiveData data;
    if (machine.read(data).failed())
        return {};
    // Opening for reading and writing needs a hive this process may write.
    if (!machine.writable())
        return {};

    for (char n = '0'; n <= '8'; ++n) {
        base[digit] = n;
        if (nt) {
            std::string key = base + "\\Device Parameters";
            if (data.hasKey(key))
                return key;
            continue;
        }
        if (!data.hasKey(base))
            continue;
        // Other platforms take the first instance key; a "Lumacam" hardware ID there leaves
        // the driver key unset.
        const RegValue *id = data.value(base, "HardwareID");
        bool isLumacam = id && (id->type == RegType::String || id->type == RegType::ExpandString) &&
                         id->text == kHardwareIdLumacam;
        return isLumacam ? std::string() : base;
    }
    return {};
}

}  // namespace lumaghost
