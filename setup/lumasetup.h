// SPDX-License-Identifier: LGPL-2.1-or-later
// The installer's run: install or update the camera device from "Lumacam.inf", or remove it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_version.h"
#include "setup/device_installer.h"

namespace lumaghost {

inline constexpr char kInfFileName[] = "Lumacam.inf";
inline constexpr char kHardwareId[] = "Lumacam";
inline constexpr uint32_t kMaxPath = 260;

/// Exit codes: done (or nothing to do), failed, and Lumacam.inf unusable (255 to the shell).
inline constexpr int kSetupDone = 0;
inline constexpr int kSetupFailed = 1;
inline constexpr int kSetupUnusableInf = -1;

struct SetupResult {
    int exitCode = kSetupDone;
    uint32_t lastError = 0;  // the Windows error number of the step that failed, else 0
    std::string message;     // one line on what failed; empty on success
};

/// One run. `remove` is true when the command line had any argument. A device this run created
/// is taken away again when a later step fails.
SetupResult runLumasetup(DeviceInstaller &api, VersionSource &versions, bool remove);

/// Major version 5, minor 0.
bool isWindows2000(VersionSource &versions);

/// Finds the camera device in the open device list: the first whose hardware-ID list holds
/// "Lumacam" exactly. Returns S_OK with `found` set, or the failure that ends the run.
HResult findCameraDevice(DeviceInstaller &api, bool &found, uint32_t &index);

}  // namespace lumaghost
