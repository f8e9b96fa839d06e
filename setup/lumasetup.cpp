// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/lumasetup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "platform/registry.h"

namespace lumaghost {

bool isWindows2000(VersionSource &versions) {
    OsVersionInfo info;
    return readPlatformVersion(versions, info) && info.major == 5 && info.minor == 0;
}

HResult findCameraDevice(DeviceInstaller &api, bool &found, uint32_t &index) {
    found = false;
    for (uint32_t i = 0;; ++i) {
        HResult err = api.enumDevice(i);
        if (err == hresultFromWin32(ERROR_NO_MORE_ITEMS))
            return S_OK;
        if (err.failed())
            return err;

        // Start without a buffer and grow it to the size the platform asks for.
        std::vector<uint8_t> buffer;
        uint32_t required = 0;
        for (;;) {
            err = api.hardwareIdProperty(i, buffer.empty() ? nullptr : buffer.data(),
                                         static_cast<uint32_t>(buffer.size()), required);
            if (err != hresultFromWin32(ERROR_INSUFFICIENT_BUFFER))
                break;
            if (required <= buffer.size())
                return hresultFromWin32(ERROR_INVALID_DATA);
            buffer.assign(required, 0);
        }
        if (err == hresultFromWin32(ERROR_INVALID_DATA))
            continue;  // no hardware ID
        if (err.failed())
            return err;

        for (const std::string &entry : splitMultiString(buffer.data(), buffer.size())) {
            if (entry == kHardwareId) {
                found = true;
                index = i;
                return S_OK;
            }
        }
    }
}

namespace {

// The step's Windows error number, as the platform would give it.
std::string errorText(HResult error) {
    char hex[32];
    std::snprintf(hex, sizeof(hex), "error 0x%08X", win32ErrorOf(error));
    return hex;
}

// The platform's word on the step that failed, or `fallback` when it said nothing.
std::string messageOf(DeviceInstaller &api, std::string fallback) {
    std::string message = api.failureMessage();
    return message.empty() ? fallback : message;
}

HResult updateCameraDriver(DeviceInstaller &api, VersionSource &versions, uint32_t index,
                           std::string &message) {
    HResult err;
    if (isWindows2000(versions)) {
        err = api.selectDevice(index);
        if (err.succeeded())
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
    } else {
        bool reboot = false;
        err = api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
    }
    if (err.failed())
        message = messageOf(api, "Cannot update the camera driver: " + errorText(err));
    return err;
}

HResult installCameraDevice(DeviceInstaller &api, VersionSource &versions, const Guid &classGuid,
                            std::string &message) {
    // The hardware-ID list: "Lumacam" and the two NULs that end a multi-string, built in a
    // zeroed buffer.
    uint8_t hardwareIds[kMaxPath] = {};
    std::strncpy(reinterpret_cast<char *>(hardwareIds), kHardwareId, kMaxPath - 4);
    auto listLength = static_cast<uint32_t>(std::strlen(kHardwareId) + 2);

    uint32_t index = 0;
    HResult err = api.createDevice(kHardwareId, classGuid, index);
    if (err.failed()) {
        message = messageOf(api, "Cannot create the camera device: " + errorText(err));
        return err;
    }
    err = api.setHardwareIdProperty(index, hardwareIds, listLength);
    if (err.succeeded() && isWindows2000(versions)) {
        err = api.selectDevice(index);
        if (err.succeeded())
            err = api.callClassInstaller(DiFunction::RegisterDevice, index);
        if (err.succeeded())
            err = api.callClassInstaller(DiFunction::InstallDevice, index);
    } else if (err.succeeded()) {
        err = api.callClassInstaller(DiFunction::RegisterDevice, index);
        if (err.succeeded()) {
            bool reboot = false;
            err = api.updateDriverForPlugAndPlayDevices(kHardwareId, kInfFileName, reboot);
        }
    }
    if (err.failed()) {
        message = messageOf(api, "Cannot install the camera device: " + errorText(err));
        // A device this run made but could not finish is taken away again.
        if (api.removeDevice(index).failed())
            message += "; the half-made device could not be removed: " +
                       messageOf(api, "the platform refused");
    }
    return err;
}

}  // namespace

SetupResult runLumasetup(DeviceInstaller &api, VersionSource &versions, bool remove) {
    std::string infPath;
    HResult err = api.fullPath(kInfFileName, infPath);
    if (err.failed())
        return {
            kSetupUnusableInf, win32ErrorOf(err),
            messageOf(api, std::string("Cannot locate ") + kInfFileName + ": " + errorText(err))};
    if (infPath.size() >= kMaxPath)
        return {kSetupUnusableInf, win32ErrorOf(err),
                "The path of " + infPath.substr(0, 40) + "... is longer than " +
                    std::to_string(kMaxPath - 1) + " characters"};

    Guid classGuid;
    std::string className;
    err = api.infClass(infPath, classGuid, className, 32);
    if (err.failed())
        return {
            kSetupUnusableInf, win32ErrorOf(err),
            messageOf(api, "Cannot read the device class of " + infPath + ": " + errorText(err))};

    // An INF that installs no driver for the camera, or one beyond what a camera can be,
    // changes nothing.
    if (!remove) {
        err = api.checkInf(infPath, kHardwareId);
        if (err == hresultFromWin32(ERROR_NO_DRIVER_SELECTED))
            return {kSetupFailed, win32ErrorOf(err),
                    messageOf(api, infPath + " installs no driver for " + kHardwareId)};
        if (err.failed())
            return {kSetupUnusableInf, win32ErrorOf(err),
                    messageOf(api, "Unusable INF " + infPath + ": " + errorText(err))};
    }

    err = api.openClassDevices(classGuid);
    if (err.failed())
        return {kSetupFailed, win32ErrorOf(err),
                messageOf(api,
                          "Cannot list the devices of class " + className + ": " + errorText(err))};

    bool found = false;
    uint32_t index = 0;
    std::string message;
    err = findCameraDevice(api, found, index);
    if (err.failed()) {
        message = messageOf(api, "Cannot read the hardware IDs of the devices of class " +
                                     className + ": " + errorText(err));
    } else if (found && remove) {
        err = api.removeDevice(index);
        if (err.failed())
            message = messageOf(api, "Cannot remove the camera device: " + errorText(err));
    } else if (found) {
        err = updateCameraDriver(api, versions, index, message);
    } else if (!remove) {
        err = installCameraDevice(api, versions, classGuid, message);
    }

    // Whatever happened after the device list was made ends the same way.
    api.destroyDeviceList();
    if (err.failed())
        return {kSetupFailed, win32ErrorOf(err), message};
    return {kSetupDone, 0, {}};
}

}  // namespace lumaghost
