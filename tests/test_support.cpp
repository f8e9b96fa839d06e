// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/test_support.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace lumaghost::test {

namespace fs = std::filesystem;

TempRoot::TempRoot() {
    std::string pattern = (fs::temp_directory_path() / "lumaghost-test-XXXXXX").string();
    char *made = ::mkdtemp(pattern.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
    // Open to others, as a real root is: files a user names are opened with group video's
    // rights only, which must reach into it.
    fs::permissions(path_, fs::perms(0755));
    if (const char *old = std::getenv("LUMAGHOST_ROOT")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    ::setenv("LUMAGHOST_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot() {
    if (hadPrevious_)
        ::setenv("LUMAGHOST_ROOT", previous_.c_str(), 1);
    else
        ::unsetenv("LUMAGHOST_ROOT");
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void writeFile(const fs::path &file, const std::string &text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int runAsOtherUser(const std::function<int()> &work) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const gid_t groups[] = {kSharedGroup};
        if (::setgroups(1, groups) != 0 || ::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
            ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0)
            ::_exit(255);
        ::_exit(work() & 0xFF);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace lumaghost::test
