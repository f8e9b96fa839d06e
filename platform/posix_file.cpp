// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/posix_file.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lumaghost {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int writeAll(int fd, const void *data, size_t size) {
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return errno;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

bool setGroup(int fd, gid_t group) {
    return group == static_cast<gid_t>(-1) || ::fchown(fd, static_cast<uid_t>(-1), group) == 0;
}

bool setGroup(const std::filesystem::path &path, gid_t group) {
    return group == static_cast<gid_t>(-1) ||
           ::chown(path.c_str(), static_cast<uid_t>(-1), group) == 0;
}

int ioctlRetry(int fd, unsigned long request, void *argument) {
    int r;
    do {
        r = ::ioctl(fd, request, argument);
    } while (r < 0 && errno == EINTR);
    return r;
}

int openRegularFile(const std::filesystem::path &file, int flags, UniqueFd &out,
                    struct stat *status, mode_t mode) {
    // O_NONBLOCK keeps a FIFO without a writer from stalling the open; it is dropped again once
    // the file is known to be regular.
    UniqueFd fd(::open(file.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    if (!fd)
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) < 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (!(flags & O_NONBLOCK)) {
        int fl = ::fcntl(fd.get(), F_GETFL);
        if (fl < 0 || ::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK) < 0)
            return errno;
    }
    if (status)
        *status = st;
    out = std::move(fd);
    return 0;
}

int readWholeFile(const std::filesystem::path &file, std::string &out, size_t maxBytes,
                  bool followLinks) {
    UniqueFd fd;
    struct stat st;
    if (int err = openRegularFile(file, followLinks ? O_RDONLY : O_RDONLY | O_NOFOLLOW, fd, &st))
        return err;
    out.clear();
    if (static_cast<uint64_t>(st.st_size) > maxBytes)
        return EFBIG;
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof(buf));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        // The file may grow while it is read.
        if (out.size() + static_cast<size_t>(n) > maxBytes)
            return EFBIG;
        out.append(buf, static_cast<size_t>(n));
    }
}

namespace {

// A name for a new file beside `name` that nobody can guess ahead.
std::string temporaryName(const std::string &name) {
    static std::atomic<unsigned> counter{0};
    uint64_t random = 0;
    if (::getrandom(&random, sizeof(random), GRND_NONBLOCK) != sizeof(random))
        random = uint64_t(::getpid()) << 32 | counter.fetch_add(1);
    char suffix[24];
    std::snprintf(suffix, sizeof(suffix), ".tmp-%016llx", static_cast<unsigned long long>(random));
    return name + suffix;
}

}  // namespace

int openDirectory(const std::filesystem::path &directory, UniqueFd &out) {
    const std::filesystem::path dir = directory.empty() ? "." : directory;
    UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return errno;
    out = std::move(fd);
    return 0;
}

int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents, mode_t mode,
                          gid_t group) {
    UniqueFd dir;
    if (int err = openDirectory(file.parent_path(), dir))
        return err;
    const std::string name = file.filename().string();
    std::string tmp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 8 && !fd; ++attempt) {
        tmp = temporaryName(name);
        fd.reset(::openat(dir.get(), tmp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!fd && errno != EEXIST)
            return errno;
    }
    if (!fd)
        return EEXIST;
    // The group first: a change of owner may clear the mode's set-id bits.
    setGroup(fd.get(), group);
    ::fchmod(fd.get(), mode);
    int err = writeAll(fd.get(), contents.data(), contents.size());
    if (!err && ::fsync(fd.get()) < 0)
        err = errno;
    fd.reset();
    if (!err && ::renameat(dir.get(), tmp.c_str(), dir.get(), name.c_str()) < 0)
        err = errno;
    if (err)
        ::unlinkat(dir.get(), tmp.c_str(), 0);
    return err;
}

int openOrCreateAt(int dir, const char *name, int flags, mode_t mode, UniqueFd &out) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        UniqueFd fd(::openat(dir, name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd) {
            struct stat st;
            if (::fstat(fd.get(), &st) < 0)
                return errno;
            if (S_ISREG(st.st_mode)) {
                out = std::move(fd);
                return 0;
            }
        } else if (errno != ENOENT && errno != ELOOP) {
            return errno;
        }
        // Something that is no regular file is taken away; a file is made in its place, never
        // through a link.
        if (fd || errno == ELOOP) {
            fd.reset();
            if (::unlinkat(dir, name, 0) < 0 && errno != ENOENT)
                return errno;
        }
        fd.reset(::openat(dir, name, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd) {
            out = std::move(fd);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

namespace {

// The rights of nobody in group video for file opens on this thread, while it lives, when the
// process runs as root; nothing otherwise.
class GroupVideoRights {
public:
    GroupVideoRights() {
        if (::geteuid() != 0)
            return;
        const gid_t video = videoGroupId();
        group_ = ::setfsgid(video != static_cast<gid_t>(-1) ? video : kNobody);
        user_ = ::setfsuid(kNobody);
        active_ = true;
    }
    ~GroupVideoRights() {
        if (!active_)
            return;
        (void)::setfsuid(user_);
        (void)::setfsgid(group_);
    }
    GroupVideoRights(const GroupVideoRights &) = delete;
    GroupVideoRights &operator=(const GroupVideoRights &) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool active_ = false;
    int user_ = 0;
    int group_ = 0;
};

bool onKernelFileSystem(int fd) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) < 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

int openSharedFile(const std::filesystem::path &file, uint64_t maxBytes, UniqueFd &out,
                   struct stat *status) {
    UniqueFd fd;
    struct stat st;
    int err;
    {
        GroupVideoRights rights;
        err = openRegularFile(file, O_RDONLY | O_NOFOLLOW, fd, &st);
    }
    if (err)
        return err;
    if (onKernelFileSystem(fd.get()))
        return ENODEV;
    if (static_cast<uint64_t>(st.st_size) > maxBytes)
        return EFBIG;
    const uid_t self = ::geteuid();
    const bool readable = (st.st_mode & S_IROTH) ||
                          ((st.st_mode & S_IRGRP) && st.st_gid == videoGroupId()) ||
                          (self != 0 && st.st_uid == self);
    if (!readable)
        return EACCES;
    if (status)
        *status = st;
    out = std::move(fd);
    return 0;
}

std::string sharedFileProblem(int error) {
    switch (error) {
        case ELOOP:
            return "it is a symbolic link";
        case EINVAL:
            return "it is not a regular file";
        case ENODEV:
            return "it lies on a file system of the kernel";
        case EFBIG:
            return "it is too large";
        case EACCES:
            return "group video may not read it";
        default:
            return std::strerror(error);
    }
}

gid_t videoGroupId() {
    // getgrnam is not thread-safe; getgrnam_r with a buffer of our own is.
    static const gid_t gid = [] {
        group entry;
        group *found = nullptr;
        std::vector<char> buffer(16384);
        if (::getgrnam_r("video", &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
            return static_cast<gid_t>(-1);
        return found->gr_gid;
    }();
    return gid;
}

}  // namespace lumaghost
