// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk on a small camera of its own, as a desktop's user meets it, and a file dialog that a
// test answers.
#pragma once

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

namespace lumaghost::test {

namespace fs = std::filesystem;
using namespace cmd;

inline constexpr ChannelFormat kCameraFormat{64, 48, 30};

class UxTest : public test::DeskFixture {
protected:
    UxTest() {
        cameraOutcome_ = CameraStart::Outcome::Ready;
        camera_.setSize(64, 48);
    }
    /// A command as a menu runs it: the states brought up to date, then the command.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    CLumadeskView &view() { return *frame().view(); }
    PictureEditor &picture() { return dynamic_cast<PictureEditor &>(*frame().parts().picture()); }
    SequenceEditor &editor() { return dynamic_cast<SequenceEditor &>(*frame().parts().sequence()); }
    SequenceStrip &strip() { return *editor().strip(); }
    QString pane() { return frame().sourcePane()->text(); }
    QString picturePath(const char *name, QRgb colour, QSize size = {400, 300}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const fs::path file = root_.path() / "pictures" / name;
        fs::create_directories(file.parent_path());
        EXPECT_TRUE(image.save(QString::fromStdString(file.string())));
        return QString::fromStdString(file.string());
    }
    void key(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(widget, &press);
    }
    void mouse(QEvent::Type type, QPoint at) {
        QWidget *viewport = view().viewport();
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
};

/// Lumadesk on an installed camera, for the movie graphs.
class UxMediaTest : public UxTest {
protected:
    std::unique_ptr<FrameChannel> startWithCamera() {
        DeviceInstance device{"MEDIA", "0000"};
        EXPECT_TRUE(test::installCamera(device, "Lumaghost", kCameraFormat).succeeded());
        std::unique_ptr<FrameChannel> channel;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(device), channel).succeeded());
        cameraStart_ = [] { return startCamera(systemVersionSource()); };
        EXPECT_EQ(start(), CLumadeskApp::StartResult::Running);
        EXPECT_TRUE(view().cameraAvailable());
        return channel;
    }
    MoviePlayer &movie() { return *dynamic_cast<MoviePlayer *>(frame().parts().movie()); }
    QString clip(const std::string &name, int frames) {
        const fs::path path = root_.path() / "files" / name;
        fs::create_directories(path.parent_path());
        test::writeMediaFile(path, "videotestsrc num-buffers=" + std::to_string(frames) +
                                       " ! video/x-raw,width=160,height=120,framerate=10/1 ! "
                                       "jpegenc ! avimux");
        return QString::fromStdString(path.string());
    }
};

/// Runs `open`, which shows a file dialog, and hands the dialog to `work` once it is shown.
inline void withFileDialog(const std::function<void()> &open,
                           const std::function<void(QFileDialog &)> &work) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        work(*dialog);
    });
    poll.start(20);
    open();
    poll.stop();
    EXPECT_TRUE(seen);
}

}  // namespace lumaghost::test
