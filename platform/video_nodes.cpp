// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/video_nodes.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>

#include "platform/v4l2_device.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

std::string fixedString(const uint8_t *text, size_t size) {
    const char *p = reinterpret_cast<const char *>(text);
    return std::string(p, strnlen(p, size));
}

}  // namespace

bool VideoNodeInfo::loopback() const {
    return driver == kLoopbackDriver;
}

void describeCapability(const v4l2_capability &cap, const fs::path &node, VideoNodeInfo &out) {
    out.path = node;
    out.card = fixedString(cap.card, sizeof(cap.card));
    out.driver = fixedString(cap.driver, sizeof(cap.driver));
    out.capabilities =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

bool queryVideoNode(const fs::path &node, VideoNodeInfo &out) {
    std::unique_ptr<V4l2Device> device;
    v4l2_capability cap{};
    if (openV4l2Device(node, device) != 0 || device->ioctl(VIDIOC_QUERYCAP, &cap) != 0)
        return false;
    describeCapability(cap, node, out);
    return true;
}

std::vector<VideoNodeInfo> listVideoNodes(const fs::path &directory) {
    std::vector<std::pair<long, fs::path>> nodes;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(directory, ec)) {
        // Digits only, and not so many that no number holds them.
        const std::string name = entry.path().filename().string();
        if (name.rfind("video", 0) != 0 || name.size() == 5 || name.size() > 12 ||
            !std::all_of(name.begin() + 5, name.end(), ::isdigit))
            continue;
        nodes.emplace_back(std::stol(name.substr(5)), entry.path());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<VideoNodeInfo> out;
    for (const auto &[number, path] : nodes) {
        VideoNodeInfo info;
        if (!queryVideoNode(path, info))
            continue;
        info.number = number;
        out.push_back(std::move(info));
    }
    return out;
}

}  // namespace lumaghost
