// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/camera_reader.h"

#include "camera/device_discovery.h"

namespace lumaghost {

HResult CameraReader::open(const BaseFilter &camera, std::unique_ptr<CameraReader> &out) {
    if (camera.kind() != FilterKind::Lumaghost)
        return E_NOINTERFACE;
    std::unique_ptr<FrameChannel> channel;
    HResult r = FrameChannel::open(camera.location(), channel);
    if (r.failed())
        return r;
    out.reset(new CameraReader(std::move(channel)));
    return S_OK;
}

HResult CameraReader::open(std::string_view friendlyName, std::unique_ptr<CameraReader> &out) {
    std::unique_ptr<BaseFilter> filter;
    HResult r = findFilterByName(CLSID_VideoInputDeviceCategory, friendlyName, filter);
    if (r.failed())
        return r;
    return open(*filter, out);
}

bool CameraReader::followReplacedChannel() {
    if (!channel_->stale())
        return false;
    std::unique_ptr<FrameChannel> fresh;
    if (FrameChannel::open(channel_->file(), fresh).failed() ||
        fresh->format().width != channel_->format().width ||
        fresh->format().height != channel_->format().height)
        return false;
    channel_ = std::move(fresh);
    return true;
}

}  // namespace lumaghost
