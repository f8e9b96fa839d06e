// SPDX-License-Identifier: LGPL-2.1-or-later
// A Lumaghost camera as lumasetup leaves one, for tests: the device's name and service in the
// machine hive under $LUMAGHOST_ROOT, and its frame channel.
#pragma once

#include <string>

#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/registry.h"

namespace lumaghost::test {

inline HResult installCamera(const DeviceInstance &device, const std::string &name,
                             const ChannelFormat &format) {
    RegistryHive hive = machineHive();
    HResult r = hive.setValue(device.keyPath(), kFriendlyNameValue, RegValue::string(name));
    if (r.succeeded())
        r = hive.setValue(device.keyPath(), kServiceValue, RegValue::string("lumacam"));
    if (r.succeeded())
        r = FrameChannel::create(frameChannelPath(device), format);
    return r;
}

}  // namespace lumaghost::test
