// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/lumacam_filter.h"

namespace lumaghost {

LumacamFilter::LumacamFilter(std::string friendlyName, std::unique_ptr<FrameChannel> channel)
    : name_(std::move(friendlyName)), properties_(std::move(channel)) {}

std::string LumacamFilter::location() const {
    return properties_.channel().file().string();
}

HResult LumacamFilter::queryPropertySet(PropertySet **out) {
    if (!out)
        return E_POINTER;
    *out = &properties_;
    return S_OK;
}

}  // namespace lumaghost
