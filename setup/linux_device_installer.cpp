// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/linux_device_installer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "device/format_choice.h"
#include "device/installed_devices.h"
#include "platform/hresult.h"
#include "platform/ini_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

std::string loadFailure(const std::string &infPath, int err) {
    return "Cannot read " + infPath + ": " +
           (err == EINVAL ? std::string("not a regular file") : std::string(std::strerror(err)));
}

// A value as a message shows it: at most a few dozen characters.
std::string shown(std::string_view value) {
    constexpr size_t kShown = 40;
    return value.size() <= kShown ? std::string(value)
                                  : std::string(value.substr(0, kShown)) + "...";
}

struct DriverSettings {
    std::string friendlyName;
    std::string service;
    ChannelFormat format;
    FormatLimits limits;
};

// The driver an INF installs for a hardware ID. [Manufacturer] names the models sections; a
// model line is "desc=install-section,hwid,..."; the install section gives the device's name
// and service, its ".Parameters" section the frame format.
HResult readDriverSettings(const IniFile &inf, const std::string &infPath,
                           std::string_view hardwareId, DriverSettings &out, std::string &message) {
    auto noDriver = [&](const std::string &what) {
        message = "Cannot install the driver from " + infPath + ": " + what;
        return hresultFromWin32(ERROR_NO_DRIVER_SELECTED);
    };
    auto unusable = [&](const std::string &what) {
        message = "Unusable INF " + infPath + ": " + what;
        return hresultFromWin32(ERROR_INVALID_DATA);
    };

    if (!inf.hasSection("Manufacturer"))
        return noDriver("it has no [Manufacturer] section");
    const auto makers = inf.entries("Manufacturer");
    if (makers.empty())
        return noDriver("its [Manufacturer] section names no models section");
    std::string section, missingModels;
    for (const auto &[maker, models] : makers) {
        std::string modelsSection = trim(models.substr(0, models.find(',')));
        if (!inf.hasSection(modelsSection)) {
            if (missingModels.empty())
                missingModels = modelsSection;
            continue;
        }
        for (const auto &[desc, line] : inf.entries(modelsSection)) {
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
    if (section.empty() && !missingModels.empty())
        return noDriver("it has no models section [" + shown(missingModels) + "]");
    if (section.empty())
        return noDriver("no model names the hardware ID " + std::string(hardwareId));
    if (!inf.hasSection(section))
        return noDriver("it has no device section [" + shown(section) + "]");

    auto text = [&](std::string_view key, std::string_view fallback, std::string &field) {
        auto v = inf.value(section, key);
        auto expanded = inf.expandStrings(v ? std::string_view(*v) : fallback);
        if (!expanded)
            return false;
        field = std::move(*expanded);
        return true;
    };
    if (!text(kFriendlyNameValue, "", out.friendlyName))
        return unusable("FriendlyName in [" + shown(section) + "] is longer than " +
                        std::to_string(kMaxInfString) + " characters");
    if (!text(kServiceValue, kLumacamService, out.service))
        return unusable("Service in [" + shown(section) + "] is longer than " +
                        std::to_string(kMaxInfString) + " characters");

    struct Limit {
        std::string_view key;
        uint32_t *field;
        uint32_t max;
        const char *what;
    };
    const Limit limits[] = {
        {kFrameWidthValue, &out.format.width, kMaxCameraWidth, "frame width"},
        {kFrameHeightValue, &out.format.height, kMaxCameraHeight, "frame height"},
        {kFrameRateValue, &out.format.fps, kMaxCameraRate, "frame rate"},
        {kMinFrameWidthValue, &out.limits.minWidth, kMaxCameraWidth, "frame width"},
        {kMinFrameHeightValue, &out.limits.minHeight, kMaxCameraHeight, "frame height"},
        {kMaxFrameWidthValue, &out.limits.maxWidth, kMaxCameraWidth, "frame width"},
        {kMaxFrameHeightValue, &out.limits.maxHeight, kMaxCameraHeight, "frame height"},
    };
    const std::string parameters = section + ".Parameters";
    for (const auto &limit : limits) {
        auto v = inf.value(parameters, limit.key);
        if (!v)
            continue;  // the default
        unsigned long long n = 0;
        char *end = nullptr;
        errno = 0;
        if (!v->empty() && std::isdigit(static_cast<unsigned char>(v->front())))
            n = std::strtoull(v->c_str(), &end, 0);
        if (!end || *end != 0 || errno != 0 || n < 1 || n > limit.max)
            return unusable(std::string(limit.key) + "=" + shown(*v) + " in [" + shown(parameters) +
                            "] is not a camera's " + limit.what + " (1 to " +
                            std::to_string(limit.max) + ")");
        *limit.field = static_cast<uint32_t>(n);
    }
    return S_OK;
}

}  // namespace

LinuxDeviceInstaller::LinuxDeviceInstaller(RegistryHive &hive, fs::path currentDirectory,
                                           LoopbackSystem *loopback)
    : hive_(hive), tree_(hive), cwd_(std::move(currentDirectory)), loopback_(loopback) {}

HResult LinuxDeviceInstaller::fail(HResult error, std::string message) {
    message_ = std::move(message);
    return error;
}

HResult LinuxDeviceInstaller::readDevices(HiveData &data) {
    std::string why;
    if (hive_.read(data, &why).failed())
        return fail(
            hresultFromWin32(ERROR_INVALID_DATA),
            "Cannot read the installed devices from " + why + "; the file is left as it is");
    return S_OK;
}

std::string LinuxDeviceInstaller::hiveFailure(HResult r) const {
    HiveData data;
    std::string why;
    if (hive_.read(data, &why).failed())
        return why;
    return hive_.file().string() + ": " + r.toString();
}

HResult LinuxDeviceInstaller::fullPath(std::string_view fileName, std::string &path) {
    message_.clear();
    fs::path p(fileName);
    path = (p.is_absolute() ? p : cwd_ / p).lexically_normal().string();
    return S_OK;
}

HResult LinuxDeviceInstaller::infClass(const std::string &infPath, Guid &classGuid,
                                       std::string &className, uint32_t classNameCapacity) {
    message_.clear();
    int err = 0;
    auto inf = IniFile::load(infPath, &err);
    if (!inf)
        return fail(hresultFromWin32(ERROR_FILE_NOT_FOUND), loadFailure(infPath, err));
    auto name = inf->value("Version", "Class");
    auto guidText = inf->value("Version", "ClassGuid");
    if (!name || !guidText)
        return fail(hresultFromWin32(ERROR_INVALID_DATA),
                    "Unusable INF " + infPath + ": its [Version] section lacks Class or ClassGuid");
    auto expandedGuid = inf->expandStrings(*guidText);
    auto guid = expandedGuid ? Guid::parse(*expandedGuid) : std::nullopt;
    if (!guid)
        return fail(hresultFromWin32(ERROR_INVALID_DATA), "Unusable INF " + infPath +
                                                              ": ClassGuid=" + shown(*guidText) +
                                                              " in [Version] is not a GUID");
    auto expanded = inf->expandStrings(*name);
    if (!expanded || expanded->empty() || expanded->find('\\') != std::string::npos)
        return fail(hresultFromWin32(ERROR_INVALID_DATA),
                    "Unusable INF " + infPath + ": Class=" + shown(*name) +
                        " in [Version] is not a device class name");
    if (expanded->size() + 1 > classNameCapacity)
        return fail(hresultFromWin32(ERROR_INSUFFICIENT_BUFFER),
                    "Unusable INF " + infPath + ": its device class " + shown(*expanded) +
                        " is longer than " + std::to_string(classNameCapacity - 1) + " characters");
    classGuid = *guid;
    className = *expanded;
    className_ = *expanded;
    return S_OK;
}

HResult LinuxDeviceInstaller::checkInf(const std::string &infPath, std::string_view hardwareId) {
    message_.clear();
    int err = 0;
    auto inf = IniFile::load(infPath, &err);
    if (!inf)
        return fail(hresultFromWin32(ERROR_FILE_NOT_FOUND), loadFailure(infPath, err));
    DriverSettings settings;
    std::string why;
    const HResult result = readDriverSettings(*inf, infPath, hardwareId, settings, why);
    return result.succeeded() ? S_OK : fail(result, why);
}

HResult LinuxDeviceInstaller::openClassDevices(const Guid &classGuid) {
    message_.clear();
    HiveData data;
    if (const HResult read = readDevices(data); read.failed())
        return read;
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
    return S_OK;
}

HResult LinuxDeviceInstaller::enumDevice(uint32_t index) {
    message_.clear();
    return index < devices_.size() ? S_OK : hresultFromWin32(ERROR_NO_MORE_ITEMS);
}

HResult LinuxDeviceInstaller::hardwareIdProperty(uint32_t index, uint8_t *buffer, uint32_t size,
                                                 uint32_t &required) {
    message_.clear();
    if (index >= devices_.size())
        return hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    auto v = hive_.value(devices_[index].keyPath(), kHardwareIdValue);
    if (!v || v->type != RegType::MultiString)
        return hresultFromWin32(ERROR_INVALID_DATA);
    std::vector<uint8_t> raw = v->rawData();
    required = static_cast<uint32_t>(raw.size());
    if (!buffer || size < raw.size())
        return hresultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, raw.data(), raw.size());
    return S_OK;
}

