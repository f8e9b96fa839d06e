// SPDX-License-Identifier: LGPL-2.1-or-later
// Test doubles of the device enumeration: scripted monikers, filters and property channels.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "camera/capture_devices.h"
#include "device/camera_protocol.h"

namespace lumaghost::test {

/// A property channel answering from fields the test sets, recording what it was handed.
class FakePropertySet : public PropertySet {
public:
    uint32_t version = CAMERA_DRIVER_VERSION;
    HResult versionResult = S_OK;
    HResult frameResult = S_OK;
    HResult setResult = S_OK;
    int32_t width = 320, height = 240;
    uint8_t frameFill = 0;  // fills the descriptor's unused bytes; varied per byte
    std::vector<uint8_t> lastSet;
    std::vector<uint8_t> lastGet;
    int gets = 0, sets = 0;

    HResult get(const Guid &set, uint32_t id, void *, uint32_t, void *data, uint32_t length,
                uint32_t *returned) override {
        ++gets;
        if (set != PROPSETID_CameraLink)
            return E_PROP_SET_UNSUPPORTED;
        auto *b = static_cast<uint8_t *>(data);
        if (returned)
            *returned = length;
        if (id == CAMERA_PROP_VERSION) {
            if (versionResult.failed())
                return versionResult;
            std::memset(b, 0x5A, length);
            std::memcpy(b + 24, &version, 4);
        } else if (id == CAMERA_PROP_FRAME) {
            if (frameResult.failed())
                return frameResult;
            for (uint32_t i = 0; i < length; ++i)
                b[i] = static_cast<uint8_t>(frameFill + i * 13);
            std::memcpy(b + 28, &width, 4);
            std::memcpy(b + 32, &height, 4);
        } else if (id == CAMERA_PROP_FORMAT) {
            std::memset(b, 0, length);
            std::memcpy(b + 24, &width, 4);
            std::memcpy(b + 28, &height, 4);
        } else {
            return E_PROP_ID_UNSUPPORTED;
        }
        lastGet.assign(b, b + length);
        return S_OK;
    }

    HResult set(const Guid &, uint32_t, void *, uint32_t, void *data, uint32_t length) override {
        ++sets;
        auto *b = static_cast<uint8_t *>(data);
        lastSet.assign(b, b + length);
        return setResult;
    }
};

class FakeFilter : public BaseFilter {
public:
    FakeFilter(std::string name, int id, FakePropertySet *props)
        : name_(name), id_(id), props_(props) {}
    FilterKind kind() const override { return FilterKind::Lumaghost; }
    std::string friendlyName() const override { return name_; }
    std::string location() const override { return "fake:" + std::to_string(id_); }
    HResult queryPropertySet(PropertySet **out) override {
        if (!props_)
            return E_NOINTERFACE;
        *out = props_;
        return S_OK;
    }

private:
    std::string name_;
    int id_;
    FakePropertySet *props_;
};

struct FakeDevice {
    std::string name;
    HResult readResult = S_OK;
    HResult bindResult = S_OK;
    FakePropertySet *properties = nullptr;  // borrowed from the test
};

class FakeMoniker : public Moniker {
public:
    FakeMoniker(FakeDevice device, int id, int *binds) : device_(device), id_(id), binds_(binds) {}
    HResult readFriendlyName(std::string &name) override {
        if (device_.readResult.failed())
            return device_.readResult;
        name = device_.name;
        return S_OK;
    }
    HResult bindToObject(std::unique_ptr<BaseFilter> &filter) override {
        ++*binds_;
        if (device_.bindResult.failed())
            return device_.bindResult;
        filter = std::make_unique<FakeFilter>(device_.name, id_, device_.properties);
        return S_OK;
    }

private:
    FakeDevice device_;
    int id_;
    int *binds_;
};

/// A device enumerator whose one category holds the test's devices.
struct FakeSystem {
    std::vector<FakeDevice> devices;
    HResult createResult = S_OK;
    HResult classResult = S_OK;  // S_OK means: S_FALSE when there are no devices
    int binds = 0;

    DeviceEnumeratorFactory factory() {
        return [this](std::unique_ptr<DeviceEnumerator> &out) -> HResult {
            if (createResult.failed())
                return createResult;
            out = std::make_unique<Enumerator>(this);
            return S_OK;
        };
    }

private:
    class Enumerator : public DeviceEnumerator {
    public:
        explicit Enumerator(FakeSystem *s) : s_(s) {}
        HResult createClassEnumerator(const Guid &category,
                                      std::vector<std::unique_ptr<Moniker>> &monikers) override {
            if (s_->classResult != S_OK)
                return s_->classResult;
            if (category != CLSID_VideoInputDeviceCategory || s_->devices.empty())
                return S_FALSE;
            for (size_t i = 0; i < s_->devices.size(); ++i)
                monikers.push_back(
                    std::make_unique<FakeMoniker>(s_->devices[i], static_cast<int>(i), &s_->binds));
            return S_OK;
        }

    private:
        FakeSystem *s_;
    };
};

}  // namespace lumaghost::test
