// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/video_nodes.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>

#include "platform/posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

bool queryVideoNode(const fs::path &node, VideoNodeInfo &out) {
    // Non-blocking: only the capability query is made.
    UniqueFd fd(::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    v4l2_capability cap{};
    if (!fd || ioctlRetry(fd.get(), VIDIOC_QUERYCAP, &cap) < 0)
        return false;
    out.path = node;
    out.card.assign(reinterpret_cast<const char *>(cap.card),
                    strnlen(reinterpret_cast<const char *>(cap.card), sizeof(cap.card)));
    out.capabilities =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
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
