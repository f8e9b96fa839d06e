// SPDX-License-Identifier: LGPL-2.1-or-later
// Commits an upright binary PPM of the camera's size through the camera link, as a client does:
// fetch the descriptor, write the rows bottom first in blue-green-red order, commit.
// With --pattern W H FILE it writes a test picture instead: every row and column differs.
// With --store it keeps the picture as the camera's stored image, as Lumadesk does, and commits
// nothing; with --wait-for FILE it fills the frame it fetched only once FILE exists (a producer
// that is slow while the camera changes its size).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "camera/device_discovery.h"
#include "media/sequence_file.h"
#include "platform/registry.h"

int main(int argc, char **argv) {
    using namespace lumaghost;
    if (argc == 5 && std::string(argv[1]) == "--pattern") {
        int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
        std::ofstream out(argv[4], std::ios::binary);
        out << "P6\n" << w << " " << h << "\n255\n";
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                out.put(static_cast<char>((x * 7 + y) % 256));
                out.put(static_cast<char>((y * 3) % 256));
                out.put(static_cast<char>((x ^ y) % 256));
            }
        }
        return out ? 0 : 1;
    }
    bool store = false;
    std::string waitFor;
    if (argc == 3 && std::string(argv[1]) == "--store") {
        store = true;
        ++argv, --argc;
    } else if (argc == 4 && std::string(argv[1]) == "--wait-for") {
        waitFor = argv[2];
        argv += 2, argc -= 2;
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "Usage: lumaghost_commit_frame [--store | --wait-for FILE] PICTURE.ppm\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    std::vector<uint8_t> rgb((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    if (magic != "P6" || maxval != 255 || width <= 0 || height <= 0 ||
        rgb.size() != size_t(width) * height * 3) {
        std::fprintf(stderr, "%s is not a binary PPM\n", argv[1]);
        return 1;
    }

    CameraLink link;
    FrameDescriptor d;
    if (HResult r = openCameraLink(link); r.failed()) {
        std::fprintf(stderr, "Cannot open the camera: %s\n", r.toString().c_str());
        return 1;
    }
    if (HResult r = getFrameDescriptor(link, d); r.failed()) {
        std::fprintf(stderr, "Get Buffer ERROR! %s\n", r.toString().c_str());
        return 1;
    }
    if (d.width != width || d.height != height || d.byteCount != rgb.size()) {
        std::fprintf(stderr, "The camera is %dx%d, the picture %dx%d\n", d.width, d.height, width,
                     height);
        return 1;
    }
    if (store) {
        std::vector<uint8_t> frame(rgb.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    frame[(size_t(height - 1 - y) * width + x) * 3 + c] =
                        rgb[(size_t(y) * width + x) * 3 + 2 - c];
        RegistryHive machine = machineHive();
        const HResult r =
            registerLastImage(width, height, frame.data(), machine, findDriverKey(machine));
        if (r.failed())
            std::fprintf(stderr, "Cannot store the image: %s\n", r.toString().c_str());
        return r.failed() ? 1 : 0;
    }
    while (!waitFor.empty() && ::access(waitFor.c_str(), F_OK) != 0)
        ::usleep(10000);
    uint8_t *out = d.buffer();
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = rgb.data() + size_t(height - 1 - y) * width * 3;
        for (int x = 0; x < width; ++x, out += 3) {
            out[0] = row[3 * x + 2];
            out[1] = row[3 * x + 1];
            out[2] = row[3 * x + 0];
        }
    }
    if (HResult r = commitFrame(link, d); r.failed()) {
        std::fprintf(stderr, "Commit failed: %s\n", r.toString().c_str());
        return 1;
    }
    return 0;
}
