// The system's video input devices: installed Lumaghost devices in instance order, then the
// V4L2 capture devices by their card name.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "driver/frame_channel.h"
#include "platform/capture_devices.h"
#include "platform/device_tree.h"
#include "platform/registry.h"

namespace lumaghost {

/// The Service value that marks an instance whose Lumaghost driver is installed.
inline constexpr std::string_view kLumacamService = "lumacam";

/// Whether the instance runs the Lumaghost driver: its Service value is kLumacamService, in
/// any case.
bool isLumacamInstance(const HiveData &hive, const DeviceInstance &device);

/// An installed Lumaghost device as the machine hive describes it.
struct InstalledDevice {
    DeviceInstance instance;
    HResult nameResult;    // why the FriendlyName cannot be read, when it cannot
    std::string name;      // the FriendlyName
    ChannelFormat format;  // from its "Device Parameters"
};

/// The installed Lumaghost devices of the hive's contents, in instance order.
std::vector<InstalledDevice> installedDevicesOf(const HiveData &hive);

/// Reads the machine hive for the installed devices. When the hive cannot be read this fails
/// and `error` says why, naming the file and, for a malformed one, the line ("FILE, line N:
/// what"); the file is left as it is.
HResult readInstalledDevices(const RegistryHive &hive, std::vector<InstalledDevice> &out,
                             std::string *error = nullptr);

/// Lists the installed Lumaghost devices, then the V4L2 capture devices. Fails, listing
/// nothing, when the machine hive cannot be read. Binding a Lumaghost device opens its frame
/// channel, creating it from the device's "Device Parameters" when it is missing (after a
/// reboot emptied the run directory).
class SystemDeviceEnumerator final : public DeviceEnumerator {
public:
    /// `hiveFile` is the machine hive; `v4l2Directory` is where video nodes are looked for.
    SystemDeviceEnumerator(std::filesystem::path hiveFile, std::filesystem::path v4l2Directory);

    HResult createClassEnumerator(const Guid &category,
                                  std::vector<std::unique_ptr<Moniker>> &monikers) override;

private:
    std::filesystem::path hiveFile_;
    std::filesystem::path v4l2Directory_;
};

/// The enumerator of the running system: the machine hive under $LUMAGHOST_ROOT and /dev.
HResult createSystemDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out);

/// Lists the legacy filter category (decoders and other filters), supplied by the media layer.
using FilterCategoryProvider = std::function<void(std::vector<std::unique_ptr<Moniker>> &)>;
void setLegacyFilterProvider(FilterCategoryProvider provider);

}  // namespace lumaghost
