// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/property_channel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "device/camera_protocol.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using test::TempRoot;

uint32_t readU32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct DeviceFixture : ::testing::Test {
    TempRoot root;
    std::filesystem::path file = root.path() / "run/lumaghost/MEDIA_0000.frames";

    std::unique_ptr<LumacamPropertySet> link(const std::filesystem::path &f,
                                             ChannelFormat fmt = {}) {
        EXPECT_TRUE(FrameChannel::create(f, fmt).succeeded());
        std::unique_ptr<FrameChannel> c;
        EXPECT_TRUE(FrameChannel::open(f, c).succeeded());
        return std::make_unique<LumacamPropertySet>(std::move(c));
    }

    static HResult getFrame(PropertySet &p, uint8_t (&record)[48]) {
        uint32_t returned = 0;
        return p.get(PROPSETID_CameraLink, CAMERA_PROP_FRAME, record, 48, record, 48, &returned);
    }
    static HResult setFrame(PropertySet &p, uint8_t (&record)[48]) {
        return p.set(PROPSETID_CameraLink, CAMERA_PROP_FRAME, record, 48, record, 48);
    }
};

// The three records carry their fields at the fixed offsets, byte for byte.
TEST_F(DeviceFixture, RecordsHaveTheirFieldsAtFixedOffsets) {
    auto p = link(file, {320, 240, 30});
    uint8_t version[32];
    std::memset(version, 0xAA, sizeof(version));
    uint32_t returned = 0;
    ASSERT_TRUE(
        p->get(PROPSETID_CameraLink, CAMERA_PROP_VERSION, version, 32, version, 32, &returned)
            .succeeded());
    EXPECT_EQ(returned, 32u);
    EXPECT_EQ(version[24], 0x00);
    EXPECT_EQ(version[25], 0x00);
    EXPECT_EQ(version[26], 0x09);
    EXPECT_EQ(version[27], 0x00);

    uint8_t format[40];
    ASSERT_TRUE(p->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, format, 40, format, 40, &returned)
                    .succeeded());
    EXPECT_EQ(returned, 40u);
    EXPECT_EQ(readU32(format + 24), 320u);
    EXPECT_EQ(readU32(format + 28), 240u);

    uint8_t frame[48];
    ASSERT_TRUE(getFrame(*p, frame).succeeded());
    EXPECT_EQ(readU32(frame + 28), 320u);
    EXPECT_EQ(readU32(frame + 32), 240u);
    EXPECT_EQ(readU32(frame + 40), 320u * 240 * 3);
    uint64_t address = uint64_t{readU32(frame + 44)} << 32 | readU32(frame + 24);
    EXPECT_NE(address, 0u);
}

