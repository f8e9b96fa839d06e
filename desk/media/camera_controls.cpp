// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/camera_controls.h"

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>

namespace lumaghost {

namespace {

// A menu longer than this is cut: no list box shows more to anyone.
constexpr int32_t kMaxMenuEntries = 1024;

std::string fixedText(const uint8_t *text, size_t size) {
    const char *chars = reinterpret_cast<const char *>(text);
    return std::string(chars, strnlen(chars, size));
}

}  // namespace

/// \brief Opens a V4L2 node for its controls (non-blocking: no frame is ever read here).
HResult openV4l2Node(const std::string &path, std::unique_ptr<V4l2Device> &out) {
    return hresultFromErrno(openV4l2Device(path, out));
}

/// \brief Asks the node for control `id` (with V4L2_CTRL_FLAG_NEXT_CTRL: the one after it).
/// \param nextId the id the node answered with, for the next question
/// \return 0, or the errno value the node answered (EINVAL: no such control); `out.id` is 0
/// for one not to be listed
int CameraControls::query(uint32_t id, CameraControl &out, uint32_t &nextId) {
    v4l2_queryctrl q{};
    q.id = id;
    if (int error = node_->ioctl(VIDIOC_QUERYCTRL, &q))
        return error;
    nextId = q.id;
    out = CameraControl();
    out.id = q.id;
    out.name = fixedText(q.name, sizeof(q.name));
    out.minimum = q.minimum;
    out.maximum = q.maximum;
    out.step = q.step > 0 ? q.step : 1;
    out.defaultValue = q.default_value;
    out.readOnly = (q.flags & V4L2_CTRL_FLAG_READ_ONLY) != 0;
    out.inactive = (q.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED)) != 0;
    switch (q.type) {
        case V4L2_CTRL_TYPE_INTEGER:
            out.type = CameraControl::Type::Integer;
            break;
        case V4L2_CTRL_TYPE_BOOLEAN:
            out.type = CameraControl::Type::Boolean;
            break;
        case V4L2_CTRL_TYPE_MENU:
            out.type = CameraControl::Type::Menu;
            break;
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            out.type = CameraControl::Type::IntegerMenu;
            break;
        case V4L2_CTRL_TYPE_BUTTON:
            out.type = CameraControl::Type::Button;
            break;
        case V4L2_CTRL_TYPE_CTRL_CLASS:
            out.type = CameraControl::Type::Class;
            break;
        default:
            out.id = 0;  // a type no dialog shows
            break;
    }
    // Answered, but not listed.
    if (q.flags & V4L2_CTRL_FLAG_DISABLED)
        out.id = 0;
    return 0;
}

void CameraControls::readMenu(CameraControl &control) {
    if (control.maximum < control.minimum ||
        int64_t{control.maximum} - control.minimum >= kMaxMenuEntries)
        return;
    for (int32_t index = control.minimum; index <= control.maximum; ++index) {
        v4l2_querymenu m{};
        m.id = control.id;
        m.index = uint32_t(index);
        // A menu may leave out indices: those answer EINVAL.
        if (node_->ioctl(VIDIOC_QUERYMENU, &m) != 0)
            continue;
        std::string label = control.type == CameraControl::Type::IntegerMenu
                                ? std::to_string(static_cast<long long>(m.value))
                                : fixedText(m.name, sizeof(m.name));
        control.entries.emplace_back(index, std::move(label));
    }
}

void CameraControls::listById(std::vector<CameraControl> &out) {
    auto add = [&](uint32_t id) {
        CameraControl control;
        uint32_t answered = 0;
        if (query(id, control, answered) != 0)
            return false;
        if (control.id != 0)
            out.push_back(std::move(control));
        return true;
    };
    for (uint32_t id = V4L2_CID_BASE; id < V4L2_CID_LASTP1; ++id)
        (void)add(id);
    for (uint32_t id = V4L2_CID_CAMERA_CLASS_BASE; id < V4L2_CID_CAMERA_CLASS_BASE + 64; ++id)
        (void)add(id);
    for (uint32_t id = V4L2_CID_PRIVATE_BASE; id < V4L2_CID_PRIVATE_BASE + 256 && add(id); ++id) {
    }
}

/// \brief Lists the device's controls with their menus.
/// \return S_OK, S_FALSE for none; the node's failure when it is no V4L2 device
HResult CameraControls::list(std::vector<CameraControl> &out) {
    out.clear();
    uint32_t id = 0;
    for (bool first = true;; first = false) {
        CameraControl control;
        uint32_t answered = 0;
        if (const int error = query(id | V4L2_CTRL_FLAG_NEXT_CTRL, control, answered)) {
            // EINVAL at once: no controls, or a driver that cannot be asked for the next one.
            if (first && error == EINVAL)
                listById(out);
            else if (first)
                return hresultFromErrno(error);
            break;
        }
        if (answered <= id)
            break;  // a node whose ids do not grow would be asked for ever
        id = answered;
        if (control.id != 0)
            out.push_back(std::move(control));
    }
    for (CameraControl &c : out) {
        if (c.type == CameraControl::Type::Menu || c.type == CameraControl::Type::IntegerMenu)
            readMenu(c);
    }
    return out.empty() ? S_FALSE : S_OK;
}

HResult CameraControls::get(uint32_t id, int32_t &value) {
    v4l2_control c{};
    c.id = id;
    if (int error = node_->ioctl(VIDIOC_G_CTRL, &c))
        return hresultFromErrno(error);
    value = c.value;
    return S_OK;
}

HResult CameraControls::set(uint32_t id, int32_t value) {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    if (int error = node_->ioctl(VIDIOC_S_CTRL, &c))
        return hresultFromErrno(error);
    return S_OK;
}

}  // namespace lumaghost
