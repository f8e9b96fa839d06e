// SPDX-License-Identifier: LGPL-2.1-or-later
// The camera's property channel, as the Lumaghost device defines it: the property set, its
// properties, the exact byte layout of the three records that travel through it, and the
// interface that moves them. The device implements it; the camera link is its client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace lumaghost {

inline constexpr Guid PROPSETID_CameraLink{
    0xC844D5DC, 0x4F68, 0x44F3, {0xB2, 0x18, 0xE7, 0xB0, 0xD2, 0x9F, 0x42, 0x26}};

inline constexpr uint32_t CAMERA_PROP_VERSION = 0;
inline constexpr uint32_t CAMERA_PROP_FRAME = 1;
inline constexpr uint32_t CAMERA_PROP_FORMAT = 3;

inline constexpr uint32_t CAMERA_DRIVER_VERSION = 0x00090000;

/// The frame and format properties' answer once the camera has another frame size than when
/// the link was opened: no frame of the old size is taken, and the link is to be opened again.
inline constexpr HResult kCameraFormatChanged = VFW_E_TYPE_NOT_ACCEPTED;

/// CAMERA_PROP_VERSION, 32 bytes.
struct VersionRecord {
    uint8_t unused0[24];
    uint32_t version;
    uint8_t unused1[4];
};
static_assert(sizeof(VersionRecord) == 32);
static_assert(offsetof(VersionRecord, version) == 24);

/// CAMERA_PROP_FRAME, 48 bytes. The frame buffer's address does not fit the 32-bit field on a
/// 64-bit system: its low half stays at offset 24 and its high half goes to bytes 44-47.
struct FrameDescriptor {
    uint8_t unused0[24];
    uint32_t addressLow;
    int32_t width;
    int32_t height;
    uint8_t unused1[4];
    uint32_t byteCount;
    uint32_t addressHigh;

    uint8_t *buffer() const {
        uint64_t address = uint64_t{addressHigh} << 32 | addressLow;
        return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(address));
    }
    void setBuffer(const uint8_t *p) {
        auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
        addressLow = static_cast<uint32_t>(address);
        addressHigh = static_cast<uint32_t>(address >> 32);
    }
};
static_assert(sizeof(FrameDescriptor) == 48);
static_assert(offsetof(FrameDescriptor, addressLow) == 24);
static_assert(offsetof(FrameDescriptor, width) == 28);
static_assert(offsetof(FrameDescriptor, height) == 32);
static_assert(offsetof(FrameDescriptor, byteCount) == 40);
static_assert(offsetof(FrameDescriptor, addressHigh) == 44);

/// CAMERA_PROP_FORMAT, 40 bytes.
struct FormatRecord {
    uint8_t unused0[24];
    int32_t width;
    int32_t height;
    uint8_t unused1[8];
};
static_assert(sizeof(FormatRecord) == 40);
static_assert(offsetof(FormatRecord, width) == 24);
static_assert(offsetof(FormatRecord, height) == 28);

/// The property interface of a capture filter. Callers pass one buffer as both the instance
/// data and the property data.
class PropertySet {
public:
    virtual ~PropertySet() = default;
    virtual HResult get(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength,
                        void *data, uint32_t dataLength, uint32_t *returned) = 0;
    virtual HResult set(const Guid &set, uint32_t id, void *instance, uint32_t instanceLength,
                        void *data, uint32_t dataLength) = 0;
};

}  // namespace lumaghost
