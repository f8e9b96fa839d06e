// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/camera_link.h"

#include <cstring>

#include "camera/device_discovery.h"

namespace lumaghost {

HResult openCameraLink(CameraLink &link) {
    return openCameraLink(link, kCameraName);
}

HResult openCameraLink(CameraLink &link, std::string_view friendlyName) {
    std::unique_ptr<BaseFilter> filter;
    HResult r = findFilterByName(CLSID_VideoInputDeviceCategory, friendlyName, filter);
    if (r.failed())
        return r;

    PropertySet *properties = nullptr;
    r = filter->queryPropertySet(&properties);
    if (r.failed())
        return r;
    if (!properties)
        return E_NOINTERFACE;

    // The record is not initialised: the driver fills it, and only the version is read.
    uint8_t record[sizeof(VersionRecord)];
    uint32_t returned = 0;
    r = properties->get(PROPSETID_CameraLink, CAMERA_PROP_VERSION, record, sizeof(record), record,
                        sizeof(record), &returned);
    if (r.failed())
        return r;
    uint32_t version;
    std::memcpy(&version, record + offsetof(VersionRecord, version), sizeof(version));
    if (version != CAMERA_DRIVER_VERSION)
        return E_FAIL;

    link.captureFilter = std::move(filter);
    link.properties = properties;
    return S_OK;
}

HResult getFrameDescriptor(CameraLink &link, FrameDescriptor &descriptor) {
    if (!link.isOpen())
        return VFW_E_NOT_CONNECTED;
    uint32_t returned = 0;
    return link.properties->get(PROPSETID_CameraLink, CAMERA_PROP_FRAME, &descriptor,
                                sizeof(descriptor), &descriptor, sizeof(descriptor), &returned);
}

HResult commitFrame(CameraLink &link, FrameDescriptor &descriptor) {
    if (!link.isOpen())
        return VFW_E_NOT_CONNECTED;
    return link.properties->set(PROPSETID_CameraLink, CAMERA_PROP_FRAME, &descriptor,
                                sizeof(descriptor), &descriptor, sizeof(descriptor));
}

HResult getCameraFormat(CameraLink &link, int32_t &width, int32_t &height) {
    if (!link.isOpen())
        return VFW_E_NOT_CONNECTED;
    FormatRecord record;
    uint32_t returned = 0;
    HResult r = link.properties->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, &record,
                                     sizeof(record), &record, sizeof(record), &returned);
    if (r.failed())
        return r;
    width = record.width;
    height = record.height;
    return r;
}

HResult pushFrameToCamera(CameraLink &link, const FrameComposer &compose) {
    FrameDescriptor descriptor;
    HResult r = getFrameDescriptor(link, descriptor);
    if (r.failed())
        return r;
    r = compose(descriptor);
    if (r.failed())
        return r;
    return commitFrame(link, descriptor);
}

}  // namespace lumaghost
