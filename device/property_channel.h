// SPDX-License-Identifier: LGPL-2.1-or-later
// The Lumaghost device's property channel: it moves the version, frame and format records over
// the device's frame channel.
#pragma once

#include <memory>

#include "device/camera_protocol.h"
#include "device/frame_channel.h"

namespace lumaghost {

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

/// A link to the device at the frame size it had when the link was opened: once the device has
/// another size, fetches, commits and format queries answer kCameraFormatChanged. A channel
/// made again at the same size is followed.
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
    /// Whether the device's channel file now holds another frame size than the link's.
    bool formatChanged() const;

    std::unique_ptr<FrameChannel> channel_;
    ChannelFormat format_;  // the link's, taken when it was opened
    // The slot this link was handed and has not committed yet; at most one at a time.
    bool outstanding_ = false;
    uint32_t slot_ = 0;
    uint64_t token_ = 0;
};

}  // namespace lumaghost