HResult LinuxDeviceInstaller::setHardwareIdProperty(uint32_t index, const uint8_t *data,
                                                    uint32_t size) {
    message_.clear();
    if (index >= devices_.size())
        return hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    if (!data && size)
        return hresultFromWin32(ERROR_INVALID_PARAMETER);
    HResult r = hive_.setValue(devices_[index].keyPath(), kHardwareIdValue,
                               RegValue::multiString(splitMultiString(data, size)));
    if (r.failed())
        return fail(hresultFromWin32(ERROR_ACCESS_DENIED), "Cannot set the hardware ID of " +
                                                               devices_[index].instanceId() +
                                                               " in " + hiveFailure(r));
    return S_OK;
}

HResult LinuxDeviceInstaller::createDevice(std::string_view name, const Guid &classGuid,
                                           uint32_t &index) {
    message_.clear();
    if (className_.empty())
        return hresultFromWin32(ERROR_INVALID_PARAMETER);
    // The instance, its description and its not-yet-registered mark arrive in one change.
    DeviceInstance device;
    HResult r = hive_.modify([&](HiveData &d) {
        HResult made = DeviceTree::addInstance(d, className_, classGuid, device);
        if (made.failed())
            return made;
        d.setValue(device.keyPath(), "DeviceDesc", RegValue::string(std::string(name)));
        d.setValue(device.keyPath(), kPhantomValue, RegValue::fromDword(1));
        return S_OK;
    });
    if (r.failed())
        return fail(hresultFromWin32(ERROR_ACCESS_DENIED),
                    "Cannot create a " + className_ + " device in " + hiveFailure(r));
    devices_.push_back(device);
    index = static_cast<uint32_t>(devices_.size() - 1);
    return S_OK;
}

