// SPDX-License-Identifier: LGPL-2.1-or-later
// Movie playback with real graphs: playing, looping and stopping, RealMedia, files that cannot
// play, a removed file, and one source at a time.
#include "desk/media/movie_player.h"
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
#include "desk/media/directory_player.h"
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
using test::legacyFilters;
using test::MediaTest;
using test::waitFor;

// A movie plays muted, starts again at once at its end, and Stop Above ends it and hides the
// bar; closing the window ends a movie too.
TEST_F(MediaTest, MoviePlaysMutedLoopsAndStops) {
    auto camera = startWithCamera();
    const QString file = clip("clip.avi");
    ASSERT_EQ(playMovie(file), S_OK);
    EXPECT_EQ(movie().cameraSource(), CameraSource::Movie);
    EXPECT_TRUE(barShown());
    EXPECT_TRUE(enabled(kStopAbove));
    EXPECT_FALSE(enabled(kPlayMovie));
    EXPECT_FALSE(enabled(kPlayDirectory));
    EXPECT_EQ(movie().movieGraph()->volume(), -10000);  // PlaySoundTrack 0
    EXPECT_EQ(app().context().recentMovies.paths(), QStringList({file}));
    EXPECT_EQ(app().doc()->title(), file);

    ASSERT_TRUE(waitFor([&] { return movie().movieGraph()->loops() >= 2; }, 15000));
    EXPECT_GT(camera->commitSequence(), 20u);  // more than its ten frames
    // After the end the position is back near the start.
    CDialogVideoControl &bar = *movie().controlBar();
    ASSERT_TRUE(bar.positionTimer().isActive());
    EXPECT_EQ(bar.positionTimer().interval(), 1000);
    EXPECT_EQ(bar.positionSlider()->maximum(), 333);
    waitFor([&] { return movie().movieGraph()->loops() >= 3; }, 15000);
    bar.onPositionTimer();
    EXPECT_LT(bar.positionSlider()->value(), 333);

    run(kStopAbove);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(movie().cameraSource(), CameraSource::Idle);
    EXPECT_FALSE(barShown());
    EXPECT_FALSE(bar.positionTimer().isActive());
    EXPECT_FALSE(enabled(kStopAbove));
    EXPECT_TRUE(enabled(kPlayMovie));
    const uint64_t stopped = camera->commitSequence();
    pumpFor(200);
    EXPECT_EQ(camera->commitSequence(), stopped);

    ASSERT_EQ(playMovie(file), S_OK);
    prompter_.answers = {MessageAnswer::Yes};  // "Do you want to stop them?"
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(movie().graphExists());
}

// CLIP.RMVB needs the RealMedia demuxer (message 155 without it); clip.rm.avi is an AVI.
TEST_F(MediaTest, RealMediaNeedsItsDemuxer) {
    auto camera = startWithCamera();
    const QString avi = clip("clip.avi");
    const QString rmvb = QString::fromStdString((root_.path() / "files" / "CLIP.RMVB").string());
    const QString rmAvi = QString::fromStdString((root_.path() / "files" / "clip.rm.avi").string());
    fs::copy_file(avi.toStdString(), rmvb.toStdString());
    fs::copy_file(avi.toStdString(), rmAvi.toStdString());
    MediaServices without = MediaServices::system();
    without.legacyFilters = legacyFilters(false);
    frame().createMediaParts(without);

    EXPECT_EQ(playMovie(rmvb), VFW_E_NOT_FOUND);
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_EQ(prompter_.shown[0].caption, QStringLiteral("DirectShow FAILED"));
    EXPECT_EQ(prompter_.shown[0].text, QStringLiteral("In order to use RealMedia file,\nyou must "
                                                      "install RealPlayer and RealMedia Splitter "
                                                      "first!"));
    EXPECT_FALSE(prompter_.shown[0].owned);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(playMovie(rmAvi), S_OK);
    EXPECT_EQ(prompter_.shown.size(), 1u);

    MediaServices with = MediaServices::system();
    with.legacyFilters = legacyFilters(true);
    frame().createMediaParts(with);
    EXPECT_EQ(playMovie(rmvb), S_OK);
    EXPECT_EQ(prompter_.shown.size(), 1u);
}