TEST_F(DeviceFixture, WrongSetIdOrLengthIsRefused) {
    auto p = link(file);
    uint8_t buf[48];
    uint32_t returned = 0;
    Guid other = PROPSETID_CameraLink;
    other.data1 ^= 1;
    EXPECT_EQ(p->get(other, CAMERA_PROP_VERSION, buf, 32, buf, 32, &returned),
              E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(p->get(PROPSETID_CameraLink, 2, buf, 48, buf, 48, &returned), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(p->get(PROPSETID_CameraLink, CAMERA_PROP_VERSION, buf, 31, buf, 31, &returned),
              E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(p->get(PROPSETID_CameraLink, CAMERA_PROP_FRAME, buf, 47, buf, 47, &returned),
              E_NOT_SUFFICIENT_BUFFER);
    EXPECT_EQ(p->set(PROPSETID_CameraLink, CAMERA_PROP_VERSION, buf, 32, buf, 32),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(p->set(PROPSETID_CameraLink, CAMERA_PROP_FRAME, buf, 40, buf, 40),
              E_NOT_SUFFICIENT_BUFFER);
}

// A frame written at the descriptor's address and committed is what readers get.
TEST_F(DeviceFixture, CommittedBufferReachesReaders) {
    auto p = link(file, {4, 2, 30});
    uint8_t record[48];
    ASSERT_TRUE(getFrame(*p, record).succeeded());
    FrameDescriptor d;
    std::memcpy(&d, record, 48);
    for (uint32_t i = 0; i < d.byteCount; ++i)
        d.buffer()[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(setFrame(*p, record).succeeded());

    std::vector<uint8_t> frame;
    ASSERT_TRUE(p->channel().readLatest(frame));
    for (uint32_t i = 0; i < d.byteCount; ++i)
        ASSERT_EQ(frame[i], static_cast<uint8_t>(i * 7));
}

// Descriptors that this link was not handed, or not as they were handed, are refused, nothing
// is committed and the link goes on working.
TEST_F(DeviceFixture, ForeignStaleAndAlteredDescriptorsAreRefused) {
    auto p = link(file, {8, 8, 30});
    auto other = link(root.path() / "run/lumaghost/MEDIA_0001.frames", {8, 8, 30});
    uint8_t fresh[48], r[48];

    struct Case {
        const char *what;
        void (*alter)(uint8_t *);
    };
    const Case cases[] = {
        {"address low half", [](uint8_t *b) { b[24] ^= 0x10; }},
        {"address high half", [](uint8_t *b) { b[44] ^= 0x01; }},
        {"width", [](uint8_t *b) { b[28] += 1; }},
        {"height", [](uint8_t *b) { b[32] += 1; }},
        {"byte count", [](uint8_t *b) { b[40] += 1; }},
        {"token", [](uint8_t *b) { b[12] ^= 0x01; }},
        {"slot", [](uint8_t *b) { b[8] ^= 0x01; }},
        {"magic", [](uint8_t *b) { b[0] ^= 0x01; }},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(getFrame(*p, fresh).succeeded());
        std::memcpy(r, fresh, 48);
        c.alter(r);
        EXPECT_EQ(setFrame(*p, r), E_INVALIDARG) << c.what;
        EXPECT_EQ(p->channel().commitSequence(), 0u) << c.what;
    }

    // Handed back twice: the second time it is stale.
    ASSERT_TRUE(getFrame(*p, fresh).succeeded());
    std::memcpy(r, fresh, 48);
    ASSERT_TRUE(setFrame(*p, fresh).succeeded());
    EXPECT_EQ(setFrame(*p, r), E_INVALIDARG);

    // An earlier descriptor after a newer one was fetched.
    uint8_t older[48];
    ASSERT_TRUE(getFrame(*p, older).succeeded());
    ASSERT_TRUE(getFrame(*p, fresh).succeeded());
    EXPECT_EQ(setFrame(*p, older), E_INVALIDARG);

    // Another device's descriptor, and this device's descriptor handed to another link.
    uint8_t foreign[48];
    ASSERT_TRUE(getFrame(*other, foreign).succeeded());
    EXPECT_EQ(setFrame(*p, foreign), E_INVALIDARG);
    EXPECT_EQ(setFrame(*other, fresh), E_INVALIDARG);

    // Never handed out at all.
    auto fresh2 = link(root.path() / "run/lumaghost/MEDIA_0002.frames", {8, 8, 30});
    EXPECT_EQ(setFrame(*fresh2, fresh), E_INVALIDARG);

    EXPECT_EQ(p->channel().commitSequence(), 1u);
    ASSERT_TRUE(setFrame(*p, fresh).succeeded());
    EXPECT_EQ(p->channel().commitSequence(), 2u);
}

// Fetching without committing, again and again, leaks no slot.
TEST_F(DeviceFixture, FetchWithoutCommitLeavesTheLinkUsable) {
    auto p = link(file, {8, 8, 30});
    uint8_t record[48];
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(getFrame(*p, record).succeeded()) << i;
    ASSERT_TRUE(setFrame(*p, record).succeeded());
    ASSERT_TRUE(getFrame(*p, record).succeeded());
    ASSERT_TRUE(setFrame(*p, record).succeeded());
    EXPECT_EQ(p->channel().commitSequence(), 2u);
}

// A link that goes away gives back the slot it held.
TEST_F(DeviceFixture, DestroyedLinkGivesBackItsSlot) {
    auto first = link(file, {8, 8, 30});
    uint8_t record[48];
    ASSERT_TRUE(getFrame(*first, record).succeeded());
    ASSERT_TRUE(setFrame(*first, record).succeeded());

    std::vector<std::unique_ptr<LumacamPropertySet>> holders;
    for (uint32_t i = 0; i < FrameChannel::kSlotCount - 1; ++i) {
        std::unique_ptr<FrameChannel> c;
        ASSERT_TRUE(FrameChannel::open(file, c).succeeded());
        holders.push_back(std::make_unique<LumacamPropertySet>(std::move(c)));
        ASSERT_TRUE(getFrame(*holders.back(), record).succeeded());
    }
    EXPECT_EQ(getFrame(*first, record), E_FAIL);
    holders.pop_back();
    EXPECT_TRUE(getFrame(*first, record).succeeded());
}

// A producer that opened the camera at one size gets no buffer once the camera has another:
// it is told to open the link again, and a new link gets the new size.
TEST_F(DeviceFixture, FetchAfterAFormatChangeIsRefused) {
    auto p = link(file, {8, 8, 30});
    ASSERT_TRUE(FrameChannel::create(file, {16, 4, 30}).succeeded());
    uint8_t record[48];
    EXPECT_EQ(getFrame(*p, record), kCameraFormatChanged);
    uint8_t format[40];
    uint32_t returned = 0;
    EXPECT_EQ(p->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, format, 40, format, 40, &returned),
              kCameraFormatChanged);

    std::unique_ptr<FrameChannel> c;
    ASSERT_TRUE(FrameChannel::open(file, c).succeeded());
    LumacamPropertySet fresh(std::move(c));
    ASSERT_TRUE(getFrame(fresh, record).succeeded());
    EXPECT_EQ(readU32(record + 28), 16u);
    EXPECT_EQ(readU32(record + 40), 16u * 4 * 3);
    EXPECT_TRUE(setFrame(fresh, record).succeeded());
}

// A frame filled at the old size while the camera took another is refused at its commit: no
// reader of the new channel ever sees it.
TEST_F(DeviceFixture, CommitOfTheOldSizeIsRefused) {
    auto p = link(file, {8, 8, 30});
    uint8_t record[48];
    ASSERT_TRUE(getFrame(*p, record).succeeded());
    FrameDescriptor d;
    std::memcpy(&d, record, 48);
    ASSERT_TRUE(FrameChannel::create(file, {16, 4, 30}).succeeded());
    std::memset(d.buffer(), 0x77, d.byteCount);
    EXPECT_EQ(setFrame(*p, record), kCameraFormatChanged);

    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
    std::vector<uint8_t> frame;
    EXPECT_FALSE(reader->readLatest(frame));
    EXPECT_EQ(reader->commitSequence(), 0u);
}

// A channel made again at the link's own size is followed by the next fetch.
TEST_F(DeviceFixture, FetchFollowsAChannelMadeAgainAtItsSize) {
    auto p = link(file, {8, 8, 30});
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_TRUE(FrameChannel::create(file, {8, 8, 30}).succeeded());
    uint8_t record[48];
    ASSERT_TRUE(getFrame(*p, record).succeeded());
    FrameDescriptor d;
    std::memcpy(&d, record, 48);
    std::memset(d.buffer(), 0x42, d.byteCount);
    ASSERT_TRUE(setFrame(*p, record).succeeded());
    std::unique_ptr<FrameChannel> reader;
    ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
    std::vector<uint8_t> frame;
    ASSERT_TRUE(reader->readLatest(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(8 * 8 * 3, 0x42));
}

// A channel file cut short or scribbled over while a producer holds the link: fetches fail
// instead of handing out a buffer outside the file, a producer writing the buffer it already
// holds is not killed, and once the channel is made again the link goes on working.
TEST_F(DeviceFixture, DamagedChannelFailsFetchesUntilItIsMadeAgain) {
    ::alarm(60);
    auto p = link(file, {8, 8, 30});
    uint8_t record[48];
    FrameDescriptor d;
    for (int damage = 0; damage < 2; ++damage) {
        ASSERT_TRUE(getFrame(*p, record).succeeded()) << damage;
        std::memcpy(&d, record, 48);
        if (damage == 0) {
            ASSERT_EQ(::truncate(file.c_str(), 0), 0);
        } else {
            const uint32_t width = 4096;
            int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
            ASSERT_EQ(::pwrite(fd, &width, 4, 16), 4);
            ::close(fd);
        }
        std::memset(d.buffer(), 0x55, d.byteCount);
        // Cut short, the frame went nowhere; behind a scribbled header it still reaches the
        // readers that have the channel open.
        if (damage == 0) {
            EXPECT_EQ(setFrame(*p, record), hresultFromWin32(ERROR_INVALID_DATA));
        } else {
            EXPECT_EQ(setFrame(*p, record), S_OK);
        }
        EXPECT_TRUE(getFrame(*p, record).failed()) << damage;
        EXPECT_TRUE(getFrame(*p, record).failed()) << damage;

        ASSERT_TRUE(FrameChannel::create(file, {8, 8, 30}).succeeded());
        ASSERT_TRUE(getFrame(*p, record).succeeded()) << damage;
        std::memcpy(&d, record, 48);
        std::memset(d.buffer(), 0x66 + damage, d.byteCount);
        ASSERT_TRUE(setFrame(*p, record).succeeded()) << damage;
        std::unique_ptr<FrameChannel> reader;
        ASSERT_TRUE(FrameChannel::open(file, reader).succeeded());
        std::vector<uint8_t> frame;
        ASSERT_TRUE(reader->readLatest(frame));
        EXPECT_EQ(frame, std::vector<uint8_t>(8 * 8 * 3, 0x66 + damage)) << damage;
    }
    ::alarm(0);
}

}  // namespace
}  // namespace lumaghost