HResult LinuxDeviceInstaller::selectDevice(uint32_t index) {
    message_.clear();
    if (index >= devices_.size())
        return hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    selected_ = static_cast<int>(index);
    return S_OK;
}

HResult LinuxDeviceInstaller::callClassInstaller(DiFunction function, uint32_t index) {
    message_.clear();
    if (index >= devices_.size())
        return hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    const DeviceInstance &device = devices_[index];
    switch (function) {
        case DiFunction::RegisterDevice: {
            HResult r = hive_.modify([&](HiveData &d) {
                if (!d.hasKey(device.keyPath()))
                    return hresultFromWin32(ERROR_FILE_NOT_FOUND);
                d.deleteValue(device.keyPath(), kPhantomValue);
                return S_OK;
            });
            if (r == hresultFromWin32(ERROR_FILE_NOT_FOUND))
                return fail(hresultFromWin32(ERROR_NO_SUCH_DEVINST),
                            "Cannot register " + device.instanceId() + ": its key is gone from " +
                                hive_.file().string());
            if (r.failed())
                return fail(hresultFromWin32(ERROR_NO_SUCH_DEVINST),
                            "Cannot register " + device.instanceId() + " in " + hiveFailure(r));
            return S_OK;
        }
        case DiFunction::InstallDevice: {
            if (selected_ != static_cast<int>(index))
                return fail(hresultFromWin32(ERROR_NO_DRIVER_SELECTED),
                            "Cannot install the driver of " + device.instanceId() +
                                ": the device is not selected");
            auto id = hive_.value(device.keyPath(), kHardwareIdValue);
            if (!id || id->type != RegType::MultiString || id->strings.empty())
                return fail(hresultFromWin32(ERROR_NO_DRIVER_SELECTED),
                            "Cannot install the driver of " + device.instanceId() +
                                ": it has no hardware ID");
            return installDriver(device, id->strings.front(), cwd_ / "Lumacam.inf");
        }
    }
    return hresultFromWin32(ERROR_INVALID_PARAMETER);
}