// A file that is no movie: message 156, no graph, the camera keeps its frame. Sound without
// video: message 162, the element list on request and on the clipboard, then 0x80040209.
TEST_F(MediaTest, FilesThatCannotPlayAreReported) {
    auto camera = startWithCamera();
    const QString noise = QString::fromStdString((root_.path() / "files" / "noise.avi").string());
    test::writeFile(noise.toStdString(), std::string(4096, '\x42'));
    const uint64_t before = camera->commitSequence();
    EXPECT_EQ(playMovie(noise), kCannotRender);
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"DirectShow FAILED: Lumaghost can't render your moive file!"}));
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(camera->commitSequence(), before);

    const QString sound = make("sound.wav", "audiotestsrc num-buffers=20 ! wavenc");
    prompter_.shown.clear();
    ASSERT_TRUE(app().doc()->OnOpenDocument(sound));
    ASSERT_TRUE(waitFor([&] { return prompter_.shown.size() >= 4; }));
    const std::vector<std::string> shown = messages();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0],
              "Render ERROR: Lumadesk can't render this media!\n\nDo you want to see "
              "the more detail information");
    EXPECT_TRUE(prompter_.shown[0].owned);
    EXPECT_EQ(prompter_.shown[1].caption, QStringLiteral("Copy to clipboard?"));
    const QString details = prompter_.shown[1].text;
    EXPECT_TRUE(details.startsWith(QStringLiteral("DirectShow Filter Details\n\n"))) << shown[1];
    EXPECT_TRUE(details.contains(QStringLiteral("\nWAV audio demuxer"))) << shown[1];
    EXPECT_EQ(QGuiApplication::clipboard()->text(), details);
    EXPECT_EQ(prompter_.shown[2].text.section(u'\n', 0, 0),
              QStringLiteral("The details have been copied to clipboard!"));
    EXPECT_EQ(shown[3], "Play File Error: Sorry!\nCan't play movie file " + sound.toStdString() +
                            "\nError code is:0x80040209");
    EXPECT_FALSE(movie().graphExists());
    EXPECT_FALSE(barShown());
    EXPECT_TRUE(app().context().recentMovies.isEmpty());
}

// A movie whose file is removed while it plays ends with a message instead of looping on.
TEST_F(MediaTest, RemovedMovieFileEndsThePlayback) {
    auto camera = startWithCamera();
    const QString file = clip("gone.avi", 30);
    ASSERT_EQ(playMovie(file), S_OK);
    fs::remove(file.toStdString());
    ASSERT_TRUE(waitFor([&] { return !movie().graphExists(); }));
    EXPECT_EQ(messages(), std::vector<std::string>({"Lumadesk: The movie " + file.toStdString() +
                                                    " has stopped:\nThe file was removed."}));
    EXPECT_FALSE(barShown());
}

// One source at a time: each start ends the one before, the sequence's Play included.
TEST_F(MediaTest, OneSourceFeedsTheCamera) {
    auto real = install("0001", "Real Cam");
    auto camera = startWithCamera();
    auto *sequence = new test::FakeSequence;
    frame().parts().setSequence(std::unique_ptr<SequencePart>(sequence));
    picture(root_.path() / "show" / "a.bmp", Qt::red);
    DirectoryChoice choice;
    choice.directory = QString::fromStdString((root_.path() / "show").string());
    choice.loop = true;

    sequence->playing = true;
    directory().start(choice);
    EXPECT_FALSE(sequence->playing);
    EXPECT_EQ(movie().cameraSource(), CameraSource::Directory);
    ASSERT_EQ(playMovie(clip("clip.avi")), S_OK);
    EXPECT_FALSE(directory().playing());
    EXPECT_EQ(movie().cameraSource(), CameraSource::Movie);
    directory().start(choice);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(movie().cameraSource(), CameraSource::Directory);
    run(kFirstCamera);
    EXPECT_FALSE(directory().playing());
    EXPECT_EQ(movie().cameraSource(), CameraSource::RealCamera);
    sequence->items = 1;
    ASSERT_TRUE(enabled(kPlaySequence));
    run(kPlaySequence);
    EXPECT_TRUE(sequence->playing);
    EXPECT_EQ(movie().cameraSource(), CameraSource::Idle);

    // Closing the window ends directory playback too.
    directory().start(choice);
    EXPECT_TRUE(frame().close());
    EXPECT_FALSE(directory().playing());
}

