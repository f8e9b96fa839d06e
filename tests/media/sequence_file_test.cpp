// SPDX-License-Identifier: LGPL-2.1-or-later
#include "media/sequence_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <future>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;

std::vector<uint8_t> le32(int32_t v) {
    auto u = static_cast<uint32_t>(v);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

// Builds sequence bytes field by field, so tests can break any of them.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes &text(const char *s) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(s[i]));
        return *this;
    }
    Bytes &i32(int32_t v) {
        auto e = le32(v);
        b.insert(b.end(), e.begin(), e.end());
        return *this;
    }
    Bytes &fill(size_t n, uint8_t v) {
        b.insert(b.end(), n, v);
        return *this;
    }
    Bytes &record(const char *magic, int32_t w, int32_t h, uint32_t time, uint8_t v) {
        return text(magic)
            .i32(w)
            .i32(h)
            .i32(w * h * 3 + 20)
            .i32(int32_t(time))
            .fill(size_t(w) * h * 3, v);
    }
};

Bytes validSequence(int count, int w = 1, int h = 1) {
    Bytes s;
    s.text("QmSq").i32(count).i32(12 + count * (w * h * 3 + 20));
    for (int i = 0; i < count; ++i)
        s.record("QmLg", w, h, 1000u * (i + 1), uint8_t(i + 1));
    return s;
}

bool parses(const Bytes &s, std::vector<SequenceFrame> *out = nullptr) {
    std::vector<SequenceFrame> frames;
    bool ok = parseSequence(s.b.data(), s.b.size(), frames);
    if (out)
        *out = frames;
    return ok;
}

TEST(SequenceFileTest, WritesTheLayoutItemByItem) {
    TempRoot root;
    const uint8_t a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, b[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    // Three 1 x 1 records make 81 bytes; the first item's size goes into every header.
    std::vector<SequenceItem> items = {{1, 1, a, 1000}, {1, 1, b, 250}, {1, 1, a, 7}};
    auto file = root.path() / "s.lgs";
    ASSERT_TRUE(writeSequenceFile(file, items).succeeded());
    std::string bytes = test::readFile(file);
    ASSERT_EQ(bytes.size(), 81u);
    Bytes expected;
    expected.text("QmSq").i32(3).i32(81);
    expected.text("QmLg").i32(1).i32(1).i32(23).i32(1000).fill(0, 0);
    expected.b.insert(expected.b.end(), a, a + 3);
    expected.text("QmLg").i32(1).i32(1).i32(23).i32(250);
    expected.b.insert(expected.b.end(), b, b + 3);
    expected.text("QmLg").i32(1).i32(1).i32(23).i32(7);
    expected.b.insert(expected.b.end(), a, a + 3);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected.b);

    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(readSequenceFile(file, frames));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].displayTime(), 250u);
    EXPECT_EQ(frames[1].pixels, (std::vector<uint8_t>{9, 9, 9}));
}

// A width of 3 makes rows of 9 bytes, not padded to 12.
TEST(SequenceFileTest, RowsAreNotPadded) {
    TempRoot root;
    std::vector<uint8_t> px(3 * 2 * 3);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t(i);
    auto file = root.path() / "odd.lgs";
    ASSERT_TRUE(writeSequenceFile(file, {{3, 2, px.data(), 1000}}).succeeded());
    EXPECT_EQ(test::readFile(file).size(), 12u + 20 + 18);
    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(readSequenceFile(file, frames));
    EXPECT_EQ(frames[0].pixels, px);
    EXPECT_EQ(frames[0].header.recordSize, 38);
}

// Bytes placed at the very end of a readable page, right before one that cannot be touched:
// reading a byte past them faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<uint8_t> &bytes) {
        const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        length_ = (bytes.size() + page - 1) / page * page + page;
        base_ = static_cast<uint8_t *>(
            ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        EXPECT_NE(base_, MAP_FAILED);
        EXPECT_EQ(::mprotect(base_ + length_ - page, page, PROT_NONE), 0);
        data_ = base_ + length_ - page - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { ::munmap(base_, length_); }
    GuardedBytes(const GuardedBytes &) = delete;
    GuardedBytes &operator=(const GuardedBytes &) = delete;
    const uint8_t *data() const { return data_; }

private:
    uint8_t *base_ = nullptr;
    uint8_t *data_ = nullptr;
    size_t length_ = 0;
};

// Bottom-up pixels whose bytes tell their item, row and column apart.
std::vector<uint8_t> numberedPixels(int w, int h, uint8_t item) {
    std::vector<uint8_t> px;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            px.insert(px.end(), {item, uint8_t(r), uint8_t(c)});
    return px;
}

