#include "setup/state_directory.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/paths.h"

namespace lumaghost {

namespace {

// Group video's id, or -1 where there is none.
gid_t videoGroup() {
    group entry;
    group *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getgrnam_r("video", &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return static_cast<gid_t>(-1);
    return found->gr_gid;
}

}  // namespace

HResult PrepareStateDirectory(const std::filesystem::path &directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec)
        return hresultFromErrno(ec.value());
    // Only a process of that group (or root) may hand the directory to it; otherwise it keeps
    // the group it has.
    if (const gid_t video = videoGroup(); video != static_cast<gid_t>(-1))
        (void)::chown(directory.c_str(), static_cast<uid_t>(-1), video);
    if (::chmod(directory.c_str(), kStateDirectoryMode) != 0)
        return hresultFromErrno(errno);
    const std::filesystem::path hive = directory / machineHivePath().filename();
    struct stat st, dir;
    if (::lstat(hive.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::stat(directory.c_str(), &dir) == 0) {
        (void)::chown(hive.c_str(), static_cast<uid_t>(-1), dir.st_gid);
        (void)::chmod(hive.c_str(), (st.st_mode & 07777) | S_IRGRP);
    }
    return S_OK;
}

}  // namespace lumaghost
