// SPDX-License-Identifier: LGPL-2.1-or-later
// Where Lumaghost keeps its machine-wide and per-user files.
#pragma once

#include <filesystem>
#include <string_view>

namespace lumaghost {

/// $LUMAGHOST_ROOT (empty: the real system), without a trailing slash.
std::filesystem::path lumaghostRoot();

/// An absolute machine-wide path ("/var/lib/...") placed under $LUMAGHOST_ROOT.
std::filesystem::path machinePath(std::string_view absolute);

/// The machine hive: $LUMAGHOST_ROOT/var/lib/lumaghost/machine.ini.
std::filesystem::path machineHivePath();

/// The user hive: $XDG_CONFIG_HOME/Quillmoor/Lumadesk.conf (default ~/.config).
std::filesystem::path userHivePath();

/// The directory of system files such as the stored last image.
std::filesystem::path systemDirectory();

/// The directory holding the devices' frame channels.
std::filesystem::path frameChannelDirectory();

}  // namespace lumaghost