// Every record takes the first item's size; each is made of its own item's pixels, placed with
// the item's top-left corner at the frame's and black beyond, and no item is read past its own
// pixel block (the smaller ones end right before an unreadable page).
TEST(SequenceFileTest, ItemsOfOtherSizesAreWrittenFromTheirOwnPixels) {
    TempRoot root;
    const std::vector<uint8_t> first = numberedPixels(3, 2, 1), narrow = numberedPixels(2, 1, 2),
                               large = numberedPixels(4, 3, 3), tall = numberedPixels(1, 3, 4);
    GuardedBytes guardedFirst(first), guardedNarrow(narrow), guardedLarge(large), guardedTall(tall);
    const std::vector<SequenceItem> items = {{3, 2, guardedFirst.data(), 1000},
                                             {2, 1, guardedNarrow.data(), 2000},
                                             {4, 3, guardedLarge.data(), 3000},
                                             {1, 3, guardedTall.data(), 4000}};
    auto file = root.path() / "mixed.lgs";
    ASSERT_TRUE(writeSequenceFile(file, items).succeeded());

    // Expected blocks, 3 x 2, bottom row first; (item, row, column) name a source pixel.
    auto pixel = [](uint8_t item, int row, int column) {
        return std::vector<uint8_t>{item, uint8_t(row), uint8_t(column)};
    };
    const std::vector<uint8_t> black(3, 0);
    auto block = [](std::vector<std::vector<uint8_t>> pixels) {
        std::vector<uint8_t> out;
        for (const auto &p : pixels)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // The 2 x 1 item is the top row's left part; the bottom row is black.
    const std::vector<uint8_t> narrowBlock =
        block({black, black, black, pixel(2, 0, 0), pixel(2, 0, 1), black});
    // The 4 x 3 item shows its top two rows (1 and 2) and its left three columns.
    const std::vector<uint8_t> largeBlock = block({pixel(3, 1, 0), pixel(3, 1, 1), pixel(3, 1, 2),
                                                   pixel(3, 2, 0), pixel(3, 2, 1), pixel(3, 2, 2)});
    // The 1 x 3 item shows its top two rows in the first column.
    const std::vector<uint8_t> tallBlock =
        block({pixel(4, 1, 0), black, black, pixel(4, 2, 0), black, black});

    Bytes expected;
    expected.text("QmSq").i32(4).i32(12 + 4 * 38);
    expected.text("QmLg").i32(3).i32(2).i32(38).i32(1000);
    expected.b.insert(expected.b.end(), first.begin(), first.end());
    expected.text("QmLg").i32(3).i32(2).i32(38).i32(2000);
    expected.b.insert(expected.b.end(), narrowBlock.begin(), narrowBlock.end());
    expected.text("QmLg").i32(3).i32(2).i32(38).i32(3000);
    expected.b.insert(expected.b.end(), largeBlock.begin(), largeBlock.end());
    expected.text("QmLg").i32(3).i32(2).i32(38).i32(4000);
    expected.b.insert(expected.b.end(), tallBlock.begin(), tallBlock.end());
    std::string bytes = test::readFile(file);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected.b);

    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(readSequenceFile(file, frames));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1].pixels, narrowBlock);
    EXPECT_EQ(frames[3].displayTime(), 4000u);

    // A later item without pixels is a black frame.
    ASSERT_TRUE(writeSequenceFile(file, {{3, 2, guardedFirst.data(), 1000}, {0, 0, nullptr, 5000}})
                    .succeeded());
    Bytes withEmpty;
    withEmpty.text("QmSq").i32(2).i32(12 + 2 * 38);
    withEmpty.text("QmLg").i32(3).i32(2).i32(38).i32(1000);
    withEmpty.b.insert(withEmpty.b.end(), first.begin(), first.end());
    withEmpty.text("QmLg").i32(3).i32(2).i32(38).i32(5000).fill(18, 0);
    bytes = test::readFile(file);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), withEmpty.b);
}

