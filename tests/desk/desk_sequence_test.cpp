// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence: the strip, the display-time bar, editing, saving and opening .lgs files, and
// the worker that plays the sequence into the camera.
#include <sys/resource.h>
#include <sys/stat.h>

#include <thread>

#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>

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

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using namespace std::chrono_literals;
using Running = CLumadeskApp::StartResult;

PlayItem solidItem(int width, int height, uint8_t value, uint32_t time, size_t bytes = 0) {
    PlayItem item;
    item.width = width;
    item.height = height;
    item.displayTime = time;
    item.pixels = std::make_shared<const FramePixels>(
        std::vector<uint8_t>(bytes ? bytes : size_t(width) * height * 3, value));
    return item;
}

/// One record of a file written by hand: its size, display time and pixel block.
struct Record {
    int width;
    int height;
    uint32_t time;
    std::vector<uint8_t> pixels;  // width × height × 3, bottom row first
};

/// Record `index` of a test file: every byte its own, so that a record misplaced, cut or taken
/// for another shows.
Record patterned(int width, int height, uint32_t time, int index) {
    Record record{width, height, time, std::vector<uint8_t>(size_t(width) * height * 3)};
    for (size_t k = 0; k < record.pixels.size(); ++k)
        record.pixels[k] = uint8_t(k * 7 + size_t(index) * 31 + k / 251);
    return record;
}

/// A sequence file's bytes, made without the code under test.
std::string sequenceBytes(const std::vector<Record> &records) {
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

/// The pixel bytes the strip's items hold in memory.
size_t pixelBytesHeld(const SequenceStrip &strip) {
    size_t held = 0;
    for (int i = 0; i < strip.count(); ++i)
        if (const auto &pixels = strip.item(i).frame.pixels; pixels && pixels->inMemory())
            held += pixels->size();
    return held;
}

void leaveEdit(QLineEdit *edit, const QString &text) {
    edit->setText(text);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
}

// The edit takes its leading digits, clamped to 1000 ... 10000, and moves the slider; the slider
// writes the edit; showing an item's time never changes it.
TEST(DisplayTimeTest, EditClampsAndSliderFollows) {
    test::ensureApplication();
    CShowTime bar;
    std::vector<int> told;
    QObject::connect(&bar, &CShowTime::displayTimeChanged, [&](int ms) { told.push_back(ms); });
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("1000"));
    EXPECT_EQ(bar.slider()->minimum(), 1000);
    EXPECT_EQ(bar.slider()->maximum(), 10000);
    EXPECT_EQ(bar.slider()->pageStep(), 1000);
    leaveEdit(bar.edit(), QStringLiteral("4000"));  // refers to nothing: told to nobody
    EXPECT_TRUE(told.empty());

    bar.referTo(10);  // an item of 10 ms from a file keeps its time while it is looked at
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("10"));
    EXPECT_TRUE(told.empty());
    for (const char *typed : {"250", "12000", "abc", "  3500ms", "-7", "99999999999999999999"})
        leaveEdit(bar.edit(), QString::fromLatin1(typed));
    EXPECT_EQ(told, (std::vector<int>{1000, 10000, 1000, 3500, 1000, 10000}));
    EXPECT_EQ(bar.slider()->value(), 10000);
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("10000"));
    bar.slider()->setValue(6000);
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("6000"));
    EXPECT_EQ(told.back(), 6000);
}

// 600 pixels hold 4 thumbnails; with 6 items the right arrow shows, and one click on it shows
// the second to the fifth and the left arrow; a click on a thumbnail selects its item.
// A loaded sequence of many items has thumbnails for the items in view only: memory follows
// what the strip shows, not the file. Scrolling makes the next one and lets the first go.
TEST(SequenceStripTest, ThumbnailsOnlyForItemsInView) {
    test::ensureApplication();
    SequenceStrip strip;
    strip.resize(600, SequenceStrip::kHeight);
    std::vector<PlayItem> items(5000);
    for (PlayItem &item : items) {
        item.width = 4;
        item.height = 3;
        item.displayTime = 0;
        item.pixels = std::make_shared<const FramePixels>(std::vector<uint8_t>(4 * 3 * 3, 200));
    }
    strip.replace(std::move(items));
    strip.waitForThumbnails();
    auto made = [&] {
        std::vector<int> with;
        for (int i = 0; i < strip.count(); ++i)
            if (!strip.item(i).thumbnail.isNull())
                with.push_back(i);
        return with;
    };
    EXPECT_EQ(made(), std::vector<int>({0, 1, 2, 3, 4}));  // four in view and the cut one
    const QPoint at = strip.rightArrowRect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, strip.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&strip, &press);
    strip.waitForThumbnails();
    EXPECT_EQ(made(), std::vector<int>({1, 2, 3, 4, 5}));
}

