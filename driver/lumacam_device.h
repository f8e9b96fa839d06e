// The Lumaghost device as a capture filter: its property channel moves the version, frame and
// format records over the device's frame channel.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "driver/frame_channel.h"
#include "platform/capture_devices.h"
#include "platform/device_tree.h"

namespace lumaghost {

/// The frame channel file of an installed device.
std::filesystem::path frameChannelPath(const DeviceInstance &device);

/// The device's format from its "Device Parameters", with the defaults for missing values.
ChannelFormat readDeviceFormat(const HiveData &hive, const DeviceInstance &device);

/// Descriptor bytes 0-23 are the device's own: they identify the slot handed out.
struct DescriptorTag {
    uint32_t magic;
    uint32_t channelId;
    uint32_t slot;
    uint32_t tokenLow;
    uint32_t tokenHigh;
    uint32_t reserved;
};
static_assert(sizeof(DescriptorTag) == 24);
inline constexpr uint32_t kDescriptorMagic = 0x4446474C;  // "LGFD"

class LumacamPropertySet final : public PropertySet {
public:
    explicit LumacamPropertySet(std::unique_ptr<FrameChannel> channel);
    ~LumacamPropertySet() override;

    HResult get(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength, void *data,
                uint32_t dataLength, uint32_t *returned) override;
    HResult set(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength, void *data,
                uint32_t dataLength) override;

    FrameChannel &channel() { return *channel_; }
    const FrameChannel &channel() const { return *channel_; }

private:
    HResult handOutFrame(uint8_t *record);
    HResult commitFrame(const uint8_t *record);
    void releaseOutstanding();

    std::unique_ptr<FrameChannel> channel_;
    // The slot this link was handed and has not committed yet; at most one at a time.
    bool outstanding_ = false;
    uint32_t slot_ = 0;
    uint64_t token_ = 0;
};

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