// What the writer cannot write as a file its readers take is refused, and nothing is created.
TEST(SequenceFileTest, WriterRefusesItemsItCannotStore) {
    TempRoot root;
    const uint8_t px[3] = {1, 2, 3};
    auto file = root.path() / "refused.lgs";
    EXPECT_EQ(writeSequenceFile(file, {{0, 0, nullptr, 1000}, {1, 1, px, 1000}}), E_INVALIDARG);
    EXPECT_EQ(writeSequenceFile(file, {{1, 1, px, 1000}, {-1, 1, px, 1000}}), E_INVALIDARG);
    EXPECT_EQ(writeSequenceFile(file, {{1, 1, px, 1000}, {1, 1, nullptr, 1000}}), E_POINTER);
    EXPECT_EQ(writeSequenceFile(file, {{40000, 40000, px, 1000}}), E_INVALIDARG);
    EXPECT_FALSE(std::filesystem::exists(file));

    std::vector<SequenceItem> many(size_t(kMaxSequenceImages) + 1, SequenceItem{1, 1, px, 1000});
    EXPECT_EQ(writeSequenceFile(file, many), E_INVALIDARG);
    many.pop_back();
    ASSERT_TRUE(writeSequenceFile(file, many).succeeded());
    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(readSequenceFile(file, frames));
    EXPECT_EQ(frames.size(), size_t(kMaxSequenceImages));
}

TEST(SequenceFileTest, EmptySequenceIsWrittenButNeverRead) {
    TempRoot root;
    auto file = root.path() / "empty.lgs";
    ASSERT_TRUE(writeSequenceFile(file, {}).succeeded());
    EXPECT_EQ(test::readFile(file), std::string("QmSq\0\0\0\0\x0c\0\0\0", 12));
    std::vector<SequenceFrame> frames;
    EXPECT_FALSE(readSequenceFile(file, frames));
}

class CountingReporter : public ReadErrorReporter {
public:
    int reports = 0;
    void reportReadFileError() override { ++reports; }
};

struct Rejected {
    const char *what;
    Bytes bytes;
};

// Every malformed file is rejected before anything is allocated for it.
TEST(SequenceFileTest, MalformedFilesAreRejected) {
    std::vector<Rejected> cases;
    cases.push_back({"byte-swapped magic", [] {
                         Bytes s = validSequence(2);
                         std::memcpy(s.b.data(), "qSmQ", 4);
                         return s;
                     }()});
    cases.push_back({"byte-swapped record magic", [] {
                         Bytes s = validSequence(2);
                         std::memcpy(s.b.data() + 12, "gLmQ", 4);
                         return s;
                     }()});
    cases.push_back({"one byte longer", [] {
                         Bytes s = validSequence(2);
                         s.b.push_back(0);
                         return s;
                     }()});
    cases.push_back({"one byte shorter", [] {
                         Bytes s = validSequence(2);
                         s.b.pop_back();
                         return s;
                     }()});
    cases.push_back({"count 0", [] {
                         Bytes s;
                         s.text("QmSq").i32(0).i32(12);
                         return s;
                     }()});
    cases.push_back({"negative count", [] {
                         Bytes s;
                         s.text("QmSq").i32(-1).i32(-8).record("QmLg", 1, 1, 0, 0);
                         return s;
                     }()});
    cases.push_back({"total not count x record + 12", [] {
                         Bytes s;
                         s.text("QmSq")
                             .i32(2)
                             .i32(12 + 23 + 26)
                             .record("QmLg", 1, 1, 0, 0)
                             .record("QmLg", 1, 2, 0, 0)
                             .fill(0, 0);
                         return s;
                     }()});
    cases.push_back({"header only", [] {
                         Bytes s;
                         s.text("QmSq").i32(1).i32(12);
                         return s;
                     }()});
    cases.push_back({"too short for a header", [] {
                         Bytes s;
                         s.text("QmSq").i32(1);
                         return s;
                     }()});
    // A later record claiming more pixels than the file holds.
    cases.push_back({"later record beyond the file", [] {
                         Bytes s;
                         s.text("QmSq").i32(2).i32(12 + 2 * 23).record("QmLg", 1, 1, 0, 0);
                         s.text("QmLg").i32(10000).i32(10000).i32(23).i32(0).fill(3, 0);
                         return s;
                     }()});
    // Sizes that overflow 32 bits, or are negative.
    cases.push_back({"negative width", [] {
                         Bytes s;
                         s.text("QmSq").i32(2).i32(12 + 2 * 23).record("QmLg", 1, 1, 0, 0);
                         s.text("QmLg").i32(-1).i32(1).i32(23).i32(0).fill(3, 0);
                         return s;
                     }()});
    cases.push_back({"overflowing size", [] {
                         Bytes s;
                         s.text("QmSq").i32(2).i32(12 + 2 * 23).record("QmLg", 1, 1, 0, 0);
                         s.text("QmLg").i32(0x7FFFFFFF).i32(0x7FFFFFFF).i32(23).i32(0).fill(3, 0);
                         return s;
                     }()});
    cases.push_back(
        {"first record larger than the file", [] {
             Bytes s;
             s.text("QmSq").i32(1).i32(12 + 23).text("QmLg").i32(100).i32(100).i32(23).i32(0).fill(
                 3, 0);
             return s;
         }()});

    // Records without a picture: the first one, or zeros after a valid first record.
    cases.push_back({"records 0 x 0", [] {
                         Bytes s;
                         s.text("QmSq").i32(3).i32(12 + 3 * 20);
                         for (int i = 0; i < 3; ++i)
                             s.text("QmLg").i32(0).i32(0).i32(20).i32(0);
                         return s;
                     }()});
    cases.push_back({"first record 0 wide", [] {
                         Bytes s;
                         s.text("QmSq").i32(1).i32(12 + 20).text("QmLg").i32(0).i32(5).i32(20).i32(
                             0);
                         return s;
                     }()});
    cases.push_back({"zeros after the first record", [] {
                         Bytes s;
                         s.text("QmSq").i32(40).i32(12 + 40 * 23).record("QmLg", 1, 1, 0, 7);
                         s.fill(39 * 23, 0);
                         return s;
                     }()});
    cases.push_back({"later record 0 high", [] {
                         Bytes s = validSequence(3);
                         s.b[12 + 23 + 8] = 0;
                         return s;
                     }()});
    cases.push_back({"more images than a sequence holds",
                     [] { return validSequence(kMaxSequenceImages + 1); }()});

    TempRoot root;
    const auto file = root.path() / "rejected.lgs";
    for (const auto &c : cases) {
        std::vector<SequenceFrame> frames(1);
        frames[0].header.width = 42;
        EXPECT_FALSE(parseSequence(c.bytes.b.data(), c.bytes.b.size(), frames)) << c.what;
        ASSERT_EQ(frames.size(), 1u) << c.what << ": the current sequence must stay";
        EXPECT_EQ(frames[0].header.width, 42) << c.what;
        // The reader that leaves the pixels in the file refuses the same files.
        test::writeFile(file, std::string(c.bytes.b.begin(), c.bytes.b.end()));
        std::vector<SequenceRecord> records(1);
        CountingReporter reporter;
        EXPECT_FALSE(readSequenceRecords(file, records, &reporter)) << c.what;
        EXPECT_EQ(reporter.reports, 1) << c.what;
        EXPECT_EQ(records.size(), 1u) << c.what;
    }
}

