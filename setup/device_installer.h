// SPDX-License-Identifier: LGPL-2.1-or-later
// The device installation services the installer runs on: the INF's class, the list of present
// devices of a class, their hardware-ID property, device creation, class-installer requests,
// driver update and removal. Results carry the Windows error numbers of the device installation
// services (hresultFromWin32; win32ErrorOf gives the number back).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace lumaghost {

enum class DiFunction { RegisterDevice, InstallDevice };

inline constexpr uint32_t ERROR_NO_SUCH_DEVINST = 0xE000020B;
inline constexpr uint32_t ERROR_NO_DRIVER_SELECTED = 0xE0000203;

class DeviceInstaller {
public:
    virtual ~DeviceInstaller() = default;

    /// The full path of a file name taken relative to the current directory.
    virtual HResult fullPath(std::string_view fileName, std::string &path) = 0;
    /// The device class an INF names; `classNameCapacity` counts the terminating NUL.
    virtual HResult infClass(const std::string &infPath, Guid &classGuid, std::string &className,
                             uint32_t classNameCapacity) = 0;
    /// Checks, before anything changes, the driver an INF installs for a hardware ID:
    /// ERROR_NO_DRIVER_SELECTED when it installs none, ERROR_INVALID_DATA when a setting is
    /// beyond what the device can be.
    virtual HResult checkInf(const std::string &infPath, std::string_view hardwareId) = 0;
    /// Builds the list of the class's present devices.
    virtual HResult openClassDevices(const Guid &classGuid) = 0;
    /// ERROR_NO_MORE_ITEMS past the last device of the list.
    virtual HResult enumDevice(uint32_t index) = 0;
    /// Reads the hardware-ID property into `buffer` (of `size` bytes). ERROR_INSUFFICIENT_BUFFER
    /// with `required` set when it does not fit; ERROR_INVALID_DATA when the device has none.
    virtual HResult hardwareIdProperty(uint32_t index, uint8_t *buffer, uint32_t size,
                                       uint32_t &required) = 0;
    virtual HResult setHardwareIdProperty(uint32_t index, const uint8_t *data, uint32_t size) = 0;
    /// Creates a device in the list with a generated, root-enumerated instance ID.
    virtual HResult createDevice(std::string_view name, const Guid &classGuid, uint32_t &index) = 0;
    virtual HResult selectDevice(uint32_t index) = 0;
    /// Runs a class-installer request on the selected device.
    virtual HResult callClassInstaller(DiFunction function, uint32_t index) = 0;
    virtual HResult removeDevice(uint32_t index) = 0;
    virtual void destroyDeviceList() = 0;
    /// Installs the INF's driver on every present device with this hardware ID.
    virtual HResult updateDriverForPlugAndPlayDevices(std::string_view hardwareId,
                                                      std::string_view infPath,
                                                      bool &rebootRequired) = 0;
    /// One line on the last call that failed, naming the file or device and what went wrong;
    /// empty when that call said nothing more than its error number.
    virtual std::string failureMessage() const = 0;
};

}  // namespace lumaghost
