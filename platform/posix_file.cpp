// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/posix_file.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
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

int ioctlRetry(int fd, unsigned long request, void *argument) {
    int r;
    do {
        r = ::ioctl(fd, request, argument);
    } while (r < 0 && errno == EINTR);
    return r;
}

int openRegularFile(const std::filesystem::path &file, int flags, UniqueFd &out) {
    // O_NONBLOCK keeps a FIFO without a writer from stalling the open; it is dropped again once
    // the file is known to be regular.
    UniqueFd fd(::open(file.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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
    out = std::move(fd);
    return 0;
}

int readWholeFile(const std::filesystem::path &file, std::string &out, size_t maxBytes) {
    UniqueFd fd;
    if (int err = openRegularFile(file, O_RDONLY, fd))
        return err;
    out.clear();
    struct stat st;
    if (::fstat(fd.get(), &st) == 0) {
        if (static_cast<uint64_t>(st.st_size) > maxBytes)
            return EFBIG;
        out.reserve(static_cast<size_t>(st.st_size));
    }
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

bool setGroup(int fd, gid_t group) {
    return group == static_cast<gid_t>(-1) || ::fchown(fd, static_cast<uid_t>(-1), group) == 0;
}

bool setGroup(const std::filesystem::path &path, gid_t group) {
    return group == static_cast<gid_t>(-1) ||
           ::chown(path.c_str(), static_cast<uid_t>(-1), group) == 0;
}

int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents, mode_t mode,
                          gid_t group) {
    static std::atomic<unsigned> counter{0};
    std::string tmp = file.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1));
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd)
        return errno;
    // The group first: a change of owner may clear the mode's set-id bits.
    setGroup(fd.get(), group);
    ::fchmod(fd.get(), mode);
    int err = writeAll(fd.get(), contents.data(), contents.size());
    if (!err && ::fsync(fd.get()) < 0)
        err = errno;
    fd.reset();
    if (!err && ::rename(tmp.c_str(), file.c_str()) < 0)
        err = errno;
    if (err)
        ::unlink(tmp.c_str());
    return err;
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
