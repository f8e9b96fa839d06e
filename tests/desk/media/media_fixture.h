// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk with its media parts on cameras of its own, and the element lists of the movie tests.
#pragma once

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
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
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
#include "desk/media/dialog_video_control.h"
#include "desk/media/directory_player.h"
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
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"
#include "tests/gst/slow_source.h"

namespace lumaghost::test {

namespace fs = std::filesystem;
using namespace cmd;

inline constexpr ChannelFormat kSmall{64, 48, 30};

class MediaTest : public test::DeskFixture {
protected:
    /// Installs a Lumaghost device of `name` and opens its channel.
    std::unique_ptr<FrameChannel> install(const char *number, const char *name) {
        DeviceInstance d{"MEDIA", number};
        EXPECT_TRUE(test::installCamera(d, name, kSmall).succeeded());
        std::unique_ptr<FrameChannel> channel;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(d), channel).succeeded());
        return channel;
    }

    /// Lumadesk on a camera "Lumaghost", started as the program starts it.
    std::unique_ptr<FrameChannel> startWithCamera() {
        auto camera = install("0000", "Lumaghost");
        cameraStart_ = [] { return startCamera(systemVersionSource()); };
        EXPECT_EQ(start(), CLumadeskApp::StartResult::Running);
        EXPECT_TRUE(frame().view()->cameraAvailable());
        return camera;
    }

    CLumadeskView &view() { return *frame().view(); }
    MoviePlayer &movie() { return *dynamic_cast<MoviePlayer *>(frame().parts().movie()); }
    RealCamera &realCamera() { return *dynamic_cast<RealCamera *>(frame().parts().realCamera()); }
    DirectoryPlayer &directory() {
        return *dynamic_cast<DirectoryPlayer *>(frame().parts().directory());
    }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    /// Runs a command as its menu item does, with the states as they are now.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    bool barShown() { return !frame().controlBar(kMovieControlBar)->parentWidget()->isHidden(); }

    /// A file written by a GStreamer pipeline ending in a file sink.
    QString make(const std::string &name, const std::string &pipeline) {
        const fs::path path = root_.path() / "files" / name;
        fs::create_directories(path.parent_path());
        test::writeMediaFile(path, pipeline);
        return QString::fromStdString(path.string());
    }
    QString clip(const std::string &name, int frames = 10) {
        return make(name, "videotestsrc num-buffers=" + std::to_string(frames) +
                              " ! video/x-raw,width=160,height=120,framerate=30/1 ! jpegenc ! "
                              "avimux");
    }
    QString picture(const fs::path &file, QColor colour) {
        fs::create_directories(file.parent_path());
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(QString::fromStdString(file.string()), "BMP"));
        return QString::fromStdString(file.string());
    }
    /// The blue, green, red of the camera's middle pixel.
    static std::array<int, 3> middle(FrameChannel &camera) {
        std::vector<uint8_t> frame;
        if (!camera.readLatest(frame))
            return {-1, -1, -1};
        const size_t at = (size_t(kSmall.height / 2) * kSmall.width + kSmall.width / 2) * 3;
        return {frame[at], frame[at + 1], frame[at + 2]};
    }
    static std::array<int, 3> bgr(QColor c) { return {c.blue(), c.green(), c.red()}; }
    /// `name` made by clip(), read through a source that is slow to open and to preroll.
    QString slowClip(const std::string &name, test::SlowTimes times) {
        EXPECT_TRUE(test::registerSlowSource());
        test::setSlowFileTimes(times);
        return QString::fromStdString(test::slowFileUri(clip(name).toStdString()));
    }
    QProgressBar *startProgress() {
        return frame().findChild<QProgressBar *>(QStringLiteral("startProgress"));
    }
    static bool busyCursor() {
        return QGuiApplication::overrideCursor() &&
               QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
    }
    void pumpFor(int ms) {
        QElapsedTimer t;
        t.start();
        waitFor([&] { return t.elapsed() >= ms; }, ms + 1000);
    }
};

/// The legacy filter category with or without the RealMedia demuxer.
inline DeviceEnumeratorFactory legacyFilters(bool withDemuxer) {
    return [withDemuxer](std::unique_ptr<DeviceEnumerator> &out) {
        return createSystemDeviceEnumerator(out, [withDemuxer](auto &monikers) {
            monikers.push_back(
                std::make_unique<NamedMoniker>(FilterKind::Element, "AVI Demuxer", "avidemux"));
            if (withDemuxer)
                monikers.push_back(std::make_unique<NamedMoniker>(FilterKind::Element,
                                                                  "RealMedia Demuxer", "rmdemux"));
        });
    };
}

}  // namespace lumaghost::test
