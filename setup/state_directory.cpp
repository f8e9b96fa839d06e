// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/state_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/posix_file.h"
#include "platform/registry.h"

namespace lumaghost {

HResult prepareStateDirectory(const std::filesystem::path &directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec)
        return hresultFromErrno(ec.value());
    // The directory and the hive in it are changed through descriptors opened without following
    // a link: group video may put anything at the hive's name.
    UniqueFd dir;
    if (int err = openDirectory(directory, dir))
        return hresultFromErrno(err);
    // Only a process of that group (or root) may hand the directory to it; otherwise it keeps
    // the group it has.
    setGroup(dir.get(), videoGroupId());
    if (::fchmod(dir.get(), kStateDirectoryMode) != 0)
        return hresultFromErrno(errno);
    const std::string hiveName = machineHivePath().filename().string();
    UniqueFd hive(::openat(dir.get(), hiveName.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st, dirStat;
    if (hive && ::fstat(hive.get(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::fstat(dir.get(), &dirStat) == 0) {
        setGroup(hive.get(), dirStat.st_gid);
        (void)::fchmod(hive.get(), kMachineHiveMode);
    }
    return S_OK;
}

}  // namespace lumaghost
