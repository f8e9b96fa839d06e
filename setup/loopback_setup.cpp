#include "loopback_setup.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "paths.h"
#include "posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

// The control device's ABI (v4l2loopback.h of 0.13): the record of V4L2LOOPBACK_CTL_ADD.
struct LoopbackConfig {
    int32_t outputNumber;
    int32_t unused;
    char cardLabel[32];
    uint32_t minWidth, maxWidth, minHeight, maxHeight;
    int32_t maxBuffers;
    int32_t maxOpeners;
    int32_t debug;
    int32_t announceAllCaps;
};
constexpr unsigned long kLoopbackControlAdd = 0x4C80;

class RealLoopbackSystem final : public LoopbackSystem {
public:
    std::vector<std::string> outputCardLabels() override {
        std::vector<std::string> labels;
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator("/dev", ec)) {
            if (entry.path().filename().string().rfind("video", 0) != 0)
                continue;
            UniqueFd fd(::open(entry.path().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
            v4l2_capability cap{};
            if (!fd || ::ioctl(fd.get(), VIDIOC_QUERYCAP, &cap) < 0)
                continue;
            labels.emplace_back(
                reinterpret_cast<const char *>(cap.card),
                strnlen(reinterpret_cast<const char *>(cap.card), sizeof(cap.card)));
        }
        return labels;
    }

    bool controlDeviceExists() override { return ::access("/dev/v4l2loopback", F_OK) == 0; }

    int addDevice(const std::string &label, bool exclusiveCaps) override {
        UniqueFd fd(::open("/dev/v4l2loopback", O_RDWR | O_CLOEXEC));
        if (!fd)
            return -errno;
        LoopbackConfig config{};
        config.outputNumber = -1;
        config.unused = -1;
        std::strncpy(config.cardLabel, label.c_str(), sizeof(config.cardLabel) - 1);
        config.announceAllCaps = exclusiveCaps ? 0 : 1;
        const int r = ::ioctl(fd.get(), kLoopbackControlAdd, &config);
        return r < 0 ? -errno : r;
    }

    bool moduleInstalled() override {
        utsname u;
        if (uname(&u) != 0)
            return false;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(fs::path("/lib/modules") / u.release, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().rfind("v4l2loopback.ko", 0) == 0)
                return true;
        }
        return false;
    }

    bool writeModuleOptions(const std::string &text) override {
        const fs::path file = machinePath("/etc/modprobe.d/lumaghost-v4l2loopback.conf");
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        return replaceFileAtomically(file, text, 0644) == 0;
    }

    int loadModule() override {
        const pid_t pid = fork();
        if (pid < 0)
            return -1;
        if (pid == 0) {
            const char *argv[] = {"modprobe", "v4l2loopback", nullptr};
            execv("/sbin/modprobe", const_cast<char **>(argv));
            _exit(127);
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

}  // namespace

LoopbackSystem &systemLoopback() {
    static RealLoopbackSystem system;
    return system;
}

std::string loopbackModuleOptions(const std::string &label) {
    // modprobe takes a quoted value; the label's own quotes cannot be carried and are dropped.
    std::string safe;
    for (char c : label) {
        if (c != '"' && c != '\n' && c != '\\')
            safe.push_back(c);
    }
    return "# Written by lumasetup: the loopback node of the Lumaghost camera.\n"
           "options v4l2loopback card_label=\"" +
           safe + "\" exclusive_caps=1\n";
}

HResult PrepareLoopback(LoopbackSystem &system, const std::string &label) {
    const auto labels = system.outputCardLabels();
    if (std::find(labels.begin(), labels.end(), label) != labels.end())
        return S_OK;
    if (system.controlDeviceExists()) {
        const int r = system.addDevice(label, true);
        return r >= 0 ? S_OK : hresultFromWin32(ERROR_ACCESS_DENIED);
    }
    if (!system.moduleInstalled())
        return S_FALSE;
    if (!system.writeModuleOptions(loopbackModuleOptions(label)))
        return E_ACCESSDENIED;
    return system.loadModule() == 0 ? S_OK : E_FAIL;
}

}  // namespace lumaghost
