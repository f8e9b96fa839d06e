// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/platform_version.h"

#include <sys/utsname.h>

namespace lumaghost {

namespace {

class LinuxVersionSource final : public VersionSource {
public:
    bool getVersionEx(OsVersionInfo &info) override {
        if (info.recordSize != kVersionRecordExtended && info.recordSize != kVersionRecordPlain)
            return false;
        info.platformId = VER_PLATFORM_WIN32_NT;
        info.major = 10;
        info.minor = 0;
        info.build = 0;
        utsname u;
        info.servicePack = uname(&u) == 0 ? std::string("Linux ") + u.release : "Linux";
        return true;
    }
};

}  // namespace

VersionSource &systemVersionSource() {
    static LinuxVersionSource source;
    return source;
}

bool readPlatformVersion(VersionSource &source, OsVersionInfo &info) {
    info = OsVersionInfo{};
    info.recordSize = kVersionRecordExtended;
    if (source.getVersionEx(info))
        return true;
    info = OsVersionInfo{};
    info.recordSize = kVersionRecordPlain;
    return source.getVersionEx(info);
}

}  // namespace lumaghost