// Records after the first are read as they come: a wrong magic or record size is accepted.
TEST(SequenceFileTest, LaterRecordsAreNotCheckedAgain) {
    Bytes s = validSequence(3);
    std::memcpy(s.b.data() + 12 + 23, "XXXX", 4);
    s.b[12 + 23 + 12] = 99;  // record size
    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(parses(s, &frames));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(std::memcmp(frames[1].header.magic, "XXXX", 4), 0);
    EXPECT_EQ(frames[2].pixels, (std::vector<uint8_t>{3, 3, 3}));
}

// The largest sequence is read whole.
TEST(SequenceFileTest, TheLargestSequenceIsRead) {
    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(parses(validSequence(kMaxSequenceImages), &frames));
    ASSERT_EQ(frames.size(), size_t(kMaxSequenceImages));
    EXPECT_EQ(frames.back().pixels, (std::vector<uint8_t>(3, uint8_t(kMaxSequenceImages))));
}

// The desktop hears of a bad file, not of a missing one; the sequence changes only on success.
TEST(SequenceFileTest, ReaderReportsBadFilesOnly) {
    TempRoot root;
    CountingReporter reporter;
    std::vector<SequenceFrame> frames(2);
    EXPECT_FALSE(readSequenceFile(root.path() / "missing.lgs", frames, &reporter));
    EXPECT_EQ(reporter.reports, 0);

    Bytes bad = validSequence(1);
    bad.b.push_back(0);
    test::writeFile(root.path() / "bad.lgs", std::string(bad.b.begin(), bad.b.end()));
    EXPECT_FALSE(readSequenceFile(root.path() / "bad.lgs", frames, &reporter));
    EXPECT_EQ(reporter.reports, 1);
    EXPECT_EQ(frames.size(), 2u);

    Bytes good = validSequence(4, 2, 3);
    test::writeFile(root.path() / "good.lgs", std::string(good.b.begin(), good.b.end()));
    EXPECT_TRUE(readSequenceFile(root.path() / "good.lgs", frames, &reporter));
    EXPECT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[3].pixels.size(), 18u);
}