HResult LinuxDeviceInstaller::removeDevice(uint32_t index) {
    message_.clear();
    if (index >= devices_.size())
        return hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    const DeviceInstance device = devices_[index];
    // What the loopback node was made from, read before the key goes.
    std::string friendly;
    int node = -1;
    HiveData before;
    if (hive_.read(before).succeeded()) {
        if (const RegValue *v = before.value(device.keyPath(), kFriendlyNameValue);
            v && v->type == RegType::String)
            friendly = v->text;
        if (const RegValue *v = before.value(device.keyPath(), kLoopbackNodeValue);
            v && v->type == RegType::Dword && v->dword <= INT_MAX)
            node = static_cast<int>(v->dword);
    }
    HResult r = tree_.removeInstance(device);
    if (r.failed())
        return fail(hresultFromWin32(ERROR_ACCESS_DENIED),
                    "Cannot remove " + device.instanceId() + " from " + hiveFailure(r));
    std::error_code ec;
    fs::remove(frameChannelPath(device), ec);
    devices_.erase(devices_.begin() + index);
    selected_ = -1;

    if (loopback_ && !friendly.empty()) {
        // A camera of the same name that stays keeps the node it shows through.
        HiveData after;
        bool shared = hive_.read(after).failed();
        for (const auto &other : DeviceTree::instancesOf(after)) {
            const RegValue *v = after.value(other.keyPath(), kFriendlyNameValue);
            shared = shared || (v && v->type == RegType::String && v->text == friendly);
        }
        if (!shared)
            (void)removeLoopback(*loopback_, friendly, node);
    }
    return S_OK;
}

void LinuxDeviceInstaller::destroyDeviceList() {
    devices_.clear();
    selected_ = -1;
}

HResult LinuxDeviceInstaller::updateDriverForPlugAndPlayDevices(std::string_view hardwareId,
                                                                std::string_view infPath,
                                                                bool &rebootRequired) {
    message_.clear();
    rebootRequired = false;
    fs::path inf(infPath);
    if (!inf.is_absolute())
        inf = cwd_ / inf;

    HiveData data;
    if (const HResult read = readDevices(data); read.failed())
        return read;
    HResult result = hresultFromWin32(ERROR_NO_SUCH_DEVINST);
    for (const auto &device : DeviceTree::instancesOf(data)) {
        if (data.value(device.keyPath(), kPhantomValue))
            continue;
        const RegValue *ids = data.value(device.keyPath(), kHardwareIdValue);
        if (!ids || ids->type != RegType::MultiString)
            continue;
        if (std::find(ids->strings.begin(), ids->strings.end(), hardwareId) == ids->strings.end())
            continue;
        result = installDriver(device, hardwareId, inf);
        if (result.failed())
            return result;
    }
    if (result == hresultFromWin32(ERROR_NO_SUCH_DEVINST))
        return fail(result, "No device with the hardware ID " + std::string(hardwareId) +
                                " is present in " + hive_.file().string());
    return result;
}

