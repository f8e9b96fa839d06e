// SPDX-License-Identifier: LGPL-2.1-or-later
// An open V4L2 node and the system calls it is driven with: ioctls (retried while a signal
// interrupts them), write(), and the mapping of the driver's streaming buffers. Every call
// answers with the errno value it failed with, so that a caller can say why a node cannot be
// used. The kernel's node, or a test's stand-in that answers as the kernel does.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace lumaghost {

class V4l2Device {
public:
    virtual ~V4l2Device() = default;
    /// The ioctl: 0, or the errno value it failed with.
    virtual int ioctl(unsigned long request, void *argument) = 0;
    /// Writes up to `size` bytes: 0 with `written` set, or an errno value.
    virtual int write(const void *data, size_t size, size_t &written) = 0;
    /// Maps `length` bytes of the driver's buffer at `offset` (VIDIOC_QUERYBUF's m.offset):
    /// 0 with `address` set, or an errno value.
    virtual int map(size_t length, uint32_t offset, void *&address) = 0;
    virtual void unmap(void *address, size_t length) = 0;
};

/// Opens a video node for reading and writing without blocking: 0, or an errno value.
int openV4l2Device(const std::filesystem::path &node, std::unique_ptr<V4l2Device> &out);

/// The driver name of a v4l2loopback node, as VIDIOC_QUERYCAP gives it.
inline constexpr const char *kLoopbackDriver = "v4l2 loopback";

/// What a failure of a V4L2 node means to its user, in a few lower-case words:
/// "permission denied (not in group video?)", "device or resource busy".
std::string describeV4l2Error(int error);

}  // namespace lumaghost
