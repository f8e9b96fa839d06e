// SPDX-License-Identifier: LGPL-2.1-or-later
// The platform version as the programs ask for it. Linux answers as the NT family; tests inject
// other answers to reach the branches for other platforms.
#pragma once

#include <cstdint>
#include <string>

namespace lumaghost {

inline constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

inline constexpr uint32_t kVersionRecordPlain = 148;
inline constexpr uint32_t kVersionRecordExtended = 156;

struct OsVersionInfo {
    uint32_t recordSize = 0;  // kVersionRecordExtended or kVersionRecordPlain, set by the caller
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platformId = 0;
    std::string servicePack;
};

class VersionSource {
public:
    virtual ~VersionSource() = default;
    /// Fills `info` for the record size the caller set; false when the call fails.
    virtual bool getVersionEx(OsVersionInfo &info) = 0;
};

/// The running system: the NT family, version 10.0, the kernel release as service-pack text.
VersionSource &systemVersionSource();

/// Asks for the extended record first and the plain one when that fails; false when both fail.
bool readPlatformVersion(VersionSource &source, OsVersionInfo &info);

}  // namespace lumaghost
