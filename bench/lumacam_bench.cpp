// SPDX-License-Identifier: LGPL-2.1-or-later
// `lumacam run` in this process, its v4l2loopback writer on a stand-in node that takes each
// frame the way the driver's write does (a copy into a buffer of its own), so that the
// daemon's cost with a loopback output can be measured on a machine without the module.
//
//   lumaghost_lumacam_bench [--seconds N] [--no-pipewire]
//
// bench/lumacam_cpu.sh runs it with a producer and measures its CPU time.
#include <linux/videodev2.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "programs/lumacam/lumacam_daemon.h"

namespace {

using namespace lumaghost;

class CopyingNode final : public VideoNode {
public:
    int ioctl(unsigned long request, void *argument) override {
        if (request == VIDIOC_QUERYCAP) {
            auto *c = static_cast<v4l2_capability *>(argument);
            std::strcpy(reinterpret_cast<char *>(c->card), "Lumaghost");
            c->capabilities = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE | V4L2_CAP_DEVICE_CAPS;
            c->device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE;
            return 0;
        }
        if (request == VIDIOC_S_PARM)
            return 0;
        if (request == VIDIOC_S_FMT) {
            frame_.resize(static_cast<v4l2_format *>(argument)->fmt.pix.sizeimage);
            return 0;
        }
        errno = ENOTTY;
        return -1;
    }
    ssize_t write(const void *data, size_t size) override {
        const size_t n = std::min(size, frame_.size());
        std::memcpy(frame_.data(), data, n);
        ++frames_;
        return ssize_t(n);
    }
    ~CopyingNode() override {
        std::fprintf(stderr, "lumacam bench: %zu frames written\n", frames_);
    }

private:
    std::vector<uint8_t> frame_;
    size_t frames_ = 0;
};

}  // namespace

int main(int argc, char **argv) {
    DaemonOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            options.seconds = std::strtod(argv[++i], nullptr);
        } else if (arg == "--no-pipewire") {
            options.pipewire = false;
        } else {
            std::fprintf(stderr, "Usage: lumaghost_lumacam_bench [--seconds N] [--no-pipewire]\n");
            return 2;
        }
    }
    options.openLoopback = [](const std::string &) { return std::make_unique<CopyingNode>(); };
    return runDaemon(options);
}
