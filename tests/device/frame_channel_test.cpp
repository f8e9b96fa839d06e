// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/frame_channel.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;

struct ChannelFixture : ::testing::Test {
    TempRoot root;
    std::filesystem::path file = root.path() / "run/lumaghost/MEDIA_0000.frames";

    std::unique_ptr<FrameChannel> make(ChannelFormat f = {}) {
        EXPECT_TRUE(FrameChannel::create(file, f).succeeded());
        std::unique_ptr<FrameChannel> c;
        EXPECT_TRUE(FrameChannel::open(file, c).succeeded());
        return c;
    }

    static void commitFilled(FrameChannel &c, uint8_t value) {
        uint32_t slot;
        uint64_t token;
        ASSERT_TRUE(c.acquireSlot(slot, token).succeeded());
        std::memset(c.slotData(slot), value, c.frameBytes());
        ASSERT_TRUE(c.commitSlot(slot, token).succeeded());
    }
};

TEST_F(ChannelFixture, CreateSetsFormatAndPermissions) {
    auto c = make({64, 48, 15});
    EXPECT_EQ(c->format(), (ChannelFormat{64, 48, 15}));
    EXPECT_EQ(c->frameBytes(), 64u * 48 * 3);
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    for (ChannelFormat bad : {ChannelFormat{0, 48, 30}, ChannelFormat{64, 0, 30},
                              ChannelFormat{64, 48, 0}, ChannelFormat{20000, 48, 30}})
        EXPECT_EQ(FrameChannel::create(file, bad), E_INVALIDARG);
}

// Re-creating with the same format keeps the channel and its frame; another format replaces it.
TEST_F(ChannelFixture, RecreateKeepsSameFormatAndReplacesOther) {
    auto c = make();
    commitFilled(*c, 7);
    uint32_t id = c->channelId();
    ASSERT_TRUE(FrameChannel::create(file, {}).succeeded());
    EXPECT_FALSE(c->replaced());
    std::unique_ptr<FrameChannel> again;
    ASSERT_TRUE(FrameChannel::open(file, again).succeeded());
    EXPECT_EQ(again->channelId(), id);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(again->readLatest(frame));
    EXPECT_EQ(frame[0], 7);

    ASSERT_TRUE(FrameChannel::create(file, {640, 480, 30}).succeeded());
    EXPECT_TRUE(c->replaced());
    ASSERT_TRUE(FrameChannel::open(file, again).succeeded());
    EXPECT_EQ(again->format().width, 640u);
    EXPECT_FALSE(again->readLatest(frame));
}

TEST_F(ChannelFixture, OpenRejectsFilesThatAreNoChannel) {
    std::unique_ptr<FrameChannel> c;
    EXPECT_TRUE(FrameChannel::open(file, c).failed());
    test::writeFile(file, "short");
    EXPECT_TRUE(FrameChannel::open(file, c).failed());
    test::writeFile(file, std::string(8192, 'x'));
    EXPECT_TRUE(FrameChannel::open(file, c).failed());
    // A valid header whose slots do not fit in the file.
    make();
    ASSERT_EQ(::truncate(file.c_str(), 4096 + 1000), 0);
    EXPECT_TRUE(FrameChannel::open(file, c).failed());
    EXPECT_EQ(c, nullptr);
}

// The committed slot is never handed out, and slots run out only when all others are held.
TEST_F(ChannelFixture, CommittedSlotIsNeverHandedOut) {
    auto c = make({16, 16, 30});
    commitFilled(*c, 1);
    std::vector<uint8_t> frame;
    uint64_t seq = 0;
    ASSERT_TRUE(c->readLatest(frame, &seq));
    EXPECT_EQ(seq, 1u);

    uint32_t slots[FrameChannel::kSlotCount - 1];
    uint64_t tokens[FrameChannel::kSlotCount - 1];
    for (uint32_t i = 0; i < FrameChannel::kSlotCount - 1; ++i)
        ASSERT_TRUE(c->acquireSlot(slots[i], tokens[i]).succeeded());
    uint32_t extra;
    uint64_t extraToken;
    EXPECT_EQ(c->acquireSlot(extra, extraToken), E_FAIL);

    // The committed frame is intact; a released slot can be handed out again.
    ASSERT_TRUE(c->readLatest(frame));
    EXPECT_EQ(frame[0], 1);
    c->releaseSlot(slots[0], tokens[0]);
    EXPECT_TRUE(c->acquireSlot(extra, extraToken).succeeded());
    EXPECT_EQ(extra, slots[0]);
    // The old token no longer commits.
    EXPECT_EQ(c->commitSlot(slots[0], tokens[0]), E_INVALIDARG);
    EXPECT_TRUE(c->commitSlot(extra, extraToken).succeeded());
    EXPECT_EQ(c->commitSequence(), 2u);
}

