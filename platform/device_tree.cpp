// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/device_tree.h"

#include <algorithm>
#include <cstdio>

namespace lumaghost {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool isInstanceNumber(std::string_view s) {
    return s.size() == 4 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<DeviceInstance> instancesIn(const HiveData &data, std::string_view enumerator) {
    std::vector<DeviceInstance> out;
    std::string base = std::string(kEnumRootKey) + "\\" + std::string(enumerator);
    for (const auto &n : data.subkeys(base)) {
        if (isInstanceNumber(n))
            out.push_back({upper(enumerator), n});
    }
    return out;
}

}  // namespace

std::string DeviceInstance::keyPath() const {
    return std::string(kEnumRootKey) + "\\" + enumerator + "\\" + number;
}

std::string DeviceInstance::driverKeyPath() const {
    return keyPath() + "\\" + std::string(kDeviceParametersKey);
}

std::string DeviceInstance::instanceId() const {
    return "ROOT\\" + enumerator + "\\" + number;
}

std::vector<DeviceInstance> DeviceTree::instances() const {
    HiveData data;
    if (hive_.read(data).failed())
        return {};
    return instancesOf(data);
}

std::vector<DeviceInstance> DeviceTree::instancesOf(const HiveData &data) {
    std::vector<DeviceInstance> out;
    for (const auto &e : data.subkeys(kEnumRootKey)) {
        auto more = instancesIn(data, e);
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

std::vector<DeviceInstance> DeviceTree::instances(std::string_view enumerator) const {
    HiveData data;
    if (hive_.read(data).failed())
        return {};
    return instancesIn(data, enumerator);
}

HResult DeviceTree::addInstance(HiveData &data, std::string_view className, const Guid &classGuid,
                                DeviceInstance &out) {
    if (className.empty() || className.find('\\') != std::string_view::npos)
        return E_INVALIDARG;
    auto existing = instancesIn(data, className);
    for (int i = 0; i < 10000; ++i) {
        char number[8];
        std::snprintf(number, sizeof(number), "%04d", i);
        bool taken = std::any_of(existing.begin(), existing.end(),
                                 [&](const DeviceInstance &d) { return d.number == number; });
        if (taken)
            continue;
        out = {upper(className), number};
        data.createKey(out.keyPath());
        data.setValue(out.keyPath(), kClassValue, RegValue::string(std::string(className)));
        data.setValue(out.keyPath(), kClassGuidValue, RegValue::string(classGuid.toString()));
        return S_OK;
    }
    return hresultFromWin32(ERROR_ALREADY_EXISTS);
}

HResult DeviceTree::createInstance(std::string_view className, const Guid &classGuid,
                                   DeviceInstance &out) {
    if (className.empty() || className.find('\\') != std::string_view::npos)
        return E_INVALIDARG;
    DeviceInstance created;
    HResult r = hive_.modify(
        [&](HiveData &data) { return addInstance(data, className, classGuid, created); });
    if (r.succeeded())
        out = created;
    return r;
}

HResult DeviceTree::removeInstance(const DeviceInstance &device) {
    return hive_.deleteKey(device.keyPath());
}

}  // namespace lumaghost
