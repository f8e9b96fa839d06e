// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/state_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/posix_file.h"

namespace lumaghost {

HResult PrepareStateDirectory(const std::filesystem::path &directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec)
        return hresultFromErrno(ec.value());
    // Only a process of that group (or root) may hand the directory to it; otherwise it keeps
    // the group it has.
    setGroup(directory, videoGroupId());
    if (::chmod(directory.c_str(), kStateDirectoryMode) != 0)
        return hresultFromErrno(errno);
    const std::filesystem::path hive = directory / machineHivePath().filename();
    struct stat st, dir;
    if (::lstat(hive.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::stat(directory.c_str(), &dir) == 0) {
        setGroup(hive, dir.st_gid);
        (void)::chmod(hive.c_str(), (st.st_mode & 07777) | S_IRGRP);
    }
    return S_OK;
}

}  // namespace lumaghost
