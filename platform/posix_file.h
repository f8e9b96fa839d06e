// SPDX-License-Identifier: LGPL-2.1-or-later
// Small POSIX helpers: a move-only descriptor owner, whole-file reads and atomic writes, and the
// opening of files in directories other users may write or name.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
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

/// Opens a file a user named with `flags` (`mode` for a file O_CREAT makes) without ever
/// blocking on a FIFO or a device: anything but a regular file is refused with EINVAL. The file's
/// status goes to `status` where given; the descriptor blocks unless `flags` holds O_NONBLOCK.
/// 0 or an errno value.
int openRegularFile(const std::filesystem::path &file, int flags, UniqueFd &out,
                    struct stat *status = nullptr, mode_t mode = 0);

/// The largest file readWholeFile takes unless told otherwise.
inline constexpr size_t kMaxWholeFileBytes = 64u << 20;

/// Reads a whole regular file into `out`; 0 or an errno value (EFBIG beyond `maxBytes`; ELOOP
/// for a symbolic link at its last name unless `followLinks`).
int readWholeFile(const std::filesystem::path &file, std::string &out,
                  size_t maxBytes = kMaxWholeFileBytes, bool followLinks = true);

/// Writes `contents` to a temporary file beside `file`, syncs it and renames it over `file`;
/// 0 or an errno value. The file is left as it was on failure. The new file gets `mode` and,
/// where this process may give it, `group` (-1: the directory's or the process's own). The
/// directory is opened once, never through a symbolic link, and the temporary file is a new
/// one (O_EXCL): whatever stands at either name is never followed.
int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents, mode_t mode,
                          gid_t group = static_cast<gid_t>(-1));

/// Opens `directory` itself for the *at functions, never through a symbolic link at its last
/// name; 0 or an errno value.
int openDirectory(const std::filesystem::path &directory, UniqueFd &out);

/// Opens the regular file `name` in the directory `dir` with `flags` (O_RDONLY or O_RDWR),
/// never following a symbolic link; where nothing stands at the name, or something that is no
/// regular file (a symbolic link, a FIFO, a device), a new file is made there with O_EXCL and
/// `mode`. For the writers' own files (lock files) in directories others may write. 0 or an
/// errno value.
int openOrCreateAt(int dir, const char *name, int flags, mode_t mode, UniqueFd &out);

/// Opens for reading a file that someone else named (a member of group video, in the machine
/// hive), with no more rights than that group has: its last name must not be a symbolic link
/// (ELOOP), it must be a regular file (EINVAL) of at most `maxBytes` (EFBIG), outside the
/// kernel's own file systems such as /proc and /sys (ENODEV), and its mode must let group video
/// or anyone read it unless it is this process's own and this process is not root's (EACCES).
/// A process running as root opens it as nobody in group video, so that no directory the group
/// may not search is passed either. Never blocks on a FIFO. The file's status goes to `status`
/// where given. 0 or an errno value.
int openSharedFile(const std::filesystem::path &file, uint64_t maxBytes, UniqueFd &out,
                   struct stat *status = nullptr);

/// Why openSharedFile refused a file, in words ("it is a symbolic link").
std::string sharedFileProblem(int error);

/// Gives the open file `fd`, or `path`, to `group` and keeps its owner; a group of -1 leaves it
/// as it is. Best effort: false where this process may not (it is neither root nor in the group).
bool setGroup(int fd, gid_t group);
bool setGroup(const std::filesystem::path &path, gid_t group);

/// Group video's id (camera devices belong to it), looked up once; -1 where there is none.
gid_t videoGroupId();

}  // namespace lumaghost
