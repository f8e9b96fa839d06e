// SPDX-License-Identifier: LGPL-2.1-or-later
// A capture device's controls as V4L2 offers them: listed with VIDIOC_QUERYCTRL and
// VIDIOC_QUERYMENU, read with VIDIOC_G_CTRL and set with VIDIOC_S_CTRL. The ioctls go through
// V4l2Device, the kernel's node or a stand-in that answers as the kernel does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/hresult.h"
#include "platform/v4l2_device.h"

namespace lumaghost {

/// Opens a V4L2 node for its controls; the failure names errno's result.
HResult openV4l2Node(const std::string &path, std::unique_ptr<V4l2Device> &out);

struct CameraControl {
    enum class Type {
        Integer,      // a slider from minimum to maximum in steps
        Boolean,      // a check box
        Menu,         // a list of named entries
        IntegerMenu,  // a list of numbers
        Button,       // an action without a value
        Class,        // the heading of the controls that follow
    };
    uint32_t id = 0;
    Type type = Type::Integer;
    std::string name;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    bool readOnly = false;
    bool inactive = false;
    /// Menu entries: the value that chooses each and its label.
    std::vector<std::pair<int32_t, std::string>> entries;
};

/// The controls of one device.
class CameraControls {
public:
    explicit CameraControls(std::unique_ptr<V4l2Device> node) : node_(std::move(node)) {}

    /// Every control the device offers, in its order, without the disabled ones and those of
    /// types a dialog cannot show (64-bit, text, compound). S_FALSE when there is none.
    HResult list(std::vector<CameraControl> &out);
    HResult get(uint32_t id, int32_t &value);
    HResult set(uint32_t id, int32_t value);

private:
    /// The old way, for drivers without V4L2_CTRL_FLAG_NEXT_CTRL: the user and camera ids in
    /// turn, then the private ones until the first that is not there.
    void listById(std::vector<CameraControl> &out);
    int query(uint32_t id, CameraControl &out, uint32_t &nextId);
    void readMenu(CameraControl &control);

    std::unique_ptr<V4l2Device> node_;
};

}  // namespace lumaghost
