// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/format_choice.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

#include "device/installed_devices.h"

namespace lumaghost {

namespace {

// A decimal number of at most five digits, nothing else.
bool readNumber(std::string_view text, uint32_t &out) {
    if (text.empty() || text.size() > 5)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string sizeText(uint32_t width, uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

const std::vector<ChannelFormat> &FormatChoice::usualSizes() {
    static const std::vector<ChannelFormat> sizes{
        {160, 120, 30}, {320, 240, 30},  {640, 360, 30},   {640, 480, 30},
        {800, 600, 30}, {1280, 720, 30}, {1920, 1080, 30},
    };
    return sizes;
}

bool FormatChoice::parse(std::string_view text, ChannelFormat &format, std::string &error) {
    const size_t x = text.find('x');
    const size_t at = text.find('@');
    ChannelFormat f = format;
    const bool ok =
        x != std::string_view::npos && readNumber(text.substr(0, x), f.width) &&
        readNumber(text.substr(x + 1, at == std::string_view::npos ? at : at - x - 1), f.height) &&
        (at == std::string_view::npos || readNumber(text.substr(at + 1), f.fps));
    if (!ok) {
        error = "\"" + std::string(text.substr(0, 40)) +
                "\" is no format: give WIDTHxHEIGHT or WIDTHxHEIGHT@FPS, as in 1280x720@30";
        return false;
    }
    format = f;
    return true;
}

std::string FormatChoice::describe(const ChannelFormat &format) {
    return sizeText(format.width, format.height) + "@" + std::to_string(format.fps);
}

std::string FormatChoice::problem(const ChannelFormat &format, const FormatLimits &limits) {
    if (format.fps < kMinRate || format.fps > kMaxRate)
        return "The frame rate " + std::to_string(format.fps) + " is not one of " +
               std::to_string(kMinRate) + " to " + std::to_string(kMaxRate) + " frames a second";
    const auto &usual = usualSizes();
    const bool isUsual = std::any_of(usual.begin(), usual.end(), [&](const ChannelFormat &u) {
        return u.width == format.width && u.height == format.height;
    });
    const bool inLimits = format.width >= limits.minWidth && format.width <= limits.maxWidth &&
                          format.height >= limits.minHeight && format.height <= limits.maxHeight;
    if (isUsual || inLimits)
        return {};
    std::string sizes;
    for (const ChannelFormat &u : usual)
        sizes += (sizes.empty() ? "" : ", ") + sizeText(u.width, u.height);
    return "The size " + sizeText(format.width, format.height) + " is not one of " + sizes +
           " nor within " + sizeText(limits.minWidth, limits.minHeight) + " to " +
           sizeText(limits.maxWidth, limits.maxHeight);
}

FormatLimits FormatChoice::limitsOf(const HiveData &hive, const DeviceInstance &device) {
    FormatLimits limits;
    auto dword = [&](std::string_view name, uint32_t &field) {
        const RegValue *v = hive.value(device.driverKeyPath(), name);
        if (v && v->type == RegType::Dword && v->dword > 0 &&
            v->dword <= FrameChannel::kMaxDimension)
            field = v->dword;
    };
    dword(kMinFrameWidthValue, limits.minWidth);
    dword(kMinFrameHeightValue, limits.minHeight);
    dword(kMaxFrameWidthValue, limits.maxWidth);
    dword(kMaxFrameHeightValue, limits.maxHeight);
    return limits;
}

HResult FormatChoice::apply(RegistryHive &hive, const DeviceInstance &device,
                            const ChannelFormat &format, std::string &error) {
    HiveData data;
    if (const HResult r = hive.read(data, &error); r.failed())
        return r;
    if (!isLumacamInstance(data, device)) {
        error = device.instanceId() + " is no installed Lumaghost camera";
        return hresultFromWin32(ERROR_FILE_NOT_FOUND);
    }
    if (error = problem(format, limitsOf(data, device)); !error.empty())
        return E_INVALIDARG;

    const std::filesystem::path channel = frameChannelPath(device);
    std::optional<ChannelFormat> previous;
    {
        std::unique_ptr<FrameChannel> open;
        if (FrameChannel::open(channel, open).succeeded())
            previous = open->format();
    }
    HResult r = FrameChannel::create(channel, format);
    if (r.failed()) {
        error = "Cannot make the frame channel " + channel.string() + " again: " + r.toString();
        return r;
    }
    r = hive.modify([&](HiveData &d) {
        if (!d.hasKey(device.keyPath()))
            return hresultFromWin32(ERROR_FILE_NOT_FOUND);
        d.setValue(device.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(format.width));
        d.setValue(device.driverKeyPath(), kFrameHeightValue, RegValue::fromDword(format.height));
        d.setValue(device.driverKeyPath(), kFrameRateValue, RegValue::fromDword(format.fps));
        return S_OK;
    });
    if (r.failed()) {
        // The channel goes back to what the device's parameters still name.
        if (previous && *previous != format)
            (void)FrameChannel::create(channel, *previous);
        error = "Cannot write the format of " + device.instanceId() + " to " +
                hive.file().string() + ": " + r.toString();
        return r;
    }
    return S_OK;
}

}  // namespace lumaghost
