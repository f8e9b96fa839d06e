// SPDX-License-Identifier: LGPL-2.1-or-later
#include "setup/loopback_setup.h"

#include <fcntl.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/paths.h"
#include "platform/posix_file.h"
#include "platform/video_nodes.h"

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
constexpr unsigned long kLoopbackControlRemove = 0x4C81;
constexpr char kModuleOptionsFile[] = "/etc/modprobe.d/lumaghost-v4l2loopback.conf";

class RealLoopbackSystem final : public LoopbackSystem {
public:
    std::vector<std::string> outputCardLabels() override {
        std::vector<std::string> labels;
        for (VideoNodeInfo &node : listVideoNodes(machinePath("/dev")))
            labels.push_back(std::move(node.card));
        return labels;
    }

    std::string cardLabel(int number) override {
        VideoNodeInfo node;
        return queryVideoNode(machinePath("/dev/video" + std::to_string(number)), node) ? node.card
                                                                                        : "";
    }

    bool controlDeviceExists() override { return ::access(controlDevice().c_str(), F_OK) == 0; }

    int addDevice(const std::string &label, bool exclusiveCaps) override {
        UniqueFd fd(::open(controlDevice().c_str(), O_RDWR | O_CLOEXEC));
        if (!fd)
            return -errno;
        LoopbackConfig config{};
        config.outputNumber = -1;
        config.unused = -1;
        std::strncpy(config.cardLabel, label.c_str(), sizeof(config.cardLabel) - 1);
        static_assert(sizeof(config.cardLabel) - 1 == kLoopbackCardLabelLength);
        config.announceAllCaps = exclusiveCaps ? 0 : 1;
        const int r = ioctlRetry(fd.get(), kLoopbackControlAdd, &config);
        return r < 0 ? -errno : r;
    }

    int removeDevice(int number) override {
        UniqueFd fd(::open(controlDevice().c_str(), O_RDWR | O_CLOEXEC));
        if (!fd)
            return -errno;
        // The control device takes the node's number itself, not a pointer to it.
        const int r = ioctlRetry(fd.get(), kLoopbackControlRemove,
                                 reinterpret_cast<void *>(static_cast<uintptr_t>(number)));
        return r < 0 ? -errno : 0;
    }

    bool moduleInstalled() override {
        utsname u;
        if (uname(&u) != 0)
            return false;
        std::error_code ec;
        for (auto it =
                 fs::recursive_directory_iterator(machinePath("/lib/modules") / u.release, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().rfind("v4l2loopback.ko", 0) == 0)
                return true;
        }
        return false;
    }

    std::string moduleOptions() override {
        std::string text;
        return readWholeFile(machinePath(kModuleOptionsFile), text, 1u << 20) == 0 ? text : "";
    }

    bool writeModuleOptions(const std::string &text) override {
        const fs::path file = machinePath(kModuleOptionsFile);
        std::error_code ec;
        if (text.empty())
            return fs::remove(file, ec) || !ec;
        fs::create_directories(file.parent_path(), ec);
        return replaceFileAtomically(file, text, 0644) == 0;
    }

    int loadModule() override {
        if (!lumaghostRoot().empty())
            return -1;  // a root of our own has no kernel to load a module into
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

private:
    static fs::path controlDevice() { return machinePath("/dev/v4l2loopback"); }
};

}  // namespace

LoopbackSystem &systemLoopback() {
    static RealLoopbackSystem system;
    return system;
}

namespace {

// The options line written for a camera name.
std::string optionsLine(const std::string &label) {
    // modprobe takes a quoted value; the label's own quotes cannot be carried and are dropped.
    std::string safe;
    for (char c : label) {
        if (c != '"' && c != '\n' && c != '\\')
            safe.push_back(c);
    }
    return "options v4l2loopback card_label=\"" + safe + "\" exclusive_caps=1";
}

}  // namespace

std::string loopbackModuleOptions(const std::string &label) {
    return "# Written by lumasetup: the loopback node of the Lumaghost camera.\n" +
           optionsLine(label) + "\n";
}

HResult prepareLoopback(LoopbackSystem &system, const std::string &label, int *addedNode) {
    if (addedNode)
        *addedNode = -1;
    // A node carries as much of the name as its card label holds.
    const std::string card = label.substr(0, kLoopbackCardLabelLength);
    const auto labels = system.outputCardLabels();
    if (std::find(labels.begin(), labels.end(), card) != labels.end())
        return S_OK;
    if (system.controlDeviceExists()) {
        const int r = system.addDevice(label, true);
        if (r < 0)
            return hresultFromWin32(ERROR_ACCESS_DENIED);
        if (addedNode)
            *addedNode = r;
        return S_OK;
    }
    if (!system.moduleInstalled())
        return S_FALSE;
    if (!system.writeModuleOptions(loopbackModuleOptions(label)))
        return E_ACCESSDENIED;
    return system.loadModule() == 0 ? S_OK : E_FAIL;
}

HResult removeLoopback(LoopbackSystem &system, const std::string &label, int addedNode) {
    HResult result = S_FALSE;
    // A node with another label under the same number is not ours any more.
    if (addedNode >= 0 && system.controlDeviceExists() &&
        system.cardLabel(addedNode) == label.substr(0, kLoopbackCardLabelLength))
        result = system.removeDevice(addedNode) == 0 ? S_OK : E_FAIL;

    const std::string options = system.moduleOptions();
    const std::string ours = optionsLine(label);
    std::string kept;
    bool found = false, othersLeft = false;
    for (size_t pos = 0; pos < options.size();) {
        size_t end = options.find('\n', pos);
        if (end == std::string::npos)
            end = options.size();
        const std::string_view line(options.data() + pos, end - pos);
        if (line == ours) {
            found = true;
        } else {
            kept.append(line);
            kept.push_back('\n');
            if (!line.empty() && line.front() != '#')
                othersLeft = true;
        }
        pos = end + 1;
    }
    if (found) {
        if (!system.writeModuleOptions(othersLeft ? kept : std::string()))
            return E_ACCESSDENIED;
        if (result == S_FALSE)
            result = S_OK;
    }
    return result;
}

}  // namespace lumaghost