TEST(SequenceStripTest, WidthArrowsAndSelection) {
    test::ensureApplication();
    SequenceStrip strip;
    strip.resize(600, SequenceStrip::kHeight);
    std::vector<int> selected;
    QObject::connect(&strip, &SequenceStrip::selectionChanged,
                     [&](int index) { selected.push_back(index); });
    QImage pixels(8, 6, QImage::Format_RGB32);
    for (int i = 0; i < 6; ++i) {
        pixels.fill(qRgb(i * 40, 0, 0));
        strip.append(MakeStripItem(pixels));
    }
    EXPECT_EQ(strip.visibleCount(), 4);
    EXPECT_TRUE(strip.rightArrowShown());
    EXPECT_FALSE(strip.leftArrowShown());
    auto click = [&](QPoint at) {
        QMouseEvent press(QEvent::MouseButtonPress, at, strip.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&strip, &press);
    };
    click(strip.rightArrowRect().center());
    EXPECT_EQ(strip.firstVisible(), 1);
    EXPECT_TRUE(strip.leftArrowShown());
    EXPECT_TRUE(strip.rightArrowShown());  // 4 shown of the 5 from the second on
    click(QPoint(2 * SequenceStrip::kPitch + 20, 40));
    EXPECT_EQ(strip.selected(), 3);
    click(QPoint(2 * SequenceStrip::kPitch + 20, 40));  // the same: no new selection
    EXPECT_EQ(selected, std::vector<int>{3});
    // The thumbnail is the item scaled to 136 x 102; the frame keeps the pixels bottom-up.
    EXPECT_EQ(strip.item(5).thumbnail.size(), QSize(136, 102));
    EXPECT_EQ(strip.item(5).thumbnail.pixel(60, 50), qRgb(200, 0, 0));
    EXPECT_EQ(strip.item(5).frame.pixels->data()[2], 200);
    strip.remove(5);
    strip.remove(3);
    EXPECT_EQ(strip.selected(), 3);  // the item that came into its place
    strip.remove(3);
    EXPECT_EQ(strip.selected(), 2);  // the new last one
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
    ASSERT_TRUE(ReadSequenceRecords(file, read));
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

class SequenceTest : public test::DeskFixture {
protected:
    /// A command as a menu runs it: the states brought up to date, then the command.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    SequenceTest() {
        cameraOutcome_ = CameraStart::Outcome::Ready;
        camera_.setSize(32, 24);
    }
    SequenceEditor &editor() { return dynamic_cast<SequenceEditor &>(*frame().parts().sequence()); }
    SequenceStrip &strip() { return *editor().strip(); }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    /// Opens a picture of one colour and adds what the pick frame covers.
    void addColour(QRgb colour) {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(colour);
        const fs::path file = root_.path() / "colours" / (std::to_string(colour) + ".bmp");
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(image.save(QString::fromStdString(file.string())));
        ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
        run(kAddItem);
    }
    void select(int index) {
        const QPoint at((index - strip().firstVisible()) * SequenceStrip::kPitch + 30, 40);
        QMouseEvent press(QEvent::MouseButtonPress, at, strip().mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&strip(), &press);
    }
    /// The file an independent writer makes of the strip's frames.
    std::string expectedFile() {
        std::string out = "QmSq";
        auto i32 = [&](uint32_t v) {
            for (int b = 0; b < 4; ++b)
                out.push_back(char(v >> (8 * b)));
        };
        const int n = strip().count(), w = strip().item(0).frame.width,
                  h = strip().item(0).frame.height;
        const uint32_t record = uint32_t(w * h * 3 + 20);
        i32(uint32_t(n));
        i32(12 + uint32_t(n) * record);
        for (int i = 0; i < n; ++i) {
            out += "QmLg";
            i32(uint32_t(w));
            i32(uint32_t(h));
            i32(record);
            i32(strip().item(i).frame.displayTime);
            std::vector<uint8_t> pixels;
            EXPECT_TRUE(strip().item(i).frame.pixels->readAll(pixels));
            out.append(pixels.begin(), pixels.end());
        }
        return out;
    }
    std::optional<RegValue> autoPlay() { return machineHive().value(kAutoPlayKey, "AutoPlay"); }
};