// A reader never sees a frame mixed from two commits.
TEST_F(ChannelFixture, ReadersNeverSeeTornFrames) {
    auto writer = make({320, 240, 30});
    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < 3000; ++i)
            commitFilled(*writer, static_cast<uint8_t>(i));
        done = true;
    });
    std::vector<uint8_t> frame;
    int reads = 0, torn = 0;
    while (!done) {
        if (!reader->readLatest(frame))
            continue;
        ++reads;
        for (size_t i = 1; i < frame.size(); ++i) {
            if (frame[i] != frame[0]) {
                ++torn;
                break;
            }
        }
    }
    producer.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(torn, 0);
}

// Mode 0660 and group video are put back by an update that keeps the channel.
TEST_F(ChannelFixture, CreateRepairsModeAndGroupOfAKeptChannel) {
    auto c = make({16, 16, 30});
    commitFilled(*c, 9);
    ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
    const group *video = ::getgrnam("video");
    if (video && ::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), static_cast<uid_t>(-1), 0), 0);
    }

    ASSERT_TRUE(FrameChannel::create(file, {16, 16, 30}).succeeded());
    EXPECT_FALSE(c->replaced());
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    if (video && ::geteuid() == 0) {
        EXPECT_EQ(st.st_gid, video->gr_gid);
    }
    std::vector<uint8_t> frame;
    ASSERT_TRUE(c->readLatest(frame));
    EXPECT_EQ(frame[0], 9);
}

// A missing channel is made with the given format; an existing one is opened as it is, never
// replaced, whatever its format.
TEST_F(ChannelFixture, OpenOrCreateMakesOnlyAMissingChannel) {
    std::unique_ptr<FrameChannel> c;
    ASSERT_TRUE(FrameChannel::openOrCreate(file, {64, 48, 15}, c).succeeded());
    EXPECT_EQ(c->format(), (ChannelFormat{64, 48, 15}));
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    if (const group *video = ::getgrnam("video"); video && ::geteuid() == 0) {
        EXPECT_EQ(st.st_gid, video->gr_gid);
    }
    commitFilled(*c, 5);

    std::unique_ptr<FrameChannel> again;
    ASSERT_TRUE(FrameChannel::openOrCreate(file, {320, 240, 30}, again).succeeded());
    EXPECT_EQ(again->channelId(), c->channelId());
    EXPECT_EQ(again->format(), (ChannelFormat{64, 48, 15}));
    EXPECT_FALSE(c->replaced());
    std::vector<uint8_t> frame;
    ASSERT_TRUE(again->readLatest(frame));
    EXPECT_EQ(frame[0], 5);

    // A file that is no channel is reported, not replaced.
    test::writeFile(file, std::string(8192, 'x'));
    EXPECT_EQ(FrameChannel::openOrCreate(file, {}, again), hresultFromWin32(ERROR_INVALID_DATA));
    EXPECT_EQ(test::readFile(file), std::string(8192, 'x'));
    std::filesystem::remove(file);
    EXPECT_EQ(FrameChannel::openOrCreate(file, {0, 48, 30}, again), E_INVALIDARG);
}

