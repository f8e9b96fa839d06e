// SPDX-License-Identifier: LGPL-2.1-or-later
// Test helpers: a throw-away LUMAGHOST_ROOT for each test.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <sys/types.h>

#include <gtest/gtest.h>

namespace lumaghost::test {

/// A fresh temporary directory set as LUMAGHOST_ROOT for the test's lifetime.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;

    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

/// Writes a text file, creating its directories.
void writeFile(const std::filesystem::path &file, const std::string &text);
std::string readFile(const std::filesystem::path &file);

/// A user and a group of no account, for running work as a user who is not root.
inline constexpr uid_t kOtherUser = 64123;
/// The group that user shares with the files of a test (as group video shares the state
/// directory).
inline constexpr gid_t kSharedGroup = 64124;

/// Runs `work` in a child process as kOtherUser, member of kSharedGroup only, and returns its
/// result (the child's exit status; -1 when it could not become that user). Needs root.
int runAsOtherUser(const std::function<int()> &work);

}  // namespace lumaghost::test