// Three items added, one given 2500 ms in the bar, saved: the file is the independent writer's,
// it joins the recent list, and with AutoSaveSequenceForNext = 1 it becomes the auto-play item
// without a question; with 0, "No" leaves the auto-play item alone. Opened again it gives the
// same items; a damaged file says "Read File Error!" and leaves them.
TEST_F(SequenceTest, AddTimeSaveAndOpen) {
    ASSERT_EQ(start(), Running::Running);
    run(kSequence);
    EXPECT_FALSE(enabled(kSave));
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)})
        addColour(colour);
    ASSERT_EQ(strip().count(), 3);
    EXPECT_EQ(strip().item(0).frame.width, 32);
    EXPECT_EQ(strip().item(2).frame.height, 24);
    EXPECT_EQ(strip().item(1).frame.pixels->data()[1], 255);  // green, bottom-up bytes
    EXPECT_EQ(strip().selected(), -1);
    EXPECT_FALSE(enabled(kDeleteItem));
    EXPECT_TRUE(enabled(kSave));

    QWidget *barBand = frame().controlBar(kDisplayTimeBar)->parentWidget();
    EXPECT_FALSE(barBand->isEnabled());
    select(1);
    EXPECT_TRUE(barBand->isEnabled());
    EXPECT_TRUE(enabled(kDeleteItem));
    leaveEdit(editor().displayTimeBar()->edit(), QStringLiteral("2500"));
    EXPECT_EQ(strip().item(1).frame.displayTime, 2500u);

    SettingsStore store(userHive(), errors_);
    store.writeInt(settings::kSettings, settings::kAutoSaveSequenceForNext.name, 1);
    frame().view()->readSettings();
    const fs::path first = root_.path() / "saved" / "three.lgs";
    fs::create_directories(first.parent_path());
    editor().setSaveDialog([&] { return QString::fromStdString(first.string()); });
    prompter_.shown.clear();
    run(kSave);
    EXPECT_EQ(test::readFile(first), expectedFile());
    EXPECT_TRUE(prompter_.shown.empty());
    ASSERT_TRUE(autoPlay());
    EXPECT_EQ(autoPlay()->text, first.string());
    EXPECT_EQ(machineHive().value(kAutoPlayKey, "AutoPlayType")->dword, 1u);
    EXPECT_EQ(app().context().recentSequences.paths(),
              QStringList({QString::fromStdString(first.string())}));

    store.writeInt(settings::kSettings, settings::kAutoSaveSequenceForNext.name, 0);
    frame().view()->readSettings();
    const fs::path second = root_.path() / "saved" / "again.lgs";
    editor().setSaveDialog([&] { return QString::fromStdString(second.string()); });
    prompter_.answers = {MessageAnswer::No};
    run(kSave);
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"Auto play: Auto play this sequence when you reboot next time?"}));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(autoPlay()->text, first.string());
    EXPECT_EQ(app().context().recentSequences.count(), 2);

    // Opened again, from picture mode: sequence mode, the items, their times and thumbnails.
    run(kSequence);
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(first.string())));
    EXPECT_TRUE(frame().stripShown());
    ASSERT_EQ(strip().count(), 3);
    EXPECT_EQ(strip().selected(), -1);
    EXPECT_EQ(strip().item(1).frame.displayTime, 2500u);
    strip().waitForThumbnails();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(strip().item(i).thumbnail.isNull()) << i;
    EXPECT_EQ(strip().item(2).thumbnail.pixel(10, 10), qRgb(0, 0, 255));
    EXPECT_EQ(frame().parts().currentItemPath(), QString::fromStdString(first.string()));

    const fs::path damaged = root_.path() / "damaged.lgs";
    std::string bytes = test::readFile(first);
    bytes.resize(bytes.size() - 1);
    test::writeFile(damaged, bytes);
    prompter_.shown.clear();
    app().doc()->OnOpenDocument(QString::fromStdString(damaged.string()));
    EXPECT_EQ(messages(), std::vector<std::string>({"Lumadesk: Read File Error!"}));
    EXPECT_EQ(strip().count(), 3);
}

