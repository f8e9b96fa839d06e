// SPDX-License-Identifier: LGPL-2.1-or-later
// The document: the file kinds, the open dialog's filters and where it starts.
#include "desk/window/lumadesk_doc.h"
#include <gst/gst.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
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
#include <fstream>
#include <sstream>
#include <thread>
#include "desk/app/shell_registration.h"
#include "desk/app/single_instance.h"
#include "desk/app/system_environment.h"
#include "desk/dialogs/about_dlg.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "gst/playable_movie_types.h"
#include "platform/ini_file.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/ux_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

using namespace cmd;
using test::UxTest;
using test::withFileDialog;

TEST(DocumentTest, KindByExtensionAndDialogFilter) {
    using Kind = CLumadeskDoc::FileKind;
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/PHOTO.JPG"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.jpg"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/x.Wmf"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/show.LGS"), Kind::Sequence);
    // Whatever the picture readers load is a picture too, .jpeg and .jpe among them.
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.jpeg"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.JPE"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/p2.png"), Kind::Picture);
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        EXPECT_EQ(CLumadeskDoc::kindOf("/a/x." + QString::fromLatin1(format)), Kind::Picture)
            << format.toStdString();
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/clip.avi"), Kind::Movie);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a.jpg/readme"), Kind::Movie);
    const QString widened =
        withReaderPictures(QStringLiteral("Pictures|*.bmp;*.jpg|All Files (*.*)|*.*||"));
    EXPECT_TRUE(
        widened.startsWith(QStringLiteral("Pictures|*.bmp;*.dib;*.emf;*.gif;*.ico;*.jpg;"
                                          "*.wmf;*.jpeg;*.jpe;")))
        << widened.toStdString();
    EXPECT_TRUE(widened.contains(QStringLiteral(";*.png")));
    EXPECT_TRUE(widened.endsWith(QStringLiteral("|All Files (*.*)|*.*||")));
    EXPECT_EQ(fileDialogFilter("Picture Sequence File(*.lgs)|*.lgs|All Files (*.*)|*.*||"),
              QStringLiteral("Picture Sequence File (*.lgs);;All Files (*)"));
}

TEST_F(UxTest, FileOpenStartsOnEverythingLumadeskOpens) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    withFileDialog([&] { app().doc()->onFileOpen(); },
                   [](QFileDialog &dialog) {
                       const QString selected = dialog.selectedNameFilter();
                       EXPECT_TRUE(selected.startsWith(QStringLiteral("All files Lumadesk opens")))
                           << selected.toStdString();
                       for (const char *pattern : {"*.jpg", "*.lgs", "*.avi", "*.mkv", "*.wmf"})
                           EXPECT_TRUE(selected.contains(QLatin1String(pattern))) << pattern;
                       for (const QString &filter : dialog.nameFilters())
                           EXPECT_EQ(filter.count(u'('), 1) << filter.toStdString();
                       EXPECT_TRUE(dialog.nameFilters().last().endsWith(QStringLiteral("(*)")));
                       dialog.reject();
                   });
}

}  // namespace
}  // namespace lumaghost