// Creators that find the channel missing at the same moment all end up on one channel: the
// first one's, which a creator that comes later never replaces, not even after a commit.
TEST_F(ChannelFixture, ConcurrentCreatorsShareOneChannel) {
    constexpr int kThreads = 6;
    for (int round = 0; round < 30; ++round) {
        std::filesystem::remove(file);
        std::atomic<int> ready{0};
        std::unique_ptr<FrameChannel> opened[kThreads];
        HResult results[kThreads];
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                ready.fetch_add(1);
                while (ready.load() < kThreads) {
                }
                results[t] = FrameChannel::openOrCreate(file, {32, 16, 30}, opened[t]);
                // A frame committed at once must survive every later creator.
                if (results[t].succeeded() && t == 0)
                    commitFilled(*opened[t], 42);
            });
        }
        for (auto &th : threads)
            th.join();
        std::set<uint32_t> ids;
        for (int t = 0; t < kThreads; ++t) {
            ASSERT_TRUE(results[t].succeeded()) << "round " << round << " thread " << t;
            ids.insert(opened[t]->channelId());
            EXPECT_FALSE(opened[t]->replaced()) << "round " << round << " thread " << t;
        }
        ASSERT_EQ(ids.size(), 1u) << "round " << round;
        std::vector<uint8_t> frame;
        ASSERT_TRUE(opened[kThreads - 1]->readLatest(frame)) << "round " << round;
        EXPECT_EQ(frame[0], 42);
        // Nothing is left beside the channel.
        int entries = 0;
        for ([[maybe_unused]] const auto &e :
             std::filesystem::directory_iterator(file.parent_path()))
            ++entries;
        EXPECT_EQ(entries, 1);
    }
}

TEST_F(ChannelFixture, WaitForCommitWakesOnCommitAndTimesOut) {
    auto c = make({16, 16, 30});
    EXPECT_EQ(c->waitForCommit(0, 20), 0u);
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        commitFilled(*c, 3);
    });
    EXPECT_EQ(c->waitForCommit(0, 5000), 1u);
    producer.join();
}

// Another writer of the file, as group video may be: it changes the file through a descriptor
// of its own, never through a mapping, and nothing it writes may crash, hang or mislead a
// process that has the channel open. A test that hangs is ended by the alarm.
struct HostileFixture : ChannelFixture {
    // Offsets in the channel file.
    static constexpr off_t kWidth = 16, kHeight = 20, kFps = 24, kStride = 32, kFrameBytes = 40,
                           kNextToken = 56, kCommitSeq = 64, kCommittedSlot = 80, kSlots = 88,
                           kSlotSize = 32, kSlotSeq = 8, kSlotLease = 16, kHeaderSize = 4096;

    void SetUp() override { ::alarm(60); }
    void TearDown() override { ::alarm(0); }

    template <typename T>
    void poke(off_t offset, T value) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, &value, sizeof(value), offset), static_cast<ssize_t>(sizeof(value)));
        ::close(fd);
    }
    void resize(off_t size) { ASSERT_EQ(::truncate(file.c_str(), size), 0); }

    // A producer's whole turn through the channel: fetch, write every byte, commit.
    static HResult produce(FrameChannel &c, uint8_t value) {
        uint32_t slot;
        uint64_t token;
        HResult r = c.acquireSlot(slot, token);
        if (r.failed())
            return r;
        std::memset(c.slotData(slot), value, c.frameBytes());
        return c.commitSlot(slot, token);
    }
};

