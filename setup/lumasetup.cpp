#include "setup/lumasetup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "platform/registry.h"

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

        for (const std::string &entry : splitMultiString(buffer.data(), buffer.size())) {
            if (entry == kHardwareId) {
                found = true;
                index = i;
                return ERROR_SUCCESS;
            }
        }
    }
}

namespace {

std::string errorText(uint32_t error) {
    char hex[32];
    std::snprintf(hex, sizeof(hex), "error 0x%08X", error);
    return hex;
}

// The platform's word on the step that failed, or `fallback` when it said nothing.
std::string messageOf(DeviceInstaller &api, std::string fallback) {
    std::string message = api.failureMessage();
    return message.empty() ? fallback : message;
}

uint32_t updateCameraDriver(DeviceInstaller &api, VersionSource &versions, uint32_t index,
                            std::string &message) {
    uint32_t err;
    if (IsWindows2000(versions)) {
        err = api.selectDevice(index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
    } else {
        bool reboot = false;
        err = api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
    }
    if (err != ERROR_SUCCESS)
        message = messageOf(api, "Cannot update the camera driver: " + errorText(err));
    return err;
}

uint32_t installCameraDevice(DeviceInstaller &api, VersionSource &versions, const Guid &classGuid,
                             std::string &message) {
    // The hardware-ID list: "Lumacam" and the two NULs that end a multi-string, built in a
    // zeroed buffer.
    uint8_t hardwareIds[kMaxPath] = {};
    std::strncpy(reinterpret_cast<char *>(hardwareIds), kHardwareId, kMaxPath - 4);
    auto listLength = static_cast<uint32_t>(std::strlen(kHardwareId) + 2);

    uint32_t index = 0;
    uint32_t err = api.createDevice(kHardwareId, classGuid, index);
    if (err != ERROR_SUCCESS) {
        message = messageOf(api, "Cannot create the camera device: " + errorText(err));
        return err;
    }
    err = api.setHardwareIdProperty(index, hardwareIds, listLength);
    if (err == ERROR_SUCCESS && IsWindows2000(versions)) {
        err = api.selectDevice(index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::RegisterDevice, index);
        if (err == ERROR_SUCCESS)
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
    } else if (err == ERROR_SUCCESS) {
        err = api.callClassInstaller(DiFunction::RegisterDevice, index);
        if (err == ERROR_SUCCESS) {
            bool reboot = false;
            err = api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
        }
    }
    if (err != ERROR_SUCCESS) {
        message = messageOf(api, "Cannot install the camera device: " + errorText(err));
        // A device this run made but could not finish is taken away again.
        if (api.removeDevice(index) != ERROR_SUCCESS)
            message += "; the half-made device could not be removed: " +
                       messageOf(api, "the platform refused");
    }
    return err;
}

}  // namespace

SetupResult RunLumasetup(DeviceInstaller &api, VersionSource &versions, bool remove) {
    std::string infPath;
    uint32_t err = api.fullPath(kInfFileName, infPath);
    if (err != ERROR_SUCCESS)
        return {
            kSetupUnusableInf, err,
            messageOf(api, std::string("Cannot locate ") + kInfFileName + ": " + errorText(err))};
    if (infPath.size() >= kMaxPath)
        return {kSetupUnusableInf, err,
                "The path of " + infPath.substr(0, 40) + "... is longer than " +
                    std::to_string(kMaxPath - 1) + " characters"};

    Guid classGuid;
    std::string className;
    err = api.infClass(infPath, classGuid, className, 32);
    if (err != ERROR_SUCCESS)
        return {
            kSetupUnusableInf, err,
            messageOf(api, "Cannot read the device class of " + infPath + ": " + errorText(err))};

    // An INF that installs no driver for the camera, or one beyond what a camera can be,
    // changes nothing.
    if (!remove) {
        err = api.checkInf(infPath, kHardwareId);
        if (err == ERROR_NO_DRIVER_SELECTED)
            return {kSetupFailed, err,
                    messageOf(api, infPath + " installs no driver for " + kHardwareId)};
        if (err != ERROR_SUCCESS)
            return {kSetupUnusableInf, err,
                    messageOf(api, "Unusable INF " + infPath + ": " + errorText(err))};
    }

    err = api.openClassDevices(classGuid);
    if (err != ERROR_SUCCESS)
        return {kSetupFailed, err,
                messageOf(api,
                          "Cannot list the devices of class " + className + ": " + errorText(err))};

    bool found = false;
    uint32_t index = 0;
    std::string message;
    err = FindCameraDevice(api, found, index);
    if (err != ERROR_SUCCESS) {
        message = messageOf(api, "Cannot read the hardware IDs of the devices of class " +
                                     className + ": " + errorText(err));
    } else if (found && remove) {
        err = api.removeDevice(index);
        if (err != ERROR_SUCCESS)
            message = messageOf(api, "Cannot remove the camera device: " + errorText(err));
    } else if (found) {
        err = updateCameraDriver(api, versions, index, message);
    } else if (!remove) {
        err = installCameraDevice(api, versions, classGuid, message);
    }

    // Whatever happened after the device list was made ends the same way.
    api.destroyDeviceList();
    if (err != ERROR_SUCCESS)
        return {kSetupFailed, err, message};
    return {kSetupDone, ERROR_SUCCESS, {}};
}

}  // namespace lumaghost
