// Test helpers: a throw-away LUMAGHOST_ROOT for each test.
#pragma once

#include <filesystem>
#include <string>

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

}  // namespace lumaghost::test