// A file cut short under the mapping makes reads and commits fail, in readers and producers
// alike, instead of killing them with SIGBUS; the channel says it is broken and stale.
TEST_F(HostileFixture, ShrunkFileIsAFailureNotASignal) {
    // 64 x 64 frames take three pages a slot; the first commit goes to slot 0.
    for (off_t size : {off_t{0}, off_t{100}, kHeaderSize, kHeaderSize + 1000}) {
        auto writer = make({64, 64, 30});
        std::unique_ptr<FrameChannel> reader;
        ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
        ASSERT_TRUE(produce(*writer, 1).succeeded());
        uint32_t slot;
        uint64_t token;
        ASSERT_TRUE(writer->acquireSlot(slot, token).succeeded());

        resize(size);
        EXPECT_TRUE(reader->stale()) << size;
        // The producer writes the slot it holds, all of it: that must not kill it.
        std::memset(writer->slotData(slot), 2, writer->frameBytes());
        EXPECT_TRUE(writer->commitSlot(slot, token).failed()) << size;
        EXPECT_TRUE(writer->broken()) << size;
        std::vector<uint8_t> frame;
        EXPECT_FALSE(reader->readLatest(frame)) << size;
        EXPECT_EQ(frame.size(), 64u * 64 * 3);
        EXPECT_TRUE(reader->broken()) << size;
        EXPECT_FALSE(reader->intact()) << size;
        EXPECT_TRUE(writer->acquireSlot(slot, token).failed()) << size;
        EXPECT_EQ(reader->waitForCommit(reader->commitSequence(), 10000), reader->commitSequence());
        EXPECT_EQ(reader->format(), (ChannelFormat{64, 64, 30}));

        // Grown back: what is left of the header decides whether it is a channel again.
        resize(kHeaderSize + 4 * 3 * 4096);
        std::unique_ptr<FrameChannel> fresh;
        if (size == 0) {
            EXPECT_TRUE(FrameChannel::open(file, fresh).failed());
        }
        ASSERT_TRUE(FrameChannel::create(file, {64, 64, 30}).succeeded());
        ASSERT_TRUE(FrameChannel::open(file, fresh).succeeded());
        EXPECT_TRUE(produce(*fresh, 3).succeeded());
        ASSERT_TRUE(fresh->readLatest(frame));
        EXPECT_EQ(frame[0], 3);
        std::filesystem::remove(file);
    }
}

// Cut behind the committed slot: that slot is still read whole, and the channel is stale.
TEST_F(HostileFixture, SlotsInsideAShrunkFileAreStillRead) {
    auto writer = make({64, 64, 30});
    ASSERT_TRUE(produce(*writer, 1).succeeded());
    resize(kHeaderSize + 3 * 4096);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(writer->readLatest(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(64 * 64 * 3, 1));
    EXPECT_FALSE(writer->broken());
    EXPECT_TRUE(writer->stale());
}

// Geometry written into the header after the open is never taken: copies keep the size the
// channel was opened with and stay inside the mapping; the channel is no longer intact and a
// fresh open refuses the header.
TEST_F(HostileFixture, GeometryChangedAfterOpenIsNeverTaken) {
    struct Case {
        const char *what;
        off_t offset;
        uint64_t value;
        bool wide;
    };
    const Case cases[] = {
        {"width", kWidth, 0xFFFFFFFF, false},
        {"height", kHeight, 16384, false},
        {"frame bytes", kFrameBytes, ~0ull, true},
        {"frame bytes", kFrameBytes, 1ull << 40, true},
        {"stride", kStride, 1ull << 36, true},
        {"stride", kStride, 0, true},
        {"rate", kFps, 0, false},
    };
    for (const auto &c : cases) {
        auto writer = make({16, 8, 30});
        std::unique_ptr<FrameChannel> reader;
        ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
        ASSERT_TRUE(produce(*writer, 7).succeeded());
        if (c.wide)
            poke<uint64_t>(c.offset, c.value);
        else
            poke<uint32_t>(c.offset, static_cast<uint32_t>(c.value));

        std::vector<uint8_t> frame;
        ASSERT_TRUE(reader->readLatest(frame)) << c.what;
        EXPECT_EQ(frame, std::vector<uint8_t>(16 * 8 * 3, 7)) << c.what;
        EXPECT_EQ(reader->format(), (ChannelFormat{16, 8, 30})) << c.what;
        EXPECT_EQ(reader->frameBytes(), 16u * 8 * 3) << c.what;
        EXPECT_TRUE(produce(*writer, 8).succeeded()) << c.what;
        ASSERT_TRUE(reader->readLatest(frame)) << c.what;
        EXPECT_EQ(frame, std::vector<uint8_t>(16 * 8 * 3, 8)) << c.what;
        EXPECT_FALSE(reader->intact()) << c.what;
        EXPECT_TRUE(reader->stale()) << c.what;
        std::unique_ptr<FrameChannel> fresh;
        EXPECT_EQ(FrameChannel::open(file, fresh), hresultFromWin32(ERROR_INVALID_DATA)) << c.what;
        std::filesystem::remove(file);
    }
}

// Indexes and sequences read from the file are checked: a committed slot out of range reads
// nothing, and a slot whose sequence stays odd ends the read within its patience.
TEST_F(HostileFixture, BadSlotIndexesAndOddSequencesEndTheRead) {
    auto writer = make({16, 8, 30});
    ASSERT_TRUE(produce(*writer, 4).succeeded());
    std::vector<uint8_t> frame;
    for (int32_t bad : {4, 5, 1000, INT32_MAX, -2, INT32_MIN}) {
        poke<int32_t>(kCommittedSlot, bad);
        EXPECT_FALSE(writer->readLatest(frame)) << bad;
        uint32_t slot;
        uint64_t token;
        ASSERT_TRUE(writer->acquireSlot(slot, token).succeeded()) << bad;
        EXPECT_LT(slot, FrameChannel::kSlotCount);
        writer->releaseSlot(slot, token);
    }

    ASSERT_TRUE(produce(*writer, 5).succeeded());
    int32_t committed = 0;
    {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::pread(fd, &committed, 4, kCommittedSlot), 4);
        ::close(fd);
    }
    poke<uint64_t>(kSlots + kSlotSize * committed + kSlotSeq, 12345);  // odd: "being written"
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(writer->readLatest(frame));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(FrameChannel::kReadPatienceMs));
    EXPECT_LT(took, std::chrono::seconds(5));
    // The next commit is read again.
    ASSERT_TRUE(produce(*writer, 6).succeeded());
    ASSERT_TRUE(writer->readLatest(frame));
    EXPECT_EQ(frame[0], 6);
}