// A FIFO, a device or a directory cannot be opened: the read fails at once, without a report
// and without waiting for a writer.
TEST(SequenceFileTest, OnlyRegularFilesAreOpened) {
    TempRoot root;
    const auto fifo = root.path() / "pipe.lgs";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CountingReporter reporter;
    std::vector<SequenceFrame> frames(2);
    auto reading = std::async(std::launch::async, [&] {
        std::vector<SequenceFrame> read;
        return readSequenceFile(fifo, read, &reporter);
    });
    if (reading.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // A writer that comes and goes frees the blocked reader.
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "Reading a FIFO waited for a writer";
    }
    EXPECT_FALSE(reading.get());
    EXPECT_FALSE(readSequenceFile("/dev/zero", frames, &reporter));
    EXPECT_FALSE(readSequenceFile(root.path(), frames, &reporter));
    EXPECT_EQ(reporter.reports, 0);
    EXPECT_EQ(frames.size(), 2u);

    // Nor is anything but a regular file written to.
    const uint8_t px[3] = {1, 2, 3};
    auto writing = std::async(std::launch::async, [&] {
        return writeSequenceFile(fifo, {{1, 1, px, 1000}});
    });
    if (writing.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ADD_FAILURE() << "Writing a FIFO waited for a reader";
        writing.wait();
        ::close(fd);
    }
    EXPECT_TRUE(writing.get().failed());
    EXPECT_TRUE(writeSequenceFile("/dev/null", {{1, 1, px, 1000}}).failed());
}

std::string bytesOf(const Bytes &s) {
    return std::string(s.b.begin(), s.b.end());
}

// The records reader gives the headers the frame reader gives and leaves every pixel block in
// the file, read on demand, whole or in part, never beyond the block; the blocks still read
// after the file was renamed over or removed. Catches a reader that reads pixels at open, or
// one whose blocks lie a header off.
TEST(SequenceFileTest, RecordsLeaveTheirPixelsInTheFile) {
    TempRoot root;
    Bytes s;
    s.text("QmSq").i32(3).i32(12 + 3 * 38);
    for (uint8_t item = 1; item <= 3; ++item) {
        const std::vector<uint8_t> px = numberedPixels(3, 2, item);
        s.text("QmLg").i32(3).i32(2).i32(38).i32(1000 * item);
        s.b.insert(s.b.end(), px.begin(), px.end());
    }
    const auto file = root.path() / "records.lgs";
    test::writeFile(file, bytesOf(s));
    std::vector<SequenceFrame> frames;
    ASSERT_TRUE(readSequenceFile(file, frames));
    std::vector<SequenceRecord> records;
    ASSERT_TRUE(readSequenceRecords(file, records));
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&records[i].header, &frames[i].header, sizeof(ImageRecordHeader)), 0);
        ASSERT_TRUE(records[i].pixels);
        EXPECT_FALSE(records[i].pixels->inMemory());
        EXPECT_EQ(records[i].pixels->data(), nullptr);
        std::vector<uint8_t> pixels;
        ASSERT_TRUE(records[i].pixels->readAll(pixels));
        EXPECT_EQ(pixels, frames[i].pixels) << i;
    }
    uint8_t part[4] = {};
    ASSERT_TRUE(records[1].pixels->read(14, part, 4));
    EXPECT_EQ(std::vector<uint8_t>(part, part + 4),
              std::vector<uint8_t>(frames[1].pixels.begin() + 14, frames[1].pixels.end()));
    EXPECT_FALSE(records[1].pixels->read(15, part, 4));
    EXPECT_FALSE(records[1].pixels->read(19, part, 0));

    test::writeFile(root.path() / "other.lgs", bytesOf(validSequence(1)));
    std::filesystem::rename(root.path() / "other.lgs", file);
    std::filesystem::remove(file);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(records[2].pixels->readAll(pixels));
    EXPECT_EQ(pixels, frames[2].pixels);
}

