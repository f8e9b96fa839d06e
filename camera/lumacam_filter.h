// SPDX-License-Identifier: LGPL-2.1-or-later
// A Lumaghost device as a capture filter of the device enumeration: its FriendlyName, its frame
// channel as its location, and the device's property channel as its property interface.
#pragma once

#include <memory>
#include <string>

#include "camera/capture_devices.h"
#include "device/property_channel.h"

namespace lumaghost {

class LumacamFilter final : public BaseFilter {
public:
    LumacamFilter(std::string friendlyName, std::unique_ptr<FrameChannel> channel);

    FilterKind kind() const override { return FilterKind::Lumaghost; }
    std::string friendlyName() const override { return name_; }
    std::string location() const override;
    HResult queryPropertySet(PropertySet **out) override;

private:
    std::string name_;
    LumacamPropertySet properties_;
};

}  // namespace lumaghost
