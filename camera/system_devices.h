// SPDX-License-Identifier: LGPL-2.1-or-later
// The system's video input devices: installed Lumaghost devices in instance order, then the
// V4L2 capture devices by their card name.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "camera/capture_devices.h"
#include "device/installed_devices.h"
#include "platform/video_nodes.h"

namespace lumaghost {

/// Lists the legacy filter category (decoders and other filters): the media layer's elements.
using FilterCategoryProvider = std::function<void(std::vector<std::unique_ptr<Moniker>> &)>;

/// Lists the video nodes of a directory: listVideoNodes, or a test's stand-in.
using VideoNodeLister = std::function<std::vector<VideoNodeInfo>(const std::filesystem::path &)>;

/// Lists the installed Lumaghost devices, then the V4L2 capture devices. Fails, listing
/// nothing, when the machine hive cannot be read. Binding a Lumaghost device opens its frame
/// channel, creating it from the device's "Device Parameters" when it is missing (after a
/// reboot emptied the run directory). The legacy filter category is what `legacyFilters` lists;
/// without it, that category is empty.
class SystemDeviceEnumerator final : public DeviceEnumerator {
public:
    /// `hiveFile` is the machine hive; `v4l2Directory` is where video nodes are looked for.
    SystemDeviceEnumerator(std::filesystem::path hiveFile, std::filesystem::path v4l2Directory,
                           FilterCategoryProvider legacyFilters = {},
                           VideoNodeLister videoNodes = listVideoNodes);

    HResult createClassEnumerator(const Guid &category,
                                  std::vector<std::unique_ptr<Moniker>> &monikers) override;

private:
    std::filesystem::path hiveFile_;
    std::filesystem::path v4l2Directory_;
    FilterCategoryProvider legacyFilters_;
    VideoNodeLister videoNodes_;
};

/// The enumerator of the running system: the machine hive under $LUMAGHOST_ROOT and /dev, with
/// the legacy filter category that `legacyFilters` lists.
HResult createSystemDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out,
                                     FilterCategoryProvider legacyFilters = {});

}  // namespace lumaghost
