// SPDX-License-Identifier: LGPL-2.1-or-later
// 128-bit identifiers of property sets, device categories and classes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumaghost {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    friend constexpr bool operator==(const Guid &, const Guid &) = default;

    /// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
    std::string toString() const;
    /// Parses the braced or bare form, either case; nullopt when malformed.
    static std::optional<Guid> parse(std::string_view text);
};

/// The value of a hexadecimal digit, or -1.
int hexDigitValue(char c);

// The video input device category and the legacy filter category.
inline constexpr Guid CLSID_VideoInputDeviceCategory{
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr Guid CLSID_LegacyAmFilterCategory{
    0x083863F1, 0x70DE, 0x11D0, {0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

}  // namespace lumaghost
