// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/v4l2_device.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "platform/posix_file.h"

namespace lumaghost {

namespace {

class KernelV4l2Device final : public V4l2Device {
public:
    explicit KernelV4l2Device(UniqueFd fd) : fd_(std::move(fd)) {}

    int ioctl(unsigned long request, void *argument) override {
        return ioctlRetry(fd_.get(), request, argument) < 0 ? errno : 0;
    }
    int write(const void *data, size_t size, size_t &written) override {
        const ssize_t n = ::write(fd_.get(), data, size);
        if (n < 0)
            return errno;
        written = size_t(n);
        return 0;
    }
    int map(size_t length, uint32_t offset, void *&address) override {
        void *p =
            ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(), off_t(offset));
        if (p == MAP_FAILED)
            return errno;
        address = p;
        return 0;
    }
    void unmap(void *address, size_t length) override { ::munmap(address, length); }

private:
    UniqueFd fd_;
};

}  // namespace

int openV4l2Device(const std::filesystem::path &node, std::unique_ptr<V4l2Device> &out) {
    UniqueFd fd(::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return errno;
    out = std::make_unique<KernelV4l2Device>(std::move(fd));
    return 0;
}

std::string describeV4l2Error(int error) {
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    switch (error) {
        case EACCES:
        case EPERM:
            return text + " (not in group video?)";
        case EBUSY:
            return text + " (another program is using it)";
        case ENOTTY:
            return text + " (not a video node)";
        default:
            return text;
    }
}

}  // namespace lumaghost
