// SPDX-License-Identifier: LGPL-2.1-or-later
// A V4L2 node that answers the control ioctls as the kernel's control framework does, for a
// device with the controls it is given: VIDIOC_QUERYCTRL (with V4L2_CTRL_FLAG_NEXT_CTRL unless
// told it is an old driver), VIDIOC_QUERYMENU, VIDIOC_G_CTRL and VIDIOC_S_CTRL.
#pragma once

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "desk/media/camera_controls.h"

namespace lumaghost::test {

struct FakeControl {
    v4l2_queryctrl query{};
    std::map<uint32_t, std::string> menu;  // index -> name; missing indices answer EINVAL
    int32_t value = 0;
};

inline FakeControl fakeControl(uint32_t id, uint32_t type, const char *name, int32_t min,
                               int32_t max, int32_t step, int32_t value, uint32_t flags = 0) {
    FakeControl c;
    c.query.id = id;
    c.query.type = type;
    std::strncpy(reinterpret_cast<char *>(c.query.name), name, sizeof(c.query.name) - 1);
    c.query.minimum = min;
    c.query.maximum = max;
    c.query.step = step;
    c.query.default_value = value;
    c.query.flags = flags;
    c.value = value;
    return c;
}

class FakeV4l2Node final : public V4l2Device {
public:
    /// `controls` by id; `sets` records every VIDIOC_S_CTRL.
    FakeV4l2Node(std::map<uint32_t, FakeControl> &controls,
                 std::vector<std::pair<uint32_t, int32_t>> &sets, bool nextCtrl = true)
        : controls_(controls), sets_(sets), nextCtrl_(nextCtrl) {}

    int ioctl(unsigned long request, void *argument) override {
        switch (request) {
            case VIDIOC_QUERYCTRL: {
                auto *q = static_cast<v4l2_queryctrl *>(argument);
                auto it = controls_.end();
                if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) {
                    if (nextCtrl_)
                        it = controls_.upper_bound(q->id & ~V4L2_CTRL_FLAG_NEXT_CTRL);
                } else {
                    it = controls_.find(q->id);
                }
                if (it == controls_.end())
                    return fail(EINVAL);
                *q = it->second.query;
                return 0;
            }
            case VIDIOC_QUERYMENU: {
                auto *m = static_cast<v4l2_querymenu *>(argument);
                auto c = controls_.find(m->id);
                if (c == controls_.end())
                    return fail(EINVAL);
                auto e = c->second.menu.find(m->index);
                if (e == c->second.menu.end())
                    return fail(EINVAL);
                if (c->second.query.type == V4L2_CTRL_TYPE_INTEGER_MENU)
                    m->value = std::stoll(e->second);
                else
                    std::strncpy(reinterpret_cast<char *>(m->name), e->second.c_str(),
                                 sizeof(m->name) - 1);
                return 0;
            }
            case VIDIOC_G_CTRL:
            case VIDIOC_S_CTRL: {
                auto *c = static_cast<v4l2_control *>(argument);
                auto it = controls_.find(c->id);
                if (it == controls_.end())
                    return fail(EINVAL);
                if (request == VIDIOC_G_CTRL) {
                    c->value = it->second.value;
                    return 0;
                }
                const v4l2_queryctrl &q = it->second.query;
                if (q.flags & V4L2_CTRL_FLAG_READ_ONLY)
                    return fail(EACCES);
                if (c->value < q.minimum || c->value > q.maximum)
                    return fail(ERANGE);
                it->second.value = c->value;
                sets_.emplace_back(c->id, c->value);
                return 0;
            }
            default:
                return fail(ENOTTY);
        }
    }

    int write(const void *, size_t, size_t &) override { return EINVAL; }
    int map(size_t, uint32_t, void *&) override { return EINVAL; }
    void unmap(void *, size_t) override {}

private:
    static int fail(int error) { return error; }

    std::map<uint32_t, FakeControl> &controls_;
    std::vector<std::pair<uint32_t, int32_t>> &sets_;
    bool nextCtrl_;
};

}  // namespace lumaghost::test