// Applies the INF's install section for `hardwareId` to one device. When the device cannot take
// it, the device stays as it was.
HResult LinuxDeviceInstaller::installDriver(const DeviceInstance &device,
                                            std::string_view hardwareId, const fs::path &infPath) {
    int err = 0;
    auto inf = IniFile::load(infPath, &err);
    if (!inf)
        return fail(hresultFromWin32(ERROR_FILE_NOT_FOUND), loadFailure(infPath.string(), err));
    DriverSettings settings;
    std::string why;
    if (const HResult e = readDriverSettings(*inf, infPath.string(), hardwareId, settings, why);
        e.failed())
        return fail(e, why);

    // An update keeps the format the device has, which its user may have chosen.
    {
        HiveData data;
        if (hive_.read(data).succeeded()) {
            auto has = [&](std::string_view name) {
                const RegValue *v = data.value(device.driverKeyPath(), name);
                return v && v->type == RegType::Dword && v->dword > 0;
            };
            if (has(kFrameWidthValue) && has(kFrameHeightValue) && has(kFrameRateValue))
                settings.format = readDeviceFormat(data, device);
        }
    }

    const fs::path channel = frameChannelPath(device);
    std::optional<ChannelFormat> previous;
    {
        std::unique_ptr<FrameChannel> open;
        if (FrameChannel::open(channel, open).succeeded())
            previous = open->format();
    }
    HResult r = FrameChannel::create(channel, settings.format);
    if (r.failed())
        return fail(hresultFromWin32(ERROR_ACCESS_DENIED),
                    "Cannot create the frame channel " + channel.string() + " of " +
                        device.instanceId() + ": " + r.toString());

    r = hive_.modify([&](HiveData &d) {
        if (!d.hasKey(device.keyPath()))
            return hresultFromWin32(ERROR_FILE_NOT_FOUND);
        if (!settings.friendlyName.empty())
            d.setValue(device.keyPath(), kFriendlyNameValue,
                       RegValue::string(settings.friendlyName));
        d.setValue(device.keyPath(), kServiceValue, RegValue::string(settings.service));
        d.setValue(device.driverKeyPath(), kFrameWidthValue,
                   RegValue::fromDword(settings.format.width));
        d.setValue(device.driverKeyPath(), kFrameHeightValue,
                   RegValue::fromDword(settings.format.height));
        d.setValue(device.driverKeyPath(), kFrameRateValue,
                   RegValue::fromDword(settings.format.fps));
        const std::pair<std::string_view, uint32_t> limits[] = {
            {kMinFrameWidthValue, settings.limits.minWidth},
            {kMinFrameHeightValue, settings.limits.minHeight},
            {kMaxFrameWidthValue, settings.limits.maxWidth},
            {kMaxFrameHeightValue, settings.limits.maxHeight},
        };
        for (const auto &[name, value] : limits)
            d.setValue(device.driverKeyPath(), name, RegValue::fromDword(value));
        return S_OK;
    });
    if (r.failed()) {
        // The channel goes back to what the device's parameters still name.
        std::error_code ec;
        if (!previous)
            fs::remove(channel, ec);
        else if (*previous != settings.format)
            (void)FrameChannel::create(channel, *previous);
        return fail(
            hresultFromWin32(ERROR_ACCESS_DENIED),
            "Cannot write the driver settings of " + device.instanceId() + " to " + hiveFailure(r));
    }
    // Programs that read cameras from V4L2 see the device through a loopback node; without
    // one (or without the rights to make one) the device still works through PipeWire.
    if (loopback_ && !settings.friendlyName.empty()) {
        int added = -1;
        if (prepareLoopback(*loopback_, settings.friendlyName, &added).succeeded() && added >= 0)
            (void)hive_.setValue(device.keyPath(), kLoopbackNodeValue,
                                 RegValue::fromDword(static_cast<uint32_t>(added)));
    }
    return S_OK;
}

}  // namespace lumaghost
