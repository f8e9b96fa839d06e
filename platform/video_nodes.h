// SPDX-License-Identifier: LGPL-2.1-or-later
// The V4L2 video nodes of a device directory (/dev/video0, /dev/video1, ...) and what each
// says of itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct v4l2_capability;

namespace lumaghost {

struct VideoNodeInfo {
    long number = 0;  // N of videoN
    std::filesystem::path path;
    std::string card;           // the card label
    std::string driver;         // the driver's name ("v4l2 loopback", "uvcvideo", ...)
    uint32_t capabilities = 0;  // the node's own (device) capabilities, V4L2_CAP_*

    /// A v4l2loopback node: what it offers (capture or output) changes as writers come and go.
    bool loopback() const;
};

/// Fills `out` from the node's answer to VIDIOC_QUERYCAP.
void describeCapability(const v4l2_capability &cap, const std::filesystem::path &node,
                        VideoNodeInfo &out);

/// Opens the node and asks VIDIOC_QUERYCAP; false when it cannot be opened or does not answer.
bool queryVideoNode(const std::filesystem::path &node, VideoNodeInfo &out);

/// Every videoN of `directory` that answers VIDIOC_QUERYCAP, in the order of N.
std::vector<VideoNodeInfo> listVideoNodes(const std::filesystem::path &directory);

}  // namespace lumaghost
