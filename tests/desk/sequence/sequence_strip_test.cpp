// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence strip: thumbnails in view, width, arrows, selection, the playing item's mark
// and its keys.
#include "desk/sequence/sequence_strip.h"
#include <gst/gst.h>
#include <sys/resource.h>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <thread>
#include "desk/app/system_environment.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/model/camera_gate.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "gst/playable_movie_types.h"
#include "media/sequence_file.h"
#include "platform/ini_file.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/ux_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

using namespace cmd;
using namespace std::chrono_literals;
using Running = CLumadeskApp::StartResult;
using test::UxTest;
using test::waitFor;

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
        strip.append(makeStripItem(pixels));
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

// A sequence that plays: the pane says which item of how many, the strip marks it, and each
// thumbnail has its display time under it; Stop takes the mark away.
TEST_F(UxTest, PlayingSequenceItemIsNamedAndMarked) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    run(kSequence);
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 255, 0)}) {
        ASSERT_TRUE(app().doc()->OnOpenDocument(
            picturePath((std::to_string(colour) + ".bmp").c_str(), colour)));
        run(kAddItem);
    }
    ASSERT_EQ(strip().count(), 2);
    EXPECT_EQ(strip().timeText(0), QStringLiteral("1000 ms"));
    EXPECT_FALSE(strip().timeRect(0).isEmpty());
    EXPECT_GE(strip().height(), SequenceStrip::kTotalHeight);
    EXPECT_LE(strip().timeRect(0).bottom(), strip().height() - 1);

    run(kPlaySequence);
    ASSERT_TRUE(waitFor([&] { return strip().playingItem() == 0; }));
    EXPECT_EQ(pane(), QStringLiteral("On the camera: sequence item 1 of 2"));
    ASSERT_TRUE(waitFor([&] { return strip().playingItem() == 1; }, 4000));
    EXPECT_EQ(pane(), QStringLiteral("On the camera: sequence item 2 of 2"));
    // The mark is drawn: the time row of the item on the camera has the highlight's colour.
    const QImage shown = strip().grab().toImage();
    const QRect row = strip().timeRect(1);
    EXPECT_EQ(shown.pixelColor(row.left() + 2, row.top() + 2),
              strip().palette().color(QPalette::Highlight));
    run(kStopSequence);
    EXPECT_EQ(strip().playingItem(), -1);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: nothing plays"));
}

// The strip takes the focus: the arrow keys select, Delete deletes the selected item.
TEST_F(UxTest, StripKeys) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    run(kSequence);
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}) {
        ASSERT_TRUE(app().doc()->OnOpenDocument(
            picturePath((std::to_string(colour) + ".bmp").c_str(), colour)));
        run(kAddItem);
    }
    EXPECT_NE(strip().focusPolicy() & Qt::TabFocus, 0);
    EXPECT_EQ(strip().selected(), -1);
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(strip().selected(), 0);
    EXPECT_TRUE(enabled(kDeleteItem));
    key(&strip(), Qt::Key_Right);
    key(&strip(), Qt::Key_Right);
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(strip().selected(), 2);
    key(&strip(), Qt::Key_Left);
    EXPECT_EQ(strip().selected(), 1);
    // The display-time bar follows the keys as it follows clicks.
    strip().item(2).frame.displayTime = 4000;
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(editor().displayTimeBar()->slider()->value(), 4000);
    key(&strip(), Qt::Key_Delete);
    EXPECT_EQ(strip().count(), 2);
    EXPECT_EQ(strip().selected(), 1);
}

}  // namespace
}  // namespace lumaghost
