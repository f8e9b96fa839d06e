// SPDX-License-Identifier: LGPL-2.1-or-later
// The worker that plays the sequence into the camera.
#include <sys/resource.h>
#include <sys/stat.h>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <thread>
#include "desk/model/camera_gate.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "media/sequence_file.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/sequence/sequence_bytes.h"

namespace lumaghost {
namespace {

using test::patterned;
using test::Record;
using test::sequenceBytes;

namespace fs = std::filesystem;
using namespace cmd;
using namespace std::chrono_literals;

PlayItem solidItem(int width, int height, uint8_t value, uint32_t time, size_t bytes = 0) {
    PlayItem item;
    item.width = width;
    item.height = height;
    item.displayTime = time;
    item.pixels = std::make_shared<const FramePixels>(
        std::vector<uint8_t>(bytes ? bytes : size_t(width) * height * 3, value));
    return item;
}

struct PlayerTest : ::testing::Test {
    test::RecordingCamera camera;
    CameraLink link;
    CameraGate gate{link};
    PlayerTest() {
        link.captureFilter = std::make_unique<test::RecordingCameraFilter>(camera);
        link.properties = &camera;
        camera.setSize(4, 2);
    }
};

// The frames go out in order, each for its time, round and round; a stop ends the worker at
// once, in the middle of a long display time.
TEST_F(PlayerTest, PlaysInOrderAndStopsAtOnce) {
    SequencePlayer player(gate);
    player.start({solidItem(4, 2, 1, 20), solidItem(4, 2, 2, 20), solidItem(4, 2, 3, 60000)});
    ASSERT_TRUE(camera.waitForCommits(3));
    const auto began = std::chrono::steady_clock::now();
    player.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 2s);
    EXPECT_FALSE(player.running());

    player.start({solidItem(4, 2, 4, 20), solidItem(4, 2, 5, 20)});
    ASSERT_TRUE(camera.waitForCommits(8));
    player.stop();
    const size_t sent = camera.commitCount();
    std::vector<uint8_t> order;
    for (const auto &c : camera.commits())
        order.push_back(c.frame[0]);
    order.resize(8);
    EXPECT_EQ(order, (std::vector<uint8_t>{1, 2, 3, 4, 5, 4, 5, 4}));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(camera.commitCount(), sent);
}

// Starting again stops the worker that runs: one worker feeds the camera, however often Play
// follows Play or Stop.
TEST_F(PlayerTest, RestartLeavesOneWorker) {
    SequencePlayer player(gate);
    for (int i = 0; i < 4; ++i)
        player.start({solidItem(4, 2, uint8_t(i), 100)});
    std::this_thread::sleep_for(550ms);
    player.stop();
    // Each earlier worker sent its first frame and was gone before its second; the last one
    // sent its own about every 100 ms.
    std::vector<int> sent(4, 0);
    for (const auto &commit : camera.commits())
        ++sent[commit.frame[0]];
    EXPECT_EQ(sent[0], 1);
    EXPECT_EQ(sent[1], 1);
    EXPECT_EQ(sent[2], 1);
    EXPECT_GE(sent[3], 4);
    EXPECT_LE(sent[3], 7);
}

// An empty sequence waits for the stop without using the processor.
TEST_F(PlayerTest, EmptySequenceWaitsAsleep) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    SequencePlayer player(gate);
    player.start({});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(player.running());
    player.stop();
    getrusage(RUSAGE_SELF, &after);
    const auto cpu = [](const rusage &u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000L + u.ru_utime.tv_usec +
               u.ru_stime.tv_usec;
    };
    EXPECT_LT(cpu(after) - cpu(before), 100000L);
    EXPECT_EQ(camera.fetches(), 0);
}

// Every copy is bounded by the camera's buffer, the camera's frame and the item's pixels.
TEST_F(PlayerTest, CopiesAreBounded) {
    SequencePlayer player(gate);
    camera.setByteCount(4 * 2 * 3 + 100);  // a buffer larger than the frame
    player.start({solidItem(4, 2, 7, 60000)});
    ASSERT_TRUE(camera.waitForCommits(1));
    player.stop();
    std::vector<uint8_t> expected(24, 7);
    expected.resize(124, test::RecordingCamera::kFill);
    EXPECT_EQ(camera.commits()[0].frame, expected);

    camera.setByteCount(10);  // smaller than the frame
    player.start({solidItem(4, 2, 8, 60000)});
    ASSERT_TRUE(camera.waitForCommits(2));
    player.stop();
    EXPECT_EQ(camera.commits()[1].frame, std::vector<uint8_t>(10, 8));
    EXPECT_TRUE(camera.guardIntact());

    camera.setByteCount(0);
    player.start({solidItem(4, 2, 9, 60000, 5)});  // an item with fewer pixels than its size
    ASSERT_TRUE(camera.waitForCommits(3));
    player.stop();
    expected.assign(5, 9);
    expected.resize(24, test::RecordingCamera::kFill);
    EXPECT_EQ(camera.commits()[2].frame, expected);
}

// Items whose pixels are left in their file go out as the file holds them, in order and
// round again, whether one or many; a record the file no longer holds shows black.
TEST_F(PlayerTest, ItemsLeftInTheirFilePlay) {
    test::TempRoot root;
    std::vector<Record> records;
    for (int i = 0; i < 3; ++i)
        records.push_back(patterned(4, 2, 20, i));
    const fs::path file = root.path() / "played.lgs";
    test::writeFile(file, sequenceBytes(records));
    std::vector<SequenceRecord> read;
    ASSERT_TRUE(readSequenceRecords(file, read));
    std::vector<PlayItem> items;
    for (SequenceRecord &record : read)
        items.push_back({4, 2, record.pixels, 20});
    SequencePlayer player(gate);
    player.start(items);
    ASSERT_TRUE(camera.waitForCommits(7));
    player.stop();
    auto commits = camera.commits();
    for (size_t k = 0; k < 7; ++k)
        EXPECT_EQ(commits[k].frame, records[k % 3].pixels) << k;

    player.start({items[1]});
    ASSERT_TRUE(camera.waitForCommits(commits.size() + 2));
    player.stop();
    EXPECT_EQ(camera.commits()[commits.size() + 1].frame, records[1].pixels);

    ASSERT_EQ(::truncate(file.c_str(), off_t(12 + 2 * (20 + 24))), 0);
    const size_t before = camera.commitCount();
    player.start({items[2]});
    ASSERT_TRUE(camera.waitForCommits(before + 1));
    player.stop();
    EXPECT_EQ(camera.commits()[before].frame, std::vector<uint8_t>(24, 0));
}

// An item not of the camera's size, or a failed exchange, ends the worker without sending.
TEST_F(PlayerTest, MismatchAndFailureEndTheWorker) {
    SequencePlayer player(gate);
    player.start({solidItem(4, 2, 1, 10), solidItem(5, 2, 2, 10)});
    ASSERT_TRUE(test::waitFor([&] { return !player.running(); }));
    EXPECT_EQ(player.end(), SequencePlayer::End::SizeMismatch);
    EXPECT_EQ(camera.commitCount(), 1u);

    camera.setFailures(S_OK, E_ACCESSDENIED);
    player.start({solidItem(4, 2, 1, 10)});
    ASSERT_TRUE(test::waitFor([&] { return !player.running(); }));
    EXPECT_EQ(player.end(), SequencePlayer::End::CameraFailed);
    EXPECT_EQ(player.result(), E_ACCESSDENIED);
}

}  // namespace
}  // namespace lumaghost
