// SPDX-License-Identifier: LGPL-2.1-or-later
// The formats a user may give an installed camera, and giving it one: the sizes browsers take,
// any other size within the limits its INF set, at 1 to 60 frames a second. The format goes into
// the device's "Device Parameters" and its frame channel is made again at that size; readers
// follow the new channel, producers that opened the old one are refused (LumacamPropertySet).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/frame_channel.h"
#include "platform/device_tree.h"
#include "platform/registry.h"

namespace lumaghost {

/// The sizes the INF lets a user choose beyond the usual ones, inclusive.
struct FormatLimits {
    uint32_t minWidth = 160, minHeight = 120;
    uint32_t maxWidth = 1920, maxHeight = 1080;
};

class FormatChoice {
public:
    static constexpr uint32_t kMinRate = 1;
    static constexpr uint32_t kMaxRate = 60;

    /// The sizes always offered, smallest first: those browsers ask cameras for.
    static const std::vector<ChannelFormat> &usualSizes();

    /// Reads "WIDTHxHEIGHT[@FPS]"; without a rate `fps` is kept. False, with `error` saying
    /// why, for anything else.
    static bool parse(std::string_view text, ChannelFormat &format, std::string &error);
    /// "WIDTHxHEIGHT@FPS".
    static std::string describe(const ChannelFormat &format);
    /// Empty when `format` may be chosen, else why not, in one sentence.
    static std::string problem(const ChannelFormat &format, const FormatLimits &limits);

    /// The device's limits from its "Device Parameters", the defaults where they are missing.
    static FormatLimits limitsOf(const HiveData &hive, const DeviceInstance &device);

    /// Gives the device `format`: checks it against the device's limits, writes it to the
    /// device's "Device Parameters" and makes its frame channel again at that size. On failure
    /// nothing is changed and `error` says why.
    static HResult apply(RegistryHive &hive, const DeviceInstance &device,
                         const ChannelFormat &format, std::string &error);
};

}  // namespace lumaghost
