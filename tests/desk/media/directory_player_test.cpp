// SPDX-License-Identifier: LGPL-2.1-or-later
// Directory playback: the scan rule, its steps, the current item, an unreadable picture and
// its end.
#include "desk/media/directory_player.h"
#include <gst/gst.h>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include "camera/device_discovery.h"
#include "camera/system_devices.h"
#include "desk/app/system_environment.h"
#include "desk/media/camera_properties_dialog.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/media/real_camera.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/media/fake_v4l2_node.h"
#include "tests/desk/media/media_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::MediaTest;
using test::waitFor;

// A directory of pictures, c.avi, d.txt and a folder e.jpg: the pictures, PNG and .jpeg among
// them. The list is in name order whatever order the file system keeps, letter case aside.
TEST_F(MediaTest, DirectoryScanRule) {
    const fs::path dir = root_.path() / "pictures";
    for (const char *file :
         {"d.txt", "b.jpg", "c.avi", "a.BMP", "B.Gif", "A.ico", "f.png", "F.jpeg"})
        test::writeFile(dir / file, "x");
    fs::create_directories(dir / "e.jpg");
    QStringList expected;
    for (const char *file : {"a.BMP", "A.ico", "B.Gif", "b.jpg", "F.jpeg", "f.png"})
        expected.append(QString::fromStdString((dir / file).string()));
    EXPECT_EQ(scanDirectoryPictures(QString::fromStdString(dir.string())), expected);
    EXPECT_TRUE(scanDirectoryPictures(QString()).isEmpty());
}

// Three pictures without loop: the first at once, the next at each step, the third stays and
// the timer stops. With loop the first comes again; the same directory resumes at the cursor;
// a run that ended starts again at the first; a directory without pictures starts nothing.
TEST_F(MediaTest, DirectoryPlaybackSteps) {
    auto camera = startWithCamera();
    const fs::path dir = root_.path() / "show";
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    for (int i = 0; i < 3; ++i)
        picture(dir / ("p" + std::to_string(i) + ".bmp"), colours[i]);
    DirectoryChoice choice;
    choice.directory = QString::fromStdString(dir.string());
    choice.flags = FitFlags{1, 0, 0};
    DirectoryPlayer &player = directory();
    const QStringList order = scanDirectoryPictures(choice.directory);
    // The colour of the picture "pN.bmp" at place `index` of the directory's order.
    auto colourOf = [&](int index) {
        return bgr(colours[QFileInfo(order[index]).baseName().mid(1).toInt()]);
    };

    player.start(choice);
    EXPECT_EQ(middle(*camera), colourOf(0));
    EXPECT_EQ(app().doc()->title(), order[0]);
    EXPECT_TRUE(player.stepTimer().isActive());
    EXPECT_EQ(player.stepTimer().interval(), 10000);
    EXPECT_EQ(movie().cameraSource(), CameraSource::Directory);
    EXPECT_FALSE(enabled(kStopAbove));  // no graph
    EXPECT_TRUE(enabled(kPlayMovie));
    player.step();
    EXPECT_EQ(middle(*camera), colourOf(1));
    player.step();
    EXPECT_EQ(middle(*camera), colourOf(2));
    EXPECT_FALSE(player.stepTimer().isActive());
    EXPECT_EQ(movie().cameraSource(), CameraSource::Idle);

    // Started again after its end: the first picture at once.
    choice.loop = true;
    choice.displayTime = 0;
    player.start(choice);
    EXPECT_EQ(middle(*camera), colourOf(0));
    EXPECT_EQ(player.stepTimer().interval(), 10);  // never a busy loop
    player.step();
    player.step();
    EXPECT_TRUE(player.stepTimer().isActive());
    EXPECT_EQ(player.cursor(), 0);  // the first comes next
    player.step();
    EXPECT_EQ(middle(*camera), colourOf(0));
    // The same directory again resumes at the cursor, with the next step.
    const uint64_t commits = camera->commitSequence();
    player.start(choice);
    EXPECT_EQ(camera->commitSequence(), commits);
    EXPECT_EQ(player.cursor(), 1);
    EXPECT_TRUE(player.stepTimer().isActive());

    // Stop Above ends it; a folder without pictures shows nothing and starts no timer.
    run(kStopAbove);  // disabled: the directory has no graph
    EXPECT_TRUE(player.stepTimer().isActive());
    movie().stopGraphPlayback();
    EXPECT_FALSE(player.stepTimer().isActive());
    fs::create_directories(root_.path() / "empty");
    choice.directory = QString::fromStdString((root_.path() / "empty").string());
    player.start(choice);
    EXPECT_EQ(camera->commitSequence(), commits);
    EXPECT_FALSE(player.stepTimer().isActive());
    EXPECT_TRUE(prompter_.shown.empty());
}