// Deleting the only item leaves no selection, and Delete, Play and Save disabled.
TEST_F(SequenceTest, DeletingTheOnlyItem) {
    ASSERT_EQ(start(), Running::Running);
    run(kSequence);
    addColour(qRgb(1, 2, 3));
    select(0);
    EXPECT_TRUE(enabled(kDeleteItem));
    run(kDeleteItem);
    EXPECT_EQ(strip().count(), 0);
    EXPECT_EQ(strip().selected(), -1);
    for (int id : {kDeleteItem, kPlaySequence, kSave})
        EXPECT_FALSE(enabled(id)) << id;
}

// Play plays what the sequence was when it was pressed; Add stays allowed and counts from the
// next Play; Play, Stop, Play leaves one worker; leaving sequence mode does not stop it: Stop
// does, from the Sequence menu.
TEST_F(SequenceTest, PlayTakesASnapshotAndStops) {
    ASSERT_EQ(start(), Running::Running);
    run(kSequence);
    addColour(qRgb(255, 0, 0));
    run(kPlaySequence);
    EXPECT_TRUE(editor().isPlaying());
    EXPECT_FALSE(enabled(kPlaySequence));
    ASSERT_TRUE(camera_.waitForCommits(1));
    EXPECT_TRUE(enabled(kAddItem));
    addColour(qRgb(0, 255, 0));
    EXPECT_EQ(strip().count(), 2);

    run(kStopSequence);
    for (const auto &commit : camera_.commits())  // only the red one went out
        EXPECT_EQ(commit.frame[1], 0);
    EXPECT_FALSE(editor().isPlaying());
    EXPECT_FALSE(editor().player().running());
    run(kPlaySequence);
    run(kStopSequence);
    const size_t before = camera_.commitCount();
    run(kPlaySequence);
    ASSERT_TRUE(camera_.waitForCommits(before + 2, 3000));
    const auto commits = camera_.commits();
    EXPECT_EQ(commits[before].frame[2], 255);      // red
    EXPECT_EQ(commits[before + 1].frame[1], 255);  // then green
    EXPECT_EQ(commits.size(), before + 2);

    run(kSequence);  // back to picture mode
    EXPECT_TRUE(editor().isPlaying());
    EXPECT_TRUE(editor().player().running());
    const size_t inPictureMode = camera_.commitCount();
    ASSERT_TRUE(camera_.waitForCommits(inPictureMode + 1, 3000));
    EXPECT_TRUE(enabled(kStopSequence));
    run(kStopSequence);
    EXPECT_FALSE(editor().isPlaying());
    EXPECT_FALSE(editor().player().running());
}

// An opened sequence keeps its pixels in its file: the strip holds none of them, even once the
// thumbnails in view are made, and the thumbnails of frames larger than four times theirs
// (sampled a few rows at a time) still show each frame's colour.
TEST_F(SequenceTest, OpenedSequenceKeepsItsPixelsInTheFile) {
    ASSERT_EQ(start(), Running::Running);
    std::vector<Record> records;
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(9, 99, 199)};
    for (QRgb colour : colours) {
        Record record{1200, 900, 1000, {}};
        for (int k = 0; k < 1200 * 900; ++k)
            record.pixels.insert(
                record.pixels.end(),
                {uint8_t(qBlue(colour)), uint8_t(qGreen(colour)), uint8_t(qRed(colour))});
        records.push_back(std::move(record));
    }
    const fs::path file = root_.path() / "large.lgs";
    test::writeFile(file, sequenceBytes(records));
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
    QCoreApplication::processEvents();
    strip().waitForThumbnails();
    ASSERT_EQ(strip().count(), 4);
    EXPECT_EQ(pixelBytesHeld(strip()), 0u);
    for (int i = 0; i < 4; ++i) {
        const QImage &thumbnail = strip().item(i).thumbnail;
        ASSERT_FALSE(thumbnail.isNull()) << i;
        EXPECT_EQ(thumbnail.pixel(5, 5), colours[i]) << i;
        EXPECT_EQ(thumbnail.pixel(130, 97), colours[i]) << i;
    }
}

