// SPDX-License-Identifier: LGPL-2.1-or-later
// Reads a sequence file as the play service does and prints what it holds:
// read_sequence FILE.lgs. Exit code 0 when the file was accepted, 1 when it was refused.
#include <cstdio>

#include "media/sequence_file.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: lumaghost_read_sequence FILE.lgs\n");
        return 2;
    }
    std::vector<lumaghost::SequenceFrame> frames;
    if (!lumaghost::readSequenceFile(argv[1], frames)) {
        std::printf("%s: refused\n", argv[1]);
        return 1;
    }
    size_t pixelBytes = 0;
    for (const auto &f : frames)
        pixelBytes += f.pixels.size();
    std::printf("%s: %zu frames, %zu pixel bytes\n", argv[1], frames.size(), pixelBytes);
    return 0;
}
