// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/property_channel.h"

#include <cstring>

namespace lumaghost {

LumacamPropertySet::LumacamPropertySet(std::unique_ptr<FrameChannel> channel)
    : channel_(std::move(channel)), format_(channel_->format()) {}

LumacamPropertySet::~LumacamPropertySet() {
    releaseOutstanding();
}

bool LumacamPropertySet::formatChanged() const {
    if (!channel_->replaced())
        return false;
    std::unique_ptr<FrameChannel> now;
    return FrameChannel::open(channel_->file(), now).succeeded() && now->format() != format_;
}

void LumacamPropertySet::releaseOutstanding() {
    if (outstanding_)
        channel_->releaseSlot(slot_, token_);
    outstanding_ = false;
}

HResult LumacamPropertySet::get(const Guid &set, uint32_t id, void * /*instance*/,
                                uint32_t /*instanceLength*/, void *data, uint32_t dataLength,
                                uint32_t *returned) {
    if (set != PROPSETID_CameraLink)
        return E_PROP_SET_UNSUPPORTED;
    if (!data)
        return E_POINTER;
    auto *record = static_cast<uint8_t *>(data);

    switch (id) {
        case CAMERA_PROP_VERSION: {
            if (returned)
                *returned = sizeof(VersionRecord);
            if (dataLength < sizeof(VersionRecord))
                return E_NOT_SUFFICIENT_BUFFER;
            VersionRecord v{};
            v.version = CAMERA_DRIVER_VERSION;
            std::memcpy(record, &v, sizeof(v));
            return S_OK;
        }
        case CAMERA_PROP_FRAME: {
            if (returned)
                *returned = sizeof(FrameDescriptor);
            if (dataLength < sizeof(FrameDescriptor))
                return E_NOT_SUFFICIENT_BUFFER;
            return handOutFrame(record);
        }
        case CAMERA_PROP_FORMAT: {
            if (returned)
                *returned = sizeof(FormatRecord);
            if (dataLength < sizeof(FormatRecord))
                return E_NOT_SUFFICIENT_BUFFER;
            if (formatChanged())
                return kCameraFormatChanged;
            ChannelFormat f = format_;
            FormatRecord r{};
            r.width = static_cast<int32_t>(f.width);
            r.height = static_cast<int32_t>(f.height);
            // The first unused dword carries the frame rate for our own tools.
            std::memcpy(r.unused1, &f.fps, sizeof(f.fps));
            std::memcpy(record, &r, sizeof(r));
            return S_OK;
        }
        default:
            return E_PROP_ID_UNSUPPORTED;
    }
}

HResult LumacamPropertySet::set(const Guid &set, uint32_t id, void * /*instance*/,
                                uint32_t /*instanceLength*/, void *data, uint32_t dataLength) {
    if (set != PROPSETID_CameraLink)
        return E_PROP_SET_UNSUPPORTED;
    if (id != CAMERA_PROP_FRAME)
        return E_PROP_ID_UNSUPPORTED;
    if (!data)
        return E_POINTER;
    if (dataLength < sizeof(FrameDescriptor))
        return E_NOT_SUFFICIENT_BUFFER;
    return commitFrame(static_cast<const uint8_t *>(data));
}

HResult LumacamPropertySet::handOutFrame(uint8_t *record) {
    // A descriptor that was fetched and never committed is abandoned by the next fetch.
    releaseOutstanding();

    // The channel was made again, or its file was damaged: followed to what the file holds
    // now, checked afresh, when that is a channel of the link's size. A mapping that is no
    // longer intact is never written again; a sound one of a file that went away is kept.
    if (channel_->stale()) {
        std::unique_ptr<FrameChannel> fresh;
        HResult r = FrameChannel::open(channel_->file(), fresh);
        if (r.succeeded() && fresh->format() != format_)
            return kCameraFormatChanged;
        if (r.succeeded())
            channel_ = std::move(fresh);
        else if (!channel_->intact())
            return r;
    }

    uint32_t slot = 0;
    uint64_t token = 0;
    HResult r = channel_->acquireSlot(slot, token);
    if (r.failed())
        return r;
    outstanding_ = true;
    slot_ = slot;
    token_ = token;

    ChannelFormat f = channel_->format();
    FrameDescriptor d{};
    DescriptorTag tag{kDescriptorMagic,
                      channel_->channelId(),
                      slot,
                      static_cast<uint32_t>(token),
                      static_cast<uint32_t>(token >> 32),
                      0};
    std::memcpy(d.unused0, &tag, sizeof(tag));
    d.setBuffer(channel_->slotData(slot));
    d.width = static_cast<int32_t>(f.width);
    d.height = static_cast<int32_t>(f.height);
    d.byteCount = static_cast<uint32_t>(channel_->frameBytes());
    std::memcpy(record, &d, sizeof(d));
    return S_OK;
}

HResult LumacamPropertySet::commitFrame(const uint8_t *record) {
    FrameDescriptor d;
    std::memcpy(&d, record, sizeof(d));
    DescriptorTag tag;
    std::memcpy(&tag, d.unused0, sizeof(tag));
    uint64_t token = uint64_t{tag.tokenHigh} << 32 | tag.tokenLow;

    // The file was cut short under the mapping: the frame went nowhere.
    if (channel_->broken()) {
        outstanding_ = false;
        return hresultFromWin32(ERROR_INVALID_DATA);
    }
    // Only the descriptor this link was handed last is accepted, exactly as it was handed out;
    // the buffer address is compared, never written through.
    ChannelFormat f = channel_->format();
    bool valid =
        outstanding_ && tag.magic == kDescriptorMagic && tag.channelId == channel_->channelId() &&
        tag.slot == slot_ && token == token_ && channel_->ownsSlot(slot_, token_) &&
        d.buffer() == channel_->slotData(slot_) && d.width == static_cast<int32_t>(f.width) &&
        d.height == static_cast<int32_t>(f.height) && d.byteCount == channel_->frameBytes();
    if (!valid)
        return E_INVALIDARG;
    // The device took another size while the frame was filled: it is not published anywhere.
    if (formatChanged()) {
        releaseOutstanding();
        return kCameraFormatChanged;
    }
    outstanding_ = false;
    return channel_->commitSlot(slot_, token_);
}

}  // namespace lumaghost