// A sequence opened, edited (a display time set, an item deleted, one added) and saved gives
// the bytes of the file it came from with those edits, whether saved under a new name, over
// the file it was opened from (its pixels are still read from there), or again after opening
// the saved file.
TEST_F(SequenceTest, EditedSequenceSavesByteExact) {
    ASSERT_EQ(start(), Running::Running);
    std::vector<Record> records;
    for (int i = 0; i < 5; ++i)
        records.push_back(patterned(32, 24, uint32_t(1000 + 500 * i), i));
    const fs::path opened = root_.path() / "opened.lgs";
    test::writeFile(opened, sequenceBytes(records));
    ::chmod(opened.c_str(), 0640);
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(opened.string())));
    ASSERT_EQ(strip().count(), 5);
    select(1);
    leaveEdit(editor().displayTimeBar()->edit(), QStringLiteral("7000"));
    select(3);
    run(kDeleteItem);
    addColour(qRgb(255, 0, 0));
    ASSERT_EQ(strip().count(), 5);

    std::vector<Record> edited = {records[0], records[1], records[2], records[4],
                                  Record{32, 24, 1000, {}}};
    edited[1].time = 7000;
    for (int k = 0; k < 32 * 24; ++k)
        edited[4].pixels.insert(edited[4].pixels.end(), {0, 0, 255});
    const std::string expected = sequenceBytes(edited);

    const fs::path renamed = root_.path() / "saved" / "edited.lgs";
    fs::create_directories(renamed.parent_path());
    QString target = QString::fromStdString(renamed.string());
    editor().setSaveDialog([&] { return target; });
    prompter_.answers = {MessageAnswer::No};
    run(kSave);
    EXPECT_TRUE(test::readFile(renamed) == expected) << renamed;

    target = QString::fromStdString(opened.string());
    prompter_.answers = {MessageAnswer::No};
    run(kSaveAs);
    EXPECT_TRUE(test::readFile(opened) == expected) << opened;
    EXPECT_EQ(fs::status(opened).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const auto &entry : fs::directory_iterator(root_.path()))
        EXPECT_EQ(entry.path().filename().string().find("opened.lgs."), std::string::npos)
            << entry.path();  // no file written beside it is left

    // The items still read from the file they came from, replaced meanwhile.
    const fs::path again = root_.path() / "saved" / "again.lgs";
    target = QString::fromStdString(again.string());
    prompter_.answers = {MessageAnswer::No};
    run(kSave);
    EXPECT_TRUE(test::readFile(again) == expected) << again;

    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(renamed.string())));
    ASSERT_EQ(strip().count(), 5);
    prompter_.answers = {MessageAnswer::No};
    run(kSave);
    EXPECT_TRUE(test::readFile(again) == expected) << again;
}

// Items of a large camera, left in their file, play into it byte for byte, in order and round
// again: each read ahead while the one before is shown.
TEST_F(SequenceTest, LargeItemsPlayIntoTheCamera) {
    camera_.setSize(1280, 720);
    ASSERT_EQ(start(), Running::Running);
    std::vector<Record> records;
    for (int i = 0; i < 3; ++i)
        records.push_back(patterned(1280, 720, 30, i));
    const fs::path file = root_.path() / "camera.lgs";
    test::writeFile(file, sequenceBytes(records));
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
    ASSERT_EQ(strip().count(), 3);
    EXPECT_EQ(pixelBytesHeld(strip()), 0u);
    run(kPlaySequence);
    ASSERT_TRUE(camera_.waitForCommits(5, 10000));
    run(kStopSequence);
    const auto commits = camera_.commits();
    ASSERT_GE(commits.size(), 5u);
    for (size_t k = 0; k < 5; ++k)
        EXPECT_TRUE(commits[k].frame == records[k % 3].pixels) << k;
}

}  // namespace
}  // namespace lumaghost
