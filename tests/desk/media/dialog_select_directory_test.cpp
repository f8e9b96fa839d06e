// SPDX-License-Identifier: LGPL-2.1-or-later
// The directory dialog: its values, what it stores, and its folder picker.
#include "desk/media/dialog_select_directory.h"
#include <gst/gst.h>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include "camera/device_discovery.h"
#include "camera/system_devices.h"
#include "desk/app/system_environment.h"
#include "desk/media/camera_properties_dialog.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/directory_player.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/media/real_camera.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "gst/playable_movie_types.h"
#include "platform/device_tree.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/media/fake_v4l2_node.h"
#include "tests/desk/media/media_fixture.h"
#include "tests/desk/ux_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::MediaTest;
using test::UxTest;
using test::withFileDialog;

// The dialog: the stored switches, the recent directories ("dir1 " ...), typed text and the
// display time honoured and stored by OK; Cancel stores the switches not.
TEST_F(MediaTest, SelectDirectoryDialog) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    EXPECT_EQ(parseDisplayTime(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(parseDisplayTime(QStringLiteral("0")), 0);
    for (const char *text : {"2.5", "", "-3", "ten"})
        EXPECT_EQ(parseDisplayTime(QString::fromLatin1(text)), 10) << text;
    EXPECT_EQ(parseDisplayTime(QStringLiteral("99999999999")), kMaxDisplayTime);
    EXPECT_EQ(stepPeriodMs(0), 10);
    EXPECT_EQ(stepPeriodMs(3), 3000);

    DeskContext &context = app().context();
    {
        CDialogSelectDirectory dialog(context);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select a Directory"));
        EXPECT_EQ(dialog.directoryCombo()->count(), 0);
        for (int id : {1017, 1018, 1019})
            EXPECT_TRUE(dialog.checkBox(id)->isChecked()) << id;
        EXPECT_FALSE(dialog.checkBox(CDialogSelectDirectory::kLoop)->isChecked());
        EXPECT_EQ(dialog.displayTime()->value(), 10);
        dialog.addDirectory(QStringLiteral("/srv/one"));
        dialog.directoryCombo()->setEditText(QStringLiteral("/srv/typed"));
        dialog.checkBox(1018)->setChecked(false);
        dialog.checkBox(CDialogSelectDirectory::kLoop)->setChecked(true);
        dialog.displayTime()->findChild<QLineEdit *>()->setText(QStringLiteral("2.5"));
        const DirectoryChoice c = dialog.choice();
        EXPECT_EQ(c.directory, QStringLiteral("/srv/typed"));
        EXPECT_EQ(c.displayTime, 10);
        dialog.displayTime()->findChild<QLineEdit *>()->setText(QStringLiteral("4"));
        dialog.accept();
    }
    const SettingsSnapshot stored = context.settings.snapshot();
    using namespace settings;
    EXPECT_EQ(stored.readInt(kSettings, kPicKeepRatio), 0);
    EXPECT_EQ(stored.readInt(kSettings, kPicLoop), 1);
    EXPECT_EQ(stored.readInt(kSettings, kPicDisplayTime), 4);
    EXPECT_EQ(stored.readString(kRecentDirectory, "dir1 ", ""), "/srv/typed");
    EXPECT_EQ(stored.readString(kRecentDirectory, "dir2 ", ""), "/srv/one");
    {
        CDialogSelectDirectory dialog(context);
        EXPECT_EQ(dialog.directoryCombo()->currentText(), QStringLiteral("/srv/typed"));
        EXPECT_EQ(dialog.directoryCombo()->count(), 2);
        EXPECT_EQ(dialog.displayTime()->value(), 4);
        dialog.checkBox(1017)->setChecked(false);
        dialog.reject();
    }
    EXPECT_EQ(context.settings.readInt(kSettings, kPicStretch), 1);
}

// The directory dialog's "..." asks for a folder, and the folder chosen goes into the box.
TEST_F(UxTest, DirectoryBrowseChoosesAFolder) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    const fs::path folder = root_.path() / "movies only";
    fs::create_directories(folder);
    CDialogSelectDirectory dialog(app().context(), &frame());
    withFileDialog([&] { dialog.browse(); },
                   [&](QFileDialog &files) {
                       EXPECT_EQ(files.fileMode(), QFileDialog::Directory);
                       EXPECT_TRUE(files.testOption(QFileDialog::ShowDirsOnly));
                       if (files.fileMode() != QFileDialog::Directory) {
                           files.reject();  // a file dialog never accepts a folder
                           return;
                       }
                       // Accepted in the folder itself, as its "Choose" button does.
                       files.setDirectory(QString::fromStdString(folder.string()));
                       files.selectFile(QString());
                       QMetaObject::invokeMethod(&files, "accept");
                   });
    EXPECT_EQ(dialog.directoryCombo()->currentText(), QString::fromStdString(folder.string()));
}

}  // namespace
}  // namespace lumaghost
