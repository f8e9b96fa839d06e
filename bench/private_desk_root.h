// SPDX-License-Identifier: LGPL-2.1-or-later
// A throw-away root for a benchmark's Lumadesk: its settings, data, runtime directory and
// camera root, and the offscreen platform unless another is set.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace lumaghost::bench {

/// Makes the directory (named after `prefix` in the temporary directory) and points the
/// environment at it.
inline std::filesystem::path makePrivateDeskRoot(const char *prefix) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    const fs::path dir = ::mkdtemp(pattern.data());
    fs::create_directories(dir / "config");
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("LUMAGHOST_ROOT", (dir / "root").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    return dir;
}

}  // namespace lumaghost::bench
