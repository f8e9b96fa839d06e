#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>

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

int readWholeFile(const std::filesystem::path &file, std::string &out) {
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return errno;
    out.clear();
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
        out.append(buf, static_cast<size_t>(n));
    }
}

int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents,
                          mode_t mode) {
    static std::atomic<unsigned> counter{0};
    std::string tmp = file.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1));
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd)
        return errno;
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

}  // namespace lumaghost