// A movie and a directory played become the current item, as an opened sequence does: the
// Service command then leaves AutoPlay alone instead of writing the sequence opened before.
TEST_F(MediaTest, MovieAndDirectoryBecomeTheCurrentItem) {
    auto camera = startWithCamera();
    const QString sequence = QString::fromStdString((root_.path() / "A.lgs").string());
    frame().parts().setCurrentItemPath(sequence);
    const QString file = clip("clip.avi");
    ASSERT_EQ(playMovie(file), S_OK);
    EXPECT_EQ(frame().parts().currentItemPath(), file);
    auto &service = dynamic_cast<PlayServiceCommand &>(*frame().parts().service());
    bool finished = false;
    QObject::connect(&service, &PlayServiceCommand::serviceCommandFinished,
                     [&finished] { finished = true; });
    service.serviceCommand();
    EXPECT_TRUE(waitFor([&] { return finished; }));
    EXPECT_FALSE(machineHive().value(kAutoPlayKey, "AutoPlay"));

    picture(root_.path() / "show" / "a.bmp", Qt::red);
    DirectoryChoice choice;
    choice.directory = QString::fromStdString((root_.path() / "show").string());
    frame().parts().setCurrentItemPath(sequence);
    directory().start(choice);
    EXPECT_EQ(frame().parts().currentItemPath(), choice.directory);
}

// A picture of the directory that cannot be read is told with the loader's reason, once however
// often the loop comes round to it, and the camera shows black for it.
TEST_F(MediaTest, UnreadableDirectoryPictureIsToldOnce) {
    auto camera = startWithCamera();
    const fs::path dir = root_.path() / "show";
    picture(dir / "a.bmp", Qt::red);
    test::writeFile(dir / "b.bmp", "not a picture");
    DirectoryChoice choice;
    choice.directory = QString::fromStdString(dir.string());
    choice.loop = true;
    directory().start(choice);
    EXPECT_EQ(middle(*camera), bgr(Qt::red));
    EXPECT_TRUE(prompter_.shown.empty());
    directory().step();
    EXPECT_EQ(middle(*camera), bgr(Qt::black));
    for (int i = 0; i < 4; ++i)
        directory().step();
    const std::string b = (dir / "b.bmp").string();
    EXPECT_EQ(messages(),
              std::vector<std::string>(
                  {"Can not load picture: " + b + " cannot be shown:\nNot a known picture type"}));
    EXPECT_TRUE(directory().playing());
}

// A camera that fails under a running playback: "Get Buffer ERROR!" once, and playback ends
// instead of showing the box again at every step.
TEST_F(MediaTest, DirectoryPlaybackEndsOnceTheCameraFails) {
    auto camera = startWithCamera();
    DirectoryChoice choice;
    choice.directory = QString::fromStdString((root_.path() / "show").string());
    choice.loop = true;
    picture(root_.path() / "show" / "a.bmp", Qt::red);
    picture(root_.path() / "show" / "b.bmp", Qt::red);
    directory().start(choice);
    ASSERT_TRUE(directory().playing());
    view().cameraLink() = CameraLink();
    directory().step();
    EXPECT_EQ(messages(), std::vector<std::string>({"DirectShow FAILED: Get Buffer ERROR!"}));
    EXPECT_FALSE(prompter_.shown[0].owned);
    EXPECT_FALSE(directory().playing());
}

}  // namespace
}  // namespace lumaghost
