// SPDX-License-Identifier: LGPL-2.1-or-later
// Records what a camera is shown: waits for COUNT commits and writes each frame as it was
// committed (bottom row first, blue, green, red) to DIR/frame-N.bgr, printing one line
// "N MICROSECONDS" per frame, the time on the monotonic clock when the commit woke it.
// Usage: lumaghost_camera_commits COUNT TIMEOUT_MS DIR [CAMERA]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "camera/camera_reader.h"

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "Usage: lumaghost_camera_commits COUNT TIMEOUT_MS DIR [CAMERA]\n");
        return 2;
    }
    using namespace lumaghost;
    const long count = std::strtol(argv[1], nullptr, 10);
    const int timeoutMs = std::atoi(argv[2]);
    const std::filesystem::path dir = argv[3];
    std::unique_ptr<CameraReader> camera;
    if (CameraReader::open(argc > 4 ? argv[4] : kCameraName, camera).failed()) {
        std::fprintf(stderr, "lumaghost_camera_commits: No camera to read\n");
        return 1;
    }
    std::filesystem::create_directories(dir);
    // Ready: the caller may now make the commits this waits for.
    std::printf("ready\n");
    std::fflush(stdout);
    uint64_t seen = camera->commitSequence();
    std::vector<uint8_t> frame;
    for (long n = 0; n < count; ++n) {
        const uint64_t now = camera->waitForCommit(seen, timeoutMs);
        const auto at = std::chrono::steady_clock::now().time_since_epoch();
        if (now == seen || !camera->readLatest(frame, &seen)) {
            std::fprintf(stderr, "lumaghost_camera_commits: No frame within %d ms (%ld of %ld)\n",
                         timeoutMs, n, count);
            return 1;
        }
        std::ofstream(dir / ("frame-" + std::to_string(n) + ".bgr"), std::ios::binary)
            .write(reinterpret_cast<const char *>(frame.data()), std::streamsize(frame.size()));
        std::printf("%ld %lld\n", n,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::microseconds>(at).count()));
        std::fflush(stdout);
    }
    return 0;
}
