// SPDX-License-Identifier: LGPL-2.1-or-later
// The device enumeration interfaces that the camera link is built on: a device enumerator lists
// the devices of a category as monikers; a moniker names its device and binds it to a filter; a
// camera's filter answers the property channel (device/camera_protocol.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/camera_protocol.h"
#include "platform/guid.h"
#include "platform/hresult.h"

namespace lumaghost {

enum class FilterKind {
    Lumaghost,  // a device of ours, reached through its frame channel
    V4l2,       // a V4L2 capture device
    Element,    // a GStreamer element factory
};

class BaseFilter {
public:
    virtual ~BaseFilter() = default;
    virtual FilterKind kind() const = 0;
    virtual std::string friendlyName() const = 0;
    /// The frame channel file, the V4L2 node or the element factory's name.
    virtual std::string location() const = 0;
    /// The filter's property interface, owned by the filter; E_NOINTERFACE when it has none.
    virtual HResult queryPropertySet(PropertySet **out) = 0;
};

class Moniker {
public:
    virtual ~Moniker() = default;
    /// The device's "FriendlyName"; fails when it cannot be read.
    virtual HResult readFriendlyName(std::string &name) = 0;
    virtual HResult bindToObject(std::unique_ptr<BaseFilter> &filter) = 0;
};

class DeviceEnumerator {
public:
    virtual ~DeviceEnumerator() = default;
    /// S_OK with the category's devices in enumeration order, S_FALSE when it has none, or a
    /// failure code.
    virtual HResult createClassEnumerator(const Guid &category,
                                          std::vector<std::unique_ptr<Moniker>> &monikers) = 0;
};

/// A device known by its name and where it is reached, without a property channel: a V4L2
/// capture device or a GStreamer element.
class NamedFilter final : public BaseFilter {
public:
    NamedFilter(FilterKind kind, std::string name, std::string location)
        : kind_(kind), name_(std::move(name)), location_(std::move(location)) {}
    FilterKind kind() const override { return kind_; }
    std::string friendlyName() const override { return name_; }
    std::string location() const override { return location_; }
    HResult queryPropertySet(PropertySet **) override { return E_NOINTERFACE; }

private:
    FilterKind kind_;
    std::string name_, location_;
};

class NamedMoniker final : public Moniker {
public:
    NamedMoniker(FilterKind kind, std::string name, std::string location)
        : kind_(kind), name_(std::move(name)), location_(std::move(location)) {}
    HResult readFriendlyName(std::string &name) override {
        name = name_;
        return S_OK;
    }
    HResult bindToObject(std::unique_ptr<BaseFilter> &filter) override {
        filter = std::make_unique<NamedFilter>(kind_, name_, location_);
        return S_OK;
    }

private:
    FilterKind kind_;
    std::string name_, location_;
};

using DeviceEnumeratorFactory = std::function<HResult(std::unique_ptr<DeviceEnumerator> &)>;

}  // namespace lumaghost
