// SPDX-License-Identifier: LGPL-2.1-or-later
// Writes a sequence file of solid frames: write_sequence OUT.lgs WIDTH HEIGHT TIME:VALUE...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/sequence_file.h"

int main(int argc, char **argv) {
    if (argc < 5) {
        std::fprintf(stderr,
                     "Usage: lumaghost_write_sequence OUT.lgs WIDTH HEIGHT TIME:VALUE...\n");
        return 2;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    std::vector<std::vector<uint8_t>> pixels;
    std::vector<lumaghost::SequenceItem> items;
    pixels.reserve(size_t(argc));
    for (int i = 4; i < argc; ++i) {
        const std::string spec = argv[i];
        const size_t colon = spec.find(':');
        pixels.emplace_back(size_t(w) * h * 3, uint8_t(std::atoi(spec.substr(colon + 1).c_str())));
        items.push_back(
            {w, h, pixels.back().data(), uint32_t(std::strtoul(spec.c_str(), nullptr, 10))});
    }
    return lumaghost::writeSequenceFile(argv[1], items).succeeded() ? 0 : 1;
}
