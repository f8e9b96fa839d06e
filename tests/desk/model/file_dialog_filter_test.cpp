// SPDX-License-Identifier: LGPL-2.1-or-later
// The file dialogs' filters from the packs' filter texts.
#include "desk/model/file_dialog_filter.h"
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
#include "desk/media/preview_window.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
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

// The filters show their patterns once, "*" for every file, the movie types GStreamer plays
// beside the legacy ones, and File Open starts on the filter of everything Lumadesk opens.
TEST(FileDialogFilterTest, PatternsOnceAndAllFiles) {
    EXPECT_EQ(fileDialogFilter("AVI files(*.avi)|*.avi|Microsoft Media(*.wmv;*.asf)|*.wmv;*.asf|"
                               "All Files (*.*)|*.*||"),
              QStringLiteral("AVI files (*.avi);;Microsoft Media (*.wmv *.asf);;All Files (*)"));
    EXPECT_EQ(fileDialogFilter("Picture Files (bmp dib jpg)|*.bmp;*.dib;*.jpg||"),
              QStringLiteral("Picture Files (*.bmp *.dib *.jpg)"));
    // A name whose parentheses say something else keeps them.
    EXPECT_EQ(fileDialogFilter("Pictures (old)|*.bmp||"), QStringLiteral("Pictures (old) (*.bmp)"));
    const QString movies = fileDialogFilter(
        "All support movie format|*.avi;*.wmv;*.mpg|AVI files(*.avi)|*.avi||", {"mp4", "avi"});
    EXPECT_EQ(movies, QStringLiteral("All support movie format (*.avi *.wmv *.mpg *.mp4);;"
                                     "AVI files (*.avi)"));
    EXPECT_EQ(openDialogFilter("Movies|*.avi;*.mpg|Sequences|*.lgs|Pictures|*.jpg|All|*.*||",
                               "Everything", {"mkv"}),
              QStringLiteral("Everything (*.avi *.mpg *.mkv *.lgs *.jpg);;Movies (*.avi *.mpg "
                             "*.mkv);;Sequences (*.lgs);;Pictures (*.jpg);;All (*)"));
}

// The movie types offered are those this machine's GStreamer plays.
TEST(FileDialogFilterTest, MovieTypesGStreamerPlays) {
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    const std::vector<std::string> types = playableMovieTypes({"mkv", "mp4", "webm", "nosuchtype"});
    auto has = [&](const char *type) {
        return std::find(types.begin(), types.end(), type) != types.end();
    };
    auto installed = [](const char *element) {
        GstElementFactory *factory = gst_element_factory_find(element);
        if (factory)
            gst_object_unref(factory);
        return factory != nullptr;
    };
    EXPECT_EQ(has("mkv"), installed("matroskademux"));
    EXPECT_EQ(has("webm"), installed("matroskademux"));
    EXPECT_EQ(has("mp4"), installed("qtdemux"));
    EXPECT_FALSE(has("nosuchtype"));
    // gstreamer1.0-plugins-good is a dependency: both demuxers are here.
    EXPECT_TRUE(has("mkv") && has("mp4"));
}

}  // namespace
}  // namespace lumaghost
