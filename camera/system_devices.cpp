// SPDX-License-Identifier: LGPL-2.1-or-later
#include "camera/system_devices.h"

#include <linux/videodev2.h>

#include <set>
#include <string>

#include "camera/lumacam_filter.h"
#include "platform/paths.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

// An installed device as the enumeration found it: its name and format come from the same
// reading of the hive; its frame channel is opened, or re-created, when it is bound.
class LumacamMoniker final : public Moniker {
public:
    explicit LumacamMoniker(InstalledDevice device) : device_(std::move(device)) {}

    HResult readFriendlyName(std::string &name) override {
        if (device_.nameResult.succeeded())
            name = device_.name;
        return device_.nameResult;
    }

    HResult bindToObject(std::unique_ptr<BaseFilter> &filter) override {
        if (device_.nameResult.failed())
            return device_.nameResult;
        std::unique_ptr<FrameChannel> channel;
        HResult r =
            FrameChannel::openOrCreate(frameChannelPath(device_.instance), device_.format, channel);
        if (r.failed())
            return r;
        filter = std::make_unique<LumacamFilter>(device_.name, std::move(channel));
        return S_OK;
    }

private:
    InstalledDevice device_;
};

// The video nodes of a directory that capture, ordered by their number, without the loopback
// nodes that show an installed camera (its name is theirs): that camera is listed already.
void appendV4l2Captures(const std::vector<VideoNodeInfo> &nodes,
                        const std::set<std::string> &cameras,
                        std::vector<std::unique_ptr<Moniker>> &out) {
    for (const VideoNodeInfo &node : nodes) {
        if (node.loopback() && cameras.count(node.card))
            continue;
        if (node.capabilities & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))
            out.push_back(
                std::make_unique<NamedMoniker>(FilterKind::V4l2, node.card, node.path.string()));
    }
}

}  // namespace

SystemDeviceEnumerator::SystemDeviceEnumerator(fs::path hiveFile, fs::path v4l2Directory,
                                               FilterCategoryProvider legacyFilters,
                                               VideoNodeLister videoNodes)
    : hiveFile_(std::move(hiveFile)),
      v4l2Directory_(std::move(v4l2Directory)),
      legacyFilters_(std::move(legacyFilters)),
      videoNodes_(std::move(videoNodes)) {}

HResult SystemDeviceEnumerator::createClassEnumerator(
    const Guid &category, std::vector<std::unique_ptr<Moniker>> &monikers) {
    monikers.clear();
    if (category == CLSID_VideoInputDeviceCategory) {
        std::vector<InstalledDevice> installed;
        HResult r = readInstalledDevices(RegistryHive(hiveFile_), installed);
        if (r.failed())
            return r;
        std::set<std::string> cameras;
        for (auto &device : installed) {
            if (device.nameResult.succeeded())
                cameras.insert(device.name);
            monikers.push_back(std::make_unique<LumacamMoniker>(std::move(device)));
        }
        appendV4l2Captures(videoNodes_(v4l2Directory_), cameras, monikers);
    }
    if (category == CLSID_LegacyAmFilterCategory && legacyFilters_)
        legacyFilters_(monikers);
    return monikers.empty() ? S_FALSE : S_OK;
}

HResult createSystemDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out,
                                     FilterCategoryProvider legacyFilters) {
    out = std::make_unique<SystemDeviceEnumerator>(machineHivePath(), "/dev",
                                                   std::move(legacyFilters));
    return S_OK;
}

}  // namespace lumaghost
