#include "linux_device_installer.h"

#include <algorithm>
#include <cstring>

#include "hresult.h"
#include "ini_file.h"
#include "lumacam_device.h"
#include "system_devices.h"

namespace lumaghost {

namespace fs = std::filesystem;

LinuxDeviceInstaller::LinuxDeviceInstaller(RegistryHive &hive, fs::path currentDirectory,
                                           LoopbackSystem *loopback)
    : hive_(hive), tree_(hive), cwd_(std::move(currentDirectory)), loopback_(loopback) {}

uint32_t LinuxDeviceInstaller::fullPath(std::string_view fileName, std::string &path) {
    fs::path p(fileName);
    path = (p.is_absolute() ? p : cwd_ / p).lexically_normal().string();
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::infClass(const std::string &infPath, Guid &classGuid,
                                        std::string &className, uint32_t classNameCapacity) {
    auto inf = IniFile::load(infPath);
    if (!inf)
        return ERROR_FILE_NOT_FOUND;
    auto name = inf->value("Version", "Class");
    auto guidText = inf->value("Version", "ClassGuid");
    if (!name || !guidText)
        return ERROR_INVALID_DATA;
    auto guid = Guid::parse(inf->expandStrings(*guidText));
    std::string expanded = inf->expandStrings(*name);
    if (!guid || expanded.empty() || expanded.find('\\') != std::string::npos)
        return ERROR_INVALID_DATA;
    if (expanded.size() + 1 > classNameCapacity)
        return ERROR_INSUFFICIENT_BUFFER;
    classGuid = *guid;
    className = expanded;
    className_ = expanded;
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::openClassDevices(const Guid &classGuid) {
    HiveData data;
    if (hive_.read(data).failed())
        return ERROR_INVALID_DATA;
    devices_.clear();
    selected_ = -1;
    for (const auto &device : DeviceTree::instancesOf(data)) {
        const RegValue *cls = data.value(device.keyPath(), kClassGuidValue);
        if (!cls || cls->type != RegType::String)
            continue;
        auto guid = Guid::parse(cls->text);
        if (!guid || *guid != classGuid)
            continue;
        if (data.value(device.keyPath(), kPhantomValue))
            continue;  // not present
        devices_.push_back(device);
    }
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::enumDevice(uint32_t index) {
    return index < devices_.size() ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS;
}

uint32_t LinuxDeviceInstaller::hardwareIdProperty(uint32_t index, uint8_t *buffer, uint32_t size,
                                                  uint32_t &required) {
    if (index >= devices_.size())
        return ERROR_NO_SUCH_DEVINST;
    auto v = hive_.value(devices_[index].keyPath(), kHardwareIdValue);
    if (!v || v->type != RegType::MultiString)
        return ERROR_INVALID_DATA;
    std::vector<uint8_t> raw = v->rawData();
    required = static_cast<uint32_t>(raw.size());
    if (!buffer || size < raw.size())
        return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(buffer, raw.data(), raw.size());
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::setHardwareIdProperty(uint32_t index, const uint8_t *data,
                                                     uint32_t size) {
    if (index >= devices_.size())
        return ERROR_NO_SUCH_DEVINST;
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    // A multi-string: NUL-terminated entries up to the empty one or the end of the data.
    std::vector<std::string> ids;
    uint32_t pos = 0;
    while (pos < size && data[pos] != 0) {
        uint32_t end = pos;
        while (end < size && data[end] != 0)
            ++end;
        ids.emplace_back(reinterpret_cast<const char *>(data) + pos, end - pos);
        pos = end + 1;
    }
    HResult r = hive_.setValue(devices_[index].keyPath(), kHardwareIdValue,
                               RegValue::multiString(std::move(ids)));
    return r.succeeded() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

uint32_t LinuxDeviceInstaller::createDevice(std::string_view name, const Guid &classGuid,
                                            uint32_t &index) {
    if (className_.empty())
        return ERROR_INVALID_PARAMETER;
    DeviceInstance device;
    if (tree_.createInstance(className_, classGuid, device).failed())
        return ERROR_ACCESS_DENIED;
    HResult r = hive_.modify([&](HiveData &d) {
        d.setValue(device.keyPath(), "DeviceDesc", RegValue::string(std::string(name)));
        d.setValue(device.keyPath(), kPhantomValue, RegValue::fromDword(1));
        return S_OK;
    });
    if (r.failed())
        return ERROR_ACCESS_DENIED;
    devices_.push_back(device);
    index = static_cast<uint32_t>(devices_.size() - 1);
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::selectDevice(uint32_t index) {
    if (index >= devices_.size())
        return ERROR_NO_SUCH_DEVINST;
    selected_ = static_cast<int>(index);
    return ERROR_SUCCESS;
}

uint32_t LinuxDeviceInstaller::callClassInstaller(DiFunction function, uint32_t index) {
    if (index >= devices_.size())
        return ERROR_NO_SUCH_DEVINST;
    const DeviceInstance &device = devices_[index];
    switch (function) {
        case DiFunction::RegisterDevice: {
            HResult r = hive_.modify([&](HiveData &d) {
                if (!d.hasKey(device.keyPath()))
                    return hresultFromWin32(ERROR_FILE_NOT_FOUND);
                d.deleteValue(device.keyPath(), kPhantomValue);
                return S_OK;
            });
            return r.succeeded() ? ERROR_SUCCESS : ERROR_NO_SUCH_DEVINST;
        }
        case DiFunction::InstallDevice: {
            if (selected_ != static_cast<int>(index))
                return ERROR_NO_DRIVER_SELECTED;
            auto id = hive_.value(device.keyPath(), kHardwareIdValue);
            if (!id || id->type != RegType::MultiString || id->strings.empty())
                return ERROR_NO_DRIVER_SELECTED;
            return installDriver(device, id->strings.front(), cwd_ / "Lumacam.inf");
        }
    }
    return ERROR_INVALID_PARAMETER;
}

uint32_t LinuxDeviceInstaller::removeDevice(uint32_t index) {
    if (index >= devices_.size())
        return ERROR_NO_SUCH_DEVINST;
    const DeviceInstance device = devices_[index];
    if (tree_.removeInstance(device).failed())
        return ERROR_ACCESS_DENIED;
    std::error_code ec;
    fs::remove(frameChannelPath(device), ec);
    devices_.erase(devices_.begin() + index);
    selected_ = -1;
    return ERROR_SUCCESS;
}

void LinuxDeviceInstaller::destroyDeviceList() {
    devices_.clear();
    selected_ = -1;
}

uint32_t LinuxDeviceInstaller::updateDriverForPlugAndPlayDevices(std::string_view hardwareId,
                                                                 std::string_view infPath,
                                                                 bool &rebootRequired) {
    rebootRequired = false;
    fs::path inf(infPath);
    if (!inf.is_absolute())
        inf = cwd_ / inf;

    HiveData data;
    if (hive_.read(data).failed())
        return ERROR_INVALID_DATA;
    uint32_t result = ERROR_NO_SUCH_DEVINST;
    for (const auto &device : DeviceTree::instancesOf(data)) {
        if (data.value(device.keyPath(), kPhantomValue))
            continue;
        const RegValue *ids = data.value(device.keyPath(), kHardwareIdValue);
        if (!ids || ids->type != RegType::MultiString)
            continue;
        if (std::find(ids->strings.begin(), ids->strings.end(), hardwareId) == ids->strings.end())
            continue;
        result = installDriver(device, hardwareId, inf);
        if (result != ERROR_SUCCESS)
            return result;
    }
    return result;
}

// Applies the INF's install section for `hardwareId` to one device.
uint32_t LinuxDeviceInstaller::installDriver(const DeviceInstance &device,
                                             std::string_view hardwareId, const fs::path &infPath) {
    auto inf = IniFile::load(infPath);
    if (!inf)
        return ERROR_FILE_NOT_FOUND;

    // [Manufacturer] names the models sections; a model line is "desc=install-section,hwid,...".
    std::string section;
    for (const auto &[maker, models] : inf->entries("Manufacturer")) {
        std::string modelsSection = trim(models.substr(0, models.find(',')));
        for (const auto &[desc, line] : inf->entries(modelsSection)) {
            std::vector<std::string> fields;
            size_t start = 0;
            for (;;) {
                size_t comma = line.find(',', start);
                fields.push_back(trim(line.substr(start, comma - start)));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            if (fields.size() >= 2 &&
                std::find(fields.begin() + 1, fields.end(), hardwareId) != fields.end()) {
                section = fields.front();
                break;
            }
        }
        if (!section.empty())
            break;
    }
    if (section.empty() || !inf->hasSection(section))
        return ERROR_NO_DRIVER_SELECTED;

    std::string friendly = inf->expandStrings(inf->value(section, "FriendlyName").value_or(""));
    std::string service =
        inf->expandStrings(inf->value(section, "Service").value_or(std::string(kLumacamService)));
    ChannelFormat format;
    auto number = [&](std::string_view key, uint32_t &field) {
        if (auto v = inf->value(section + ".Parameters", key)) {
            char *end = nullptr;
            unsigned long n = std::strtoul(v->c_str(), &end, 0);
            if (end && *end == 0 && n > 0 && n <= FrameChannel::kMaxDimension)
                field = static_cast<uint32_t>(n);
        }
    };
    number(kFrameWidthValue, format.width);
    number(kFrameHeightValue, format.height);
    number(kFrameRateValue, format.fps);

    HResult r = FrameChannel::create(frameChannelPath(device), format);
    if (r.failed())
        return ERROR_ACCESS_DENIED;

    r = hive_.modify([&](HiveData &d) {
        if (!d.hasKey(device.keyPath()))
            return hresultFromWin32(ERROR_FILE_NOT_FOUND);
        if (!friendly.empty())
            d.setValue(device.keyPath(), kFriendlyNameValue, RegValue::string(friendly));
        d.setValue(device.keyPath(), kServiceValue, RegValue::string(service));
        d.setValue(device.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(format.width));
        d.setValue(device.driverKeyPath(), kFrameHeightValue, RegValue::fromDword(format.height));
        d.setValue(device.driverKeyPath(), kFrameRateValue, RegValue::fromDword(format.fps));
        return S_OK;
    });
    if (r.failed())
        return ERROR_ACCESS_DENIED;
    // Programs that read cameras from V4L2 see the device through a loopback node; without
    // one (or without the rights to make one) the device still works through PipeWire.
    if (loopback_ && !friendly.empty())
        (void)PrepareLoopback(*loopback_, friendly);
    return ERROR_SUCCESS;
}

}  // namespace lumaghost
