// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequence files written by hand, without the code under test, for the sequence tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumaghost::test {

/// One record of a file written by hand: its size, display time and pixel block.
struct Record {
    int width;
    int height;
    uint32_t time;
    std::vector<uint8_t> pixels;  // width × height × 3, bottom row first
};

/// Record `index` of a test file: every byte its own, so that a record misplaced, cut or taken
/// for another shows.
inline Record patterned(int width, int height, uint32_t time, int index) {
    Record record{width, height, time, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (size_t k = 0; k < record.pixels.size(); ++k)
        record.pixels[k] = uint8_t(k * 7 + size_t(index) * 31 + k / 251);
    return record;
}

/// A sequence file's bytes, made without the code under test.
inline std::string sequenceBytes(const std::vector<Record> &records) {
    std::string out = "QmSq";
    auto i32 = [&](uint32_t v) {
        for (int b = 0; b < 4; ++b)
            out.push_back(char(v >> (8 * b)));
    };
    uint32_t total = 12;
    for (const Record &record : records)
        total += 20 + uint32_t(record.pixels.size());
    i32(uint32_t(records.size()));
    i32(total);
    for (const Record &record : records) {
        out += "QmLg";
        i32(uint32_t(record.width));
        i32(uint32_t(record.height));
        i32(20 + uint32_t(record.pixels.size()));
        i32(record.time);
        out.append(record.pixels.begin(), record.pixels.end());
    }
    return out;
}

}  // namespace lumaghost::test
