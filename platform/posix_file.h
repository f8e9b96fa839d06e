// SPDX-License-Identifier: LGPL-2.1-or-later
// Small POSIX helpers: a move-only descriptor owner and whole-file reads and atomic writes.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace lumaghost {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

/// Writes all of `data`, retrying interrupted and partial writes; 0 or an errno value.
int writeAll(int fd, const void *data, size_t size);

/// ioctl, retried while a signal interrupts it: its result, -1 with errno set on failure.
int ioctlRetry(int fd, unsigned long request, void *argument);

/// Opens a file a user named for reading (or with `flags`) without ever blocking on a FIFO or a
/// device: anything but a regular file is refused with EINVAL. 0 or an errno value.
int openRegularFile(const std::filesystem::path &file, int flags, UniqueFd &out);

/// The largest file readWholeFile takes unless told otherwise.
inline constexpr size_t kMaxWholeFileBytes = 64u << 20;

/// Reads a whole regular file into `out`; 0 or an errno value (EFBIG beyond `maxBytes`).
int readWholeFile(const std::filesystem::path &file, std::string &out,
                  size_t maxBytes = kMaxWholeFileBytes);

/// Writes `contents` to a temporary file beside `file`, syncs it and renames it over `file`;
/// 0 or an errno value. The file is left as it was on failure. The new file gets `mode` and,
/// where this process may give it, `group` (-1: the directory's or the process's own).
int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents, mode_t mode,
                          gid_t group = static_cast<gid_t>(-1));

/// Gives the open file `fd`, or `path`, to `group` and keeps its owner; a group of -1 leaves it
/// as it is. Best effort: false where this process may not (it is neither root nor in the group).
bool setGroup(int fd, gid_t group);
bool setGroup(const std::filesystem::path &path, gid_t group);

/// Group video's id (camera devices belong to it), looked up once; -1 where there is none.
gid_t videoGroupId();

}  // namespace lumaghost
