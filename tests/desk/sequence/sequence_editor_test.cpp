// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence in the window: adding, timing, saving, opening, deleting and playing items.
#include "desk/sequence/sequence_editor.h"
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

using test::leaveEdit;

namespace fs = std::filesystem;
using namespace cmd;
using namespace std::chrono_literals;
using Running = CLumadeskApp::StartResult;

/// The pixel bytes the strip's items hold in memory.
size_t pixelBytesHeld(const SequenceStrip &strip) {
    size_t held = 0;
    for (int i = 0; i < strip.count(); ++i)
        if (const auto &pixels = strip.item(i).frame.pixels; pixels && pixels->inMemory())
            held += pixels->size();
    return held;
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
