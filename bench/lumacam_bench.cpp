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

// A loopback node's output side: two mapped buffers, each frame queued into one.
class StreamingNode final : public V4l2Device {
public:
    int ioctl(unsigned long request, void *argument) override {
        switch (request) {
            case VIDIOC_QUERYCAP: {
                auto *c = static_cast<v4l2_capability *>(argument);
                std::strcpy(reinterpret_cast<char *>(c->driver), kLoopbackDriver);
                std::strcpy(reinterpret_cast<char *>(c->card), "Lumaghost");
                c->device_caps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
                c->capabilities = c->device_caps | V4L2_CAP_DEVICE_CAPS;
                return 0;
            }
            case VIDIOC_S_PARM:
            case VIDIOC_STREAMON:
            case VIDIOC_STREAMOFF:
                return 0;
            case VIDIOC_S_FMT:
                for (auto &b : buffers_)
                    b.resize(static_cast<v4l2_format *>(argument)->fmt.pix.sizeimage);
                return 0;
            case VIDIOC_REQBUFS:
                static_cast<v4l2_requestbuffers *>(argument)->count = 2;
                return 0;
            case VIDIOC_QUERYBUF: {
                auto *b = static_cast<v4l2_buffer *>(argument);
                b->length = uint32_t(buffers_[b->index % 2].size());
                b->m.offset = b->index % 2;
                return 0;
            }
            case VIDIOC_QBUF:
                ++frames_;
                return 0;
            case VIDIOC_DQBUF:
                static_cast<v4l2_buffer *>(argument)->index = uint32_t(frames_ % 2);
                return 0;
            default:
                return ENOTTY;
        }
    }
    int write(const void *, size_t, size_t &) override { return EINVAL; }
    int map(size_t, uint32_t offset, void *&address) override {
        address = buffers_[offset % 2].data();
        return 0;
    }
    void unmap(void *, size_t) override {}
    ~StreamingNode() override {
        std::fprintf(stderr, "lumacam bench: %zu frames queued\n", frames_);
    }

private:
    std::vector<uint8_t> buffers_[2];
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
    options.openLoopback = [](const std::string &) { return std::make_unique<StreamingNode>(); };
    return runDaemon(options);
}
