// SPDX-License-Identifier: LGPL-2.1-or-later
// The machine-wide state directory ($LUMAGHOST_ROOT/var/lib/lumaghost): the machine hive, the
// stored last image. Group video may write it, so that a user who may feed the camera may also
// set the auto-play item and the stored image without being root.
#pragma once

#include <filesystem>

#include "platform/hresult.h"

namespace lumaghost {

/// The state directory's mode: group-writable, and set-group-ID so that what its users create
/// in it belongs to its group.
inline constexpr unsigned kStateDirectoryMode = 02775;

/// Creates `directory` where missing and gives it group video (where this process may) and
/// kStateDirectoryMode; the machine hive in it, when there is one, gets the directory's group
/// and kMachineHiveMode. Nothing is followed through a symbolic link. S_OK, or the failure of
/// creating the directory or of setting its mode.
HResult prepareStateDirectory(const std::filesystem::path &directory);

}  // namespace lumaghost
