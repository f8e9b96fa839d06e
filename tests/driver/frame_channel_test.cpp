#include "frame_channel.h"

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"

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

}  // namespace
}  // namespace lumaghost