// Items whose pixels are read from a file's records, reordered, cut, mixed with pixels in
// memory and of other sizes, are written as the same items from memory are: byte for byte.
// Written over the file they are read from, that file is replaced, keeping its mode and what a
// link to it names, and nothing is left beside it. Catches a writer that truncates the file it
// still reads from.
TEST(SequenceFileTest, ItemsReadFromTheirFileAreWrittenByteExact) {
    TempRoot root;
    Bytes s;
    s.text("QmSq").i32(4).i32(12 + 4 * 38);
    std::vector<std::vector<uint8_t>> px;
    for (uint8_t item = 1; item <= 4; ++item) {
        px.push_back(numberedPixels(3, 2, item));
        s.text("QmLg").i32(3).i32(2).i32(38).i32(1000 * item);
        s.b.insert(s.b.end(), px.back().begin(), px.back().end());
    }
    const auto file = root.path() / "source.lgs";
    test::writeFile(file, bytesOf(s));
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    std::vector<SequenceRecord> records;
    ASSERT_TRUE(readSequenceRecords(file, records));
    const std::vector<uint8_t> large = numberedPixels(4, 3, 9);
    Bytes largeFile;
    largeFile.text("QmSq").i32(1).i32(12 + 56).text("QmLg").i32(4).i32(3).i32(56).i32(7);
    largeFile.b.insert(largeFile.b.end(), large.begin(), large.end());
    test::writeFile(root.path() / "large.lgs", bytesOf(largeFile));
    std::vector<SequenceRecord> largeRecords;
    ASSERT_TRUE(readSequenceRecords(root.path() / "large.lgs", largeRecords));

    // The fourth, the second at 2500 ms, an item in memory, the 4 x 3 one, the first.
    const std::vector<uint8_t> memory = numberedPixels(3, 2, 5);
    const std::vector<SequenceItem> fromFiles = {{3, 2, nullptr, 4000, records[3].pixels.get()},
                                                 {3, 2, nullptr, 2500, records[1].pixels.get()},
                                                 {3, 2, memory.data(), 1000},
                                                 {4, 3, nullptr, 7, largeRecords[0].pixels.get()},
                                                 {3, 2, nullptr, 1000, records[0].pixels.get()}};
    const std::vector<SequenceItem> fromMemory = {{3, 2, px[3].data(), 4000},
                                                  {3, 2, px[1].data(), 2500},
                                                  {3, 2, memory.data(), 1000},
                                                  {4, 3, large.data(), 7},
                                                  {3, 2, px[0].data(), 1000}};
    const auto expectedFile = root.path() / "expected.lgs";
    ASSERT_TRUE(writeSequenceFile(expectedFile, fromMemory).succeeded());
    const std::string expected = test::readFile(expectedFile);
    ASSERT_EQ(expected.size(), 12u + 5 * 38);

    const auto copy = root.path() / "copy.lgs";
    ASSERT_TRUE(writeSequenceFile(copy, fromFiles).succeeded());
    EXPECT_EQ(test::readFile(copy), expected);

    const auto link = root.path() / "link.lgs";
    std::filesystem::create_symlink(file, link);
    ASSERT_TRUE(writeSequenceFile(link, fromFiles).succeeded());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(file), expected);
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0640));
    // Again over the file itself: the records still read the file they were opened from.
    ASSERT_TRUE(writeSequenceFile(file, fromFiles).succeeded());
    EXPECT_EQ(test::readFile(file), expected);
    for (const auto &entry : std::filesystem::directory_iterator(root.path()))
        EXPECT_EQ(entry.path().filename().string().find("source.lgs."), std::string::npos)
            << entry.path();
}

// A source that no longer holds its pixels (its file cut short meanwhile) fails the write
// rather than writing black; a source smaller than its item is refused before anything is
// written.
TEST(SequenceFileTest, UnreadableSourcesFailTheWrite) {
    TempRoot root;
    const auto file = root.path() / "cut.lgs";
    test::writeFile(file, bytesOf(validSequence(2, 2, 2)));
    std::vector<SequenceRecord> records;
    ASSERT_TRUE(readSequenceRecords(file, records));
    ASSERT_EQ(::truncate(file.c_str(), 12 + 32 + 20), 0);
    const auto out = root.path() / "out.lgs";
    EXPECT_TRUE(writeSequenceFile(out, {{2, 2, nullptr, 1000, records[0].pixels.get()},
                                        {2, 2, nullptr, 1000, records[1].pixels.get()}})
                    .failed());
    const auto refused = root.path() / "refused.lgs";
    EXPECT_EQ(writeSequenceFile(refused, {{3, 2, nullptr, 1000, records[0].pixels.get()}}),
              E_INVALIDARG);
    EXPECT_FALSE(std::filesystem::exists(refused));
}

// A sparse file (a valid header and first record, zeros after it) is refused at its second
// record instead of being read as thousands of empty frames.
TEST(SequenceFileTest, SparseFileIsRefusedAtItsFirstEmptyRecord) {
    TempRoot root;
    const int w = 320, h = 240, recordSize = w * h * 3 + 20, count = 9000;
    Bytes s;
    s.text("QmSq").i32(count).i32(12 + count * recordSize).record("QmLg", w, h, 0, 9);
    const auto file = root.path() / "sparse.lgs";
    test::writeFile(file, std::string(s.b.begin(), s.b.end()));
    ASSERT_EQ(::truncate(file.c_str(), off_t{12} + off_t{count} * recordSize), 0);
    CountingReporter reporter;
    std::vector<SequenceFrame> frames;
    EXPECT_FALSE(readSequenceFile(file, frames, &reporter));
    EXPECT_EQ(reporter.reports, 1);
    EXPECT_TRUE(frames.empty());
}

// How much memory this process has held at most, in bytes.
long peakMemory() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

