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

/// Reads a whole file into `out`; 0 or an errno value.
int readWholeFile(const std::filesystem::path &file, std::string &out);

/// Writes `contents` to a temporary file beside `file`, syncs it and renames it over `file`;
/// 0 or an errno value. The file is left as it was on failure.
int replaceFileAtomically(const std::filesystem::path &file, std::string_view contents,
                          mode_t mode);

}  // namespace lumaghost
