// SPDX-License-Identifier: LGPL-2.1-or-later
// The movie control bar: seeking on release, the sound, the times.
#include "desk/media/dialog_video_control.h"
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
#include "desk/media/dialog_select_directory.h"
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

using namespace cmd;
using test::MediaTest;
using test::UxMediaTest;
using test::waitFor;

// The bar on a stand-in movie: the position slider seeks only when let go, a movie that
// cannot seek has it disabled, sound and pause act and are stored.
class FakeTransport : public MovieTransport {
public:
    bool seekable = true;
    int64_t at = 0;
    std::vector<int64_t> seeks;
    std::vector<long> volumes;
    std::vector<std::string> calls;
    bool canSeek() override { return seekable; }
    HResult duration(int64_t &out) override {
        out = 90'000'000;  // 9 s
        return S_OK;
    }
    HResult position(int64_t &out) override {
        out = at;
        return S_OK;
    }
    HResult seek(int64_t p) override {
        seeks.push_back(p);
        return S_OK;
    }
    HResult setVolume(long v) override {
        volumes.push_back(v);
        return S_OK;
    }
    HResult run() override {
        calls.push_back("run");
        return S_OK;
    }
    HResult pause() override {
        calls.push_back("pause");
        return S_OK;
    }
};

TEST_F(MediaTest, ControlBarSeeksOnReleaseAndKeepsTheSound) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    CDialogVideoControl &bar = *movie().controlBar();
    FakeTransport movie;
    bar.AttachGraph(&movie);
    EXPECT_EQ(movie.volumes, std::vector<long>({-10000}));  // the first movie plays muted
    QSlider &position = *bar.positionSlider();
    EXPECT_TRUE(position.isEnabled());
    EXPECT_EQ(position.maximum(), 9000);

    position.setSliderDown(true);  // dragged: nothing yet
    position.setValue(4000);
    bar.onPositionTimer();  // the held thumb stays
    EXPECT_EQ(position.value(), 4000);
    EXPECT_TRUE(movie.seeks.empty());
    position.setSliderDown(false);  // let go
    EXPECT_EQ(movie.seeks, std::vector<int64_t>({40'000'000}));
    position.triggerAction(QAbstractSlider::SliderSingleStepAdd);  // a key
    EXPECT_EQ(movie.seeks.size(), 2u);
    movie.at = 12'340'000;
    bar.onPositionTimer();  // follows the movie without seeking
    EXPECT_EQ(position.value(), 1234);
    EXPECT_EQ(movie.seeks.size(), 2u);

    bar.soundButton()->click();
    bar.volumeSlider()->setValue(-600);
    EXPECT_EQ(movie.volumes, std::vector<long>({-10000, 0, -600}));
    bar.videoButton()->click();
    bar.videoButton()->click();
    bar.videoButton()->click();
    EXPECT_EQ(movie.calls, std::vector<std::string>({"pause", "run", "pause"}));
    const SettingsSnapshot stored = app().context().settings.snapshot();
    EXPECT_EQ(stored.readInt(settings::kSettings, settings::kPlaySoundTrack), 1);
    EXPECT_EQ(stored.readInt(settings::kSettings, settings::kPlaySoundTrackVolume), -600);

    // The next movie runs, and the button says so.
    FakeTransport fixed;
    fixed.seekable = false;
    bar.AttachGraph(&fixed);
    EXPECT_FALSE(bar.paused());
    EXPECT_FALSE(position.isEnabled());
    EXPECT_FALSE(bar.positionTimer().isActive());
    EXPECT_EQ(fixed.volumes, std::vector<long>({-600}));
    bar.videoButton()->click();
    EXPECT_EQ(fixed.calls, std::vector<std::string>({"pause"}));

    // A screen reader toggles the buttons through their accessible action, not a click.
    auto toggle = [](QWidget *button) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(accessible, nullptr);
        ASSERT_NE(accessible->actionInterface(), nullptr);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle(bar.videoButton());
    EXPECT_EQ(fixed.calls, std::vector<std::string>({"pause", "run"}));
    EXPECT_FALSE(bar.paused());
    toggle(bar.soundButton());
    EXPECT_EQ(fixed.volumes, std::vector<long>({-600, -10000}));
    bar.AttachGraph(nullptr);
}

// The movie bar shows the elapsed and the total time; the pane names the movie, and Stop Above
// says nothing plays.
TEST_F(UxMediaTest, MovieBarTimes) {
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(0), QStringLiteral("0:00"));
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(int64_t{61} * 10000000), QStringLiteral("1:01"));
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(int64_t{3661} * 10000000),
              QStringLiteral("1:01:01"));
    auto camera = startWithCamera();
    const QString file = clip("clip.avi", 25);  // 2.5 s at 10 frames a second
    ASSERT_EQ(playMovie(file), S_OK);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: movie ") + file);
    QLabel *time = movie().controlBar()->timeLabel();
    ASSERT_NE(time, nullptr);
    EXPECT_TRUE(time->text().endsWith(QStringLiteral(" / 0:02"))) << time->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return time->text().startsWith(QStringLiteral("0:01")); }, 5000))
        << time->text().toStdString();
    EXPECT_EQ(time->accessibleName(), time->text());
    run(kStopAbove);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: nothing plays"));
}

}  // namespace
}  // namespace lumaghost