// A sparse file of one 26,700 × 26,700 record (2.1 GB of pixels), or of records whose pixels
// together pass the budget, is refused before its pixels are read: no memory for them is
// taken. Catches a reader that allocates and reads a record as large as the file says.
TEST(SequenceFileTest, HugeRecordsAreRefusedBeforeTheirPixels) {
    TempRoot root;
    const struct {
        int32_t count, w, h;
    } cases[] = {{1, 26700, 26700}, {1, 16385, 4}, {3, 10000, 10000}};
    for (const auto &c : cases) {
        const int64_t recordSize = int64_t{c.w} * c.h * 3 + 20;
        Bytes s;
        s.text("QmSq").i32(c.count).i32(int32_t(12 + c.count * recordSize));
        s.text("QmLg").i32(c.w).i32(c.h).i32(int32_t(recordSize)).i32(1000);
        const auto file = root.path() / "huge.lgs";
        test::writeFile(file, std::string(s.b.begin(), s.b.end()));
        ASSERT_EQ(::truncate(file.c_str(), off_t{12} + off_t{c.count} * recordSize), 0);
        const long before = peakMemory();
        std::vector<SequenceFrame> frames;
        EXPECT_FALSE(readSequenceFile(file, frames)) << c.w << "x" << c.h;
        EXPECT_LT(peakMemory() - before, 64L << 20) << c.w << "x" << c.h;
        EXPECT_TRUE(frames.empty());
    }
    // The frame channel's own bound is a record's: 16384 wide is read, 16385 is not.
    EXPECT_TRUE(parses(validSequence(1, 16384, 1)));
    EXPECT_FALSE(parses(validSequence(1, 16385, 1)));
    EXPECT_FALSE(parses(validSequence(1, 1, 16385)));
}

// A stop asked for while a large record is read gives the file up between pieces of its pixel
// block. Catches a reader that reads a block in one call, deaf to stops.
TEST(SequenceFileTest, ReadingStopsWhenAsked) {
    TempRoot root;
    const Bytes s = validSequence(2, 2000, 1500);
    const auto file = root.path() / "large.lgs";
    test::writeFile(file, std::string(s.b.begin(), s.b.end()));
    int asked = 0;
    std::vector<SequenceFrame> frames;
    EXPECT_FALSE(readSequenceFile(file, frames, nullptr, [&] { return ++asked > 1; }));
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(readSequenceFile(file, frames, nullptr, [] { return false; }));
    EXPECT_EQ(frames.size(), 2u);
}

// The stored image a member of group video names is shown only when the group could read it:
// never a root-only file, a symbolic link to one, a FIFO, a file of /proc or a device; the
// reason is told. Catches lumacam showing root's files on the camera.
TEST(StoredImageTest, StoredImageIsReadOnlyWhenGroupVideoMayReadIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make root-only files";
    TempRoot root;
    const Bytes image = Bytes().record("QmLg", 2, 1, 5000, 77);
    const auto secret = root.path() / "private.lgi";
    test::writeFile(secret, std::string(image.b.begin(), image.b.end()));
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const auto link = root.path() / "link.lgi";
    std::filesystem::create_symlink(secret, link);
    const auto fifo = root.path() / "fifo.lgi";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const struct {
        std::filesystem::path path;
        std::string problem;
    } cases[] = {
        {secret, "group video may not read it"},
        {link, "it is a symbolic link"},
        {fifo, "it is not a regular file"},
        {"/proc/self/status", "it lies on a file system of the kernel"},
        {"/proc/1/environ", "group video may not read it"},
        {"/dev/zero", "it is not a regular file"},
        {"/dev/stdin", "it is a symbolic link"},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> pixels{1, 2, 3};
        std::string problem;
        EXPECT_FALSE(readStoredImage(c.path, 2, 1, pixels, &problem)) << c.path;
        EXPECT_EQ(problem, c.problem) << c.path;
        EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3})) << c.path;
    }
    ASSERT_EQ(::chmod(secret.c_str(), 0644), 0);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(readStoredImage(secret, 2, 1, pixels));
    EXPECT_EQ(pixels, std::vector<uint8_t>(6, 77));
}