// A movie slow to preroll starts without holding the window: a busy cursor at once, past half
// a second the status bar's progress names it, then it plays and both go.
TEST_F(MediaTest, SlowMovieStartsBehindABusyCursorThenPlays) {
    auto camera = startWithCamera();
    const QString file = slowClip("slow.avi", {100, 3000});
    ASSERT_EQ(view().playMovieFile(file), S_OK);
    EXPECT_TRUE(busyCursor());
    EXPECT_FALSE(barShown());
    EXPECT_TRUE(enabled(kStopAbove));
    QProgressBar *progress = startProgress();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isHidden());
    ASSERT_TRUE(waitFor([&] { return !progress->isHidden(); }, 2500));
    EXPECT_EQ(progress->accessibleName(), QStringLiteral("Starting the movie ") + file + u'…');
    EXPECT_EQ(frame().statusBar()->currentMessage(), progress->accessibleName());
    EXPECT_EQ(progress->maximum(), 0);  // indeterminate

    ASSERT_TRUE(waitFor([&] { return barShown(); }, 15000));
    EXPECT_FALSE(busyCursor());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(progress->isHidden());
    EXPECT_EQ(movie().cameraSource(), CameraSource::Movie);
    EXPECT_EQ(app().context().recentMovies.paths(), QStringList({file}));
    const uint64_t playing = camera->commitSequence();
    EXPECT_TRUE(waitFor([&] { return camera->commitSequence() > playing + 2; }));
    EXPECT_TRUE(prompter_.shown.empty());
}

// Stop Above during a start cancels it: nothing reaches the camera, no list, no message. A
// second start replaces a first one still under way.
TEST_F(MediaTest, StopDuringAStartCancelsItAndANewStartReplacesIt) {
    auto camera = startWithCamera();
    const QString slow = slowClip("slow.avi", {100, 3000});
    pumpFor(300);  // whatever the camera's own start shows has come
    const uint64_t before = camera->commitSequence();
    ASSERT_EQ(view().playMovieFile(slow), S_OK);
    ASSERT_TRUE(enabled(kStopAbove));
    run(kStopAbove);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    pumpFor(3500);
    EXPECT_EQ(camera->commitSequence(), before);
    EXPECT_FALSE(barShown());
    ASSERT_NE(startProgress(), nullptr);
    EXPECT_TRUE(startProgress()->isHidden());
    EXPECT_TRUE(app().context().recentMovies.isEmpty());
    EXPECT_TRUE(prompter_.shown.empty());

    ASSERT_EQ(view().playMovieFile(slow), S_OK);
    const QString quick = clip("quick.avi", 30);
    ASSERT_EQ(playMovie(quick), S_OK);
    pumpFor(3500);
    EXPECT_EQ(movie().currentFile(), quick);
    EXPECT_EQ(app().doc()->title(), quick);
    EXPECT_EQ(app().context().recentMovies.paths(), QStringList({quick}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(prompter_.shown.empty());
}

// A file that turns out to be no movie during its start is told once, with the message of a
// movie that cannot be rendered, and leaves no graph.
TEST_F(MediaTest, ErrorDuringAStartIsToldOnce) {
    auto camera = startWithCamera();
    ASSERT_TRUE(test::registerSlowSource());
    test::setSlowFileTimes({100, 600});
    const std::string noise = (root_.path() / "files" / "noise.avi").string();
    test::writeFile(noise, std::string(4096, '\x42'));
    ASSERT_EQ(view().playMovieFile(QString::fromStdString(test::slowFileUri(noise))), S_OK);
    ASSERT_TRUE(waitFor([&] { return !movie().graphExists(); }, 15000));
    pumpFor(1500);
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"DirectShow FAILED: Lumaghost can't render your moive file!"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(barShown());
}

// The movie part going while a start is under way, and the window closing then: the start
// ends quietly, nothing reaches the camera, and the close asks nothing.
TEST_F(MediaTest, TeardownDuringAPendingStart) {
    auto camera = startWithCamera();
    const QString slow = slowClip("slow.avi", {100, 2000});
    pumpFor(300);  // whatever the camera's own start shows has come
    const uint64_t before = camera->commitSequence();
    ASSERT_EQ(view().playMovieFile(slow), S_OK);
    frame().createMediaParts(MediaServices::system());  // the old parts go
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(movie().graphExists());
    pumpFor(3000);
    EXPECT_EQ(camera->commitSequence(), before);
    EXPECT_TRUE(prompter_.shown.empty());
    ASSERT_NE(startProgress(), nullptr);
    EXPECT_TRUE(startProgress()->isHidden());

    ASSERT_EQ(view().playMovieFile(slow), S_OK);
    EXPECT_TRUE(frame().close());
    EXPECT_TRUE(prompter_.shown.empty());
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace lumaghost