// Owners, leases and tokens from the file: a lease from the far past or future and a token
// counter at its end still hand out valid slots, and a slot never goes to two producers.
TEST_F(HostileFixture, LeasesAndTokensFromTheFileAreHandledSafely) {
    auto c = make({16, 8, 30});
    for (uint32_t i = 0; i < FrameChannel::kSlotCount; ++i) {
        poke<uint64_t>(kSlots + kSlotSize * i, 77 + i);  // held by producers that never return
        poke<int64_t>(kSlots + kSlotSize * i + kSlotLease,
                      i % 2 ? INT64_MIN : INT64_MAX);  // with absurd leases
    }
    poke<uint64_t>(kNextToken, ~0ull);
    uint32_t a, b;
    uint64_t ta, tb;
    ASSERT_TRUE(c->acquireSlot(a, ta).succeeded());
    ASSERT_TRUE(c->acquireSlot(b, tb).succeeded());
    EXPECT_NE(a, b);
    EXPECT_NE(ta, 0u);
    EXPECT_NE(tb, 0u);
    EXPECT_TRUE(c->commitSlot(a, ta).succeeded());
    EXPECT_TRUE(c->commitSlot(b, tb).succeeded());
    poke<uint64_t>(kCommitSeq, ~0ull);
    EXPECT_EQ(c->waitForCommit(0, 1000), ~0ull);
}

// Random bytes anywhere in the header and slots, at random moments: every operation returns.
TEST_F(HostileFixture, RandomBytesNeverCrashOrHang) {
    auto c = make({24, 16, 30});
    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
    std::mt19937_64 random(20261207);
    int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> frame;
    for (int i = 0; i < 3000; ++i) {
        uint8_t bytes[64];
        for (auto &b : bytes)
            b = static_cast<uint8_t>(random());
        const off_t at = static_cast<off_t>(random() % (i % 2 ? 256 : 4096 + 4 * 4096));
        ASSERT_EQ(::pwrite(fd, bytes, 1 + random() % sizeof(bytes), at) > 0, true);
        (void)produce(*c, static_cast<uint8_t>(i));
        const bool read = reader->readLatest(frame);
        EXPECT_EQ(frame.size(), 24u * 16 * 3) << read;
        (void)reader->waitForCommit(reader->commitSequence(), 0);
        (void)reader->stale();
    }
    ::close(fd);
}

}  // namespace
}  // namespace lumaghost
