// SPDX-License-Identifier: LGPL-2.1-or-later
// Where the preview window goes beside the main window.
#include "desk/media/preview_window.h"
#include <gst/gst.h>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
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
#include "desk/app/system_environment.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "gst/playable_movie_types.h"
#include "platform/ini_file.h"
#include "tests/desk/desk_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

using namespace cmd;

// The preview goes beside the main window: to its right, else its left, else below or above;
// over it only when the screen has no room anywhere.
TEST(PreviewPlaceTest, BesideTheOwnerOnItsScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(320, 240);
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(100, 100, 580, 460), size, screen),
              QRect(688, 100, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(1300, 100, 580, 460), size, screen),
              QRect(972, 100, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(0, 0, 1800, 500), size, screen),
              QRect(0, 508, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(0, 600, 1800, 480), size, screen),
              QRect(0, 352, 320, 240));
    // Low on the screen: moved up to stay on it.
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(100, 900, 580, 170), size, screen),
              QRect(688, 840, 320, 240));
    // A maximised owner: over its lower right, never over its menu bar.
    const QRect full = PreviewWindow::placeBeside(screen, size, screen);
    EXPECT_EQ(full, QRect(1600, 840, 320, 240));
    // A second screen to the right: placed on the owner's.
    const QRect right(1920, 0, 1280, 1024);
    EXPECT_TRUE(right.contains(PreviewWindow::placeBeside(QRect(2000, 50, 580, 460), size, right)));
}

}  // namespace
}  // namespace lumaghost