// The stored image is one record with display time 5000, named in the driver key when there is one.
TEST(StoredImageTest, RegisterLastImageWritesFileAndValue) {
    TempRoot root;
    RegistryHive hive = machineHive();
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000\\Device Parameters";
    ASSERT_TRUE(hive.createKey(key).succeeded());
    const uint8_t px[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(registerLastImage(2, 1, px, hive, key).succeeded());

    Bytes expected;
    expected.text("QmLg").i32(2).i32(1).i32(26).i32(5000);
    expected.b.insert(expected.b.end(), px, px + 6);
    std::string file = test::readFile(storedImagePath());
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.end()), expected.b);
    EXPECT_EQ(storedImagePath(), root.path() / "var/lib/lumaghost/LastLgImage.lgi");
    auto v = hive.value(key, "LastLgImage");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, RegType::String);
    EXPECT_EQ(v->text, (root.path() / "var/lib/lumaghost/LastLgImage.lgi").string());

    // Without a driver key the file is still written and no value appears anywhere.
    ASSERT_TRUE(hive.deleteKey(key).succeeded());
    ASSERT_TRUE(registerLastImage(2, 1, px, hive, "").succeeded());
    ASSERT_TRUE(registerLastImage(2, 1, px, hive, key).succeeded());
    EXPECT_FALSE(hive.keyExists(key));
}

// In a state directory group video may write, a member who is not root replaces the stored
// image root wrote and names it in the driver key; the file keeps its mode and group. Catches
// an image written in place (refused to the member) and a hive or image that changes group.
TEST(StoredImageTest, GroupMemberReplacesStoredImage) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempRoot root;
    std::filesystem::permissions(root.path(), std::filesystem::perms(0755));
    const std::filesystem::path state = storedImagePath().parent_path();
    std::filesystem::create_directories(state);
    for (const std::filesystem::path &dir : {root.path() / "var", root.path() / "var/lib"})
        std::filesystem::permissions(dir, std::filesystem::perms(0755));
    ASSERT_EQ(::chown(state.c_str(), 0, test::kSharedGroup), 0);
    ASSERT_EQ(::chmod(state.c_str(), 02775), 0);
    RegistryHive hive = machineHive();
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\Root\\MEDIA\\0000\\Device Parameters";
    ASSERT_TRUE(hive.createKey(key).succeeded());
    const uint8_t first[3] = {1, 2, 3};
    ASSERT_TRUE(registerLastImage(1, 1, first, hive, key).succeeded());
    ASSERT_EQ(::chmod(storedImagePath().c_str(), 0664), 0);
    ASSERT_TRUE(hive.deleteValue(key, "LastLgImage").succeeded());

    const uint8_t second[3] = {7, 8, 9};
    EXPECT_EQ(test::runAsOtherUser(
                  [&] { return registerLastImage(1, 1, second, hive, key).succeeded() ? 0 : 1; }),
              0);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(readStoredImage(storedImagePath(), 1, 1, pixels));
    EXPECT_EQ(pixels, std::vector<uint8_t>(second, second + 3));
    struct stat st {};
    ASSERT_EQ(::stat(storedImagePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(st.st_gid, test::kSharedGroup);
    ASSERT_TRUE(hive.value(key, "LastLgImage"));
    EXPECT_EQ(hive.value(key, "LastLgImage")->text, storedImagePath().string());
}

// What registerLastImage stores reads back at its size; a file of another size, magic or
// length, or no regular file, is no stored image and leaves the pixels as they were.
TEST(StoredImageTest, ReadStoredImageTakesOnlyARecordOfTheGivenSize) {
    TempRoot root;
    RegistryHive hive = machineHive();
    const uint8_t px[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(registerLastImage(2, 2, px, hive, "").succeeded());
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(readStoredImage(storedImagePath(), 2, 2, pixels));
    EXPECT_EQ(pixels, std::vector<uint8_t>(px, px + 12));

    const std::vector<uint8_t> kept(12, 0xAB);
    pixels = kept;
    EXPECT_FALSE(readStoredImage(storedImagePath(), 4, 1, pixels));  // same bytes, other size
    EXPECT_FALSE(readStoredImage(storedImagePath(), 1, 2, pixels));
    EXPECT_FALSE(readStoredImage(root.path() / "missing.lgi", 2, 2, pixels));
    const std::filesystem::path other = root.path() / "other.lgi";
    Bytes wrongMagic;
    wrongMagic.record("QmSq", 2, 2, 5000, 7);
    test::writeFile(other, std::string(wrongMagic.b.begin(), wrongMagic.b.end()));
    EXPECT_FALSE(readStoredImage(other, 2, 2, pixels));
    Bytes longer;
    longer.record("QmLg", 2, 2, 5000, 7).fill(1, 0);
    test::writeFile(other, std::string(longer.b.begin(), longer.b.end()));
    EXPECT_FALSE(readStoredImage(other, 2, 2, pixels));
    const std::filesystem::path fifo = root.path() / "fifo.lgi";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readStoredImage(fifo, 2, 2, pixels));
    EXPECT_EQ(pixels, kept);
}

}  // namespace
}  // namespace lumaghost
