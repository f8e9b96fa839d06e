#include "lumasetup.h"

#include <cstring>
#include <string>
#include <vector>

#include "hresult.h"

namespace lumaghost {

bool IsWindows2000(VersionSource &versions) {
    OsVersionInfo info;
    return readPlatformVersion(versions, info) && info.major == 5 && info.minor == 0;
}

uint32_t FindCameraDevice(DeviceInstaller &api, bool &found, uint32_t &index) {
    found = false;
    for (uint32_t i = 0;; ++i) {
        uint32_t err = api.enumDevice(i);
        if (err == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (err != ERROR_SUCCESS)
            return err;

        // Start without a buffer and grow it to the size the platform asks for.
        std::vector<uint8_t> buffer;
        uint32_t required = 0;
        for (;;) {
            err = api.hardwareIdProperty(i, buffer.empty() ? nullptr : buffer.data(),
                                         static_cast<uint32_t>(buffer.size()), required);
            if (err != ERROR_INSUFFICIENT_BUFFER)
                break;
            if (required <= buffer.size())
                return ERROR_INVALID_DATA;
            buffer.assign(required, 0);
        }
        if (err == ERROR_INVALID_DATA)
            continue;  // no hardware ID
        if (err != ERROR_SUCCESS)
            return err;

        // Walk the multi-string up to its empty entry or the end of the buffer.
        size_t pos = 0;
        while (pos < buffer.size() && buffer[pos] != 0) {
            size_t end = pos;
            while (end < buffer.size() && buffer[end] != 0)
                ++end;
            std::string_view entry(reinterpret_cast<const char *>(buffer.data()) + pos, end - pos);
            if (entry == kHardwareId) {
                found = true;
                index = i;
                return ERROR_SUCCESS;
            }
            pos = end + 1;
        }
    }
}

namespace {

uint32_t updateCameraDriver(DeviceInstaller &api, VersionSource &versions, uint32_t index) {
    if (IsWindows2000(versions)) {
        uint32_t err = api.selectDevice(index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
        return err;
    }
    bool reboot = false;
    (void)api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
    return ERROR_SUCCESS;
}

uint32_t installCameraDevice(DeviceInstaller &api, VersionSource &versions, const Guid &classGuid) {
    // The hardware-ID list: "Lumacam" and the two NULs that end a multi-string, built in a
    // zeroed buffer.
    uint8_t hardwareIds[kMaxPath] = {};
    std::strncpy(reinterpret_cast<char *>(hardwareIds), kHardwareId, kMaxPath - 4);
    auto listLength = static_cast<uint32_t>(std::strlen(kHardwareId) + 2);

    uint32_t index = 0;
    uint32_t err = api.createDevice(kHardwareId, classGuid, index);
    if (err == ERROR_SUCCESS)
        err = api.setHardwareIdProperty(index, hardwareIds, listLength);
    if (err != ERROR_SUCCESS)
        return err;

    if (IsWindows2000(versions)) {
        err = api.selectDevice(index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::RegisterDevice, index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
        return err;
    }
    err = api.callClassInstaller(DiFunction::RegisterDevice, index);
    if (err != ERROR_SUCCESS)
        return err;
    bool reboot = false;
    (void)api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
    return ERROR_SUCCESS;
}

}  // namespace

SetupResult RunLumasetup(DeviceInstaller &api, VersionSource &versions, bool remove) {
    std::string infPath;
    uint32_t err = api.fullPath(kInfFileName, infPath);
    if (err != ERROR_SUCCESS || infPath.size() >= kMaxPath)
        return {-1, err};

    Guid classGuid;
    std::string className;
    err = api.infClass(infPath, classGuid, className, 32);
    if (err != ERROR_SUCCESS)
        return {-1, err};

    err = api.openClassDevices(classGuid);
    if (err != ERROR_SUCCESS)
        return {-1, err};

    bool found = false;
    uint32_t index = 0;
    err = FindCameraDevice(api, found, index);
    if (err == ERROR_SUCCESS) {
        if (found && remove)
            (void)api.removeDevice(index);
        else if (found)
            err = updateCameraDriver(api, versions, index);
        else if (!remove)
            err = installCameraDevice(api, versions, classGuid);
    }

    // Whatever happened after the device list was made ends the same way.
    api.destroyDeviceList();
    return {0, err};
}

}  // namespace lumaghost
