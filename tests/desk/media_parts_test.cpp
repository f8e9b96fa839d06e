// SPDX-License-Identifier: LGPL-2.1-or-later
// The view's media parts with real graphs on private Lumaghost devices: movies (loop, sound,
// Stop Above, RealMedia, files that cannot be played, a file removed while it plays), the
// control bar on a stand-in movie, real-camera passthrough (another Lumaghost device, one that
// cannot connect, one unplugged), the preview window, the controls of a V4L2 stand-in node,
// directory playback and its dialog, and the one-source-at-a-time rule.
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

#include <gst/gst.h>

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
#include "tests/desk/fake_v4l2_node.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"
#include "tests/gst/slow_source.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::waitFor;

constexpr ChannelFormat kSmall{64, 48, 30};

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
DeviceEnumeratorFactory legacyFilters(bool withDemuxer) {
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

// Another Lumaghost device passes through with the movie fit; the camera itself is never a
// real camera; unplugged, the passthrough ends with a message.
TEST_F(MediaTest, RealCameraPassesThroughAndEndsWhenUnplugged) {
    auto real = install("0001", "Real Cam");
    auto camera = startWithCamera();
    EXPECT_EQ(view().realCameras(), std::vector<std::string>({"Real Cam"}));
    ASSERT_NE(frame().command(kFirstCamera), nullptr);
    EXPECT_EQ(frame().command(kFirstCamera)->text(), QStringLiteral("Camera - Real Cam"));
    EXPECT_EQ(frame().command(kFirstCamera + 1), nullptr);

    run(kFirstCamera);
    ASSERT_TRUE(movie().graphExists());
    ASSERT_TRUE(waitFor([&] { return !movie().starting(); }));
    ASSERT_TRUE(movie().graphExists());
    EXPECT_EQ(movie().cameraSource(), CameraSource::RealCamera);
    EXPECT_FALSE(barShown());
    EXPECT_TRUE(enabled(kStopAbove));
    EXPECT_TRUE(frame().command(kFirstCamera)->isChecked());
    CameraLink link;
    ASSERT_EQ(OpenCameraLink(link, "Real Cam"), S_OK);
    ASSERT_EQ(PushFrameToCamera(link,
                                [](const FrameDescriptor &d) {
                                    for (uint32_t i = 0; i < d.byteCount; i += 3) {
                                        d.buffer()[i] = 10;
                                        d.buffer()[i + 1] = 200;
                                        d.buffer()[i + 2] = 30;
                                    }
                                    return S_OK;
                                }),
              S_OK);
    ASSERT_TRUE(waitFor([&] { return middle(*camera) == (std::array<int, 3>{10, 200, 30}); }));

    RegistryHive hive = machineHive();
    DeviceInstance d{"MEDIA", "0001"};
    ASSERT_TRUE(DeviceTree(hive).removeInstance(d).succeeded());
    fs::remove(frameChannelPath(d));
    ASSERT_TRUE(waitFor([&] { return !movie().graphExists(); }));
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"Lumadesk: The real camera Real Cam has stopped:\nThe camera was "
                               "unplugged."}));
}

/// The system's devices and a V4L2 camera whose node does not answer.
class WithBrokenCamera : public DeviceEnumerator {
public:
    HResult createClassEnumerator(const Guid &category,
                                  std::vector<std::unique_ptr<Moniker>> &monikers) override {
        std::unique_ptr<DeviceEnumerator> system;
        HResult r = createSystemDeviceEnumerator(system);
        if (r.succeeded())
            r = system->createClassEnumerator(category, monikers);
        if (category == CLSID_VideoInputDeviceCategory)
            monikers.push_back(std::make_unique<NamedMoniker>(FilterKind::V4l2, "Broken Cam",
                                                              "/nonexistent/video7"));
        return monikers.empty() ? S_FALSE : S_OK;
    }
};

// A real camera that cannot connect: message 154 and no graph. "Setup" offers its controls;
// a Lumaghost device has none.
TEST_F(MediaTest, RealCameraThatCannotConnectAndItsSetup) {
    ScopedDeviceEnumeratorFactory devices([](std::unique_ptr<DeviceEnumerator> &out) {
        out = std::make_unique<WithBrokenCamera>();
        return S_OK;
    });
    auto real = install("0001", "Real Cam");
    auto camera = startWithCamera();
    ASSERT_EQ(view().realCameras(), std::vector<std::string>({"Real Cam", "Broken Cam"}));
    run(kFirstCamera + 1);
    ASSERT_TRUE(waitFor([&] { return !movie().graphExists(); }));
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"Lumadesk: Lumadesk can't connect your real camera.\nCan you tell "
                               "us your camera's type?"}));
    EXPECT_TRUE(prompter_.shown[0].owned);
    EXPECT_EQ(realCamera().selectedCamera(), 1);

    std::map<uint32_t, test::FakeControl> controls;
    std::vector<std::pair<uint32_t, int32_t>> sets;
    controls[V4L2_CID_BRIGHTNESS] = test::fakeControl(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER,
                                                      "Brightness", 0, 255, 1, 128);
    std::vector<std::string> opened;
    ControlsOpener opener = [&](const BaseFilter &device, std::unique_ptr<CameraControls> &out) {
        opened.push_back(device.friendlyName());
        if (device.kind() != FilterKind::V4l2)
            return E_NOINTERFACE;
        out =
            std::make_unique<CameraControls>(std::make_unique<test::FakeV4l2Node>(controls, sets));
        return S_OK;
    };
    prompter_.shown.clear();
    CDialogRealCameraSetup setup(app().context(), view().realCameras(), opener);
    EXPECT_EQ(setup.windowTitle(), QStringLiteral("Setup your real camera"));
    EXPECT_EQ(setup.cameraList()->currentText(), QStringLiteral("Real Cam"));
    setup.onSetup();
    EXPECT_EQ(messages(), std::vector<std::string>({"Lumadesk: No Property Setup Page"}));
    EXPECT_TRUE(prompter_.shown[0].owned);

    setup.cameraList()->setCurrentIndex(1);
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<CameraPropertiesDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = true;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Broken Cam"));
        auto *slider = qobject_cast<QSlider *>(dialog->controlWidget(V4L2_CID_BRIGHTNESS));
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->value(), 128);
        slider->setValue(200);  // applied at once
        dialog->reject();
    });
    setup.onSetup();
    EXPECT_TRUE(shown);
    EXPECT_EQ(opened, std::vector<std::string>({"Real Cam", "Broken Cam"}));
    EXPECT_EQ(sets, (std::vector<std::pair<uint32_t, int32_t>>{{V4L2_CID_BRIGHTNESS, 200}}));

    // With no real camera, Setup does nothing.
    CDialogRealCameraSetup empty(app().context(), {}, opener);
    empty.onSetup();
    EXPECT_EQ(opened.size(), 2u);
}

/// The item of `menu` (or of its sub-menus) with the caption `text`, as a user finds it.
QAction *menuItem(const QMenu &menu, const QString &text) {
    for (QAction *action : menu.actions()) {
        if (action->text() == text)
            return action;
        if (QMenu *sub = action->menu())
            if (QAction *found = menuItem(*sub, text))
                return found;
    }
    return nullptr;
}

// Setup Real Camera, reached through File > Switch To Real Camera, opens its dialog whatever
// the recent movies are, and the fourth recent movie, whose number it shares, still plays.
TEST_F(MediaTest, SetupRealCameraFromTheMenuWithFourRecentMovies) {
    const QString fourth = clip("fourth.avi");
    {
        SettingsStore store(userHive(), errors_);
        RecentFileList movies(settings::kMovieFiles, "file%d");
        movies.add(fourth);
        for (const char *name : {"/m/third.avi", "/m/second.avi", "/m/first.avi"})
            movies.add(QString::fromLatin1(name));
        ASSERT_TRUE(movies.write(store));
    }
    auto real = install("0001", "Real Cam");
    auto camera = startWithCamera();
    QMenu *file = frame().menuBar()->actions().at(0)->menu();
    ASSERT_NE(file, nullptr);
    QAction *setup = menuItem(*file, QStringLiteral("Setup Real Camera"));
    ASSERT_NE(setup, nullptr);
    frame().updateCommandStates();
    EXPECT_TRUE(setup->isEnabled());

    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog =
                qobject_cast<CDialogRealCameraSetup *>(QApplication::activeModalWidget())) {
            poll.stop();
            shown = true;
            EXPECT_EQ(dialog->cameraList()->currentText(), QStringLiteral("Real Cam"));
            dialog->reject();
        }
    });
    poll.start(5);
    setup->trigger();
    EXPECT_TRUE(waitFor([&] { return shown; })) << "the real camera's setup did not open";
    poll.stop();
    EXPECT_FALSE(movie().graphExists());

    QMenu *movies = menuItem(*file, QStringLiteral("Recent Movie Files"))->menu();
    ASSERT_EQ(movies->actions().size(), 4);
    QAction *recent = movies->actions().at(3);
    ASSERT_EQ(recent->toolTip(), fourth);
    frame().updateCommandStates();
    ASSERT_TRUE(recent->isEnabled());
    recent->trigger();
    EXPECT_TRUE(waitFor([&] { return movie().graphExists() && !movie().starting(); }));
    EXPECT_EQ(movie().cameraSource(), CameraSource::Movie);
    EXPECT_EQ(app().doc()->title(), fourth);
}

// The preview: top-most, no close box, at the pick frame's place and size, showing the camera.
TEST_F(MediaTest, PreviewShowsTheCamera) {
    auto camera = startWithCamera();
    EXPECT_FALSE(realCamera().isPreviewing());
    run(kPreview);
    PreviewWindow *window = realCamera().previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(realCamera().isPreviewing());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("PreView"));
    // A window of the camera's size beside the main window, on its screen, with a close box;
    // not above every other window.
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->size(), QSize(64, 48));
    EXPECT_FALSE(window->frameGeometry().intersects(frame().frameGeometry()));
    EXPECT_TRUE(frame().screen()->availableGeometry().contains(window->frameGeometry()));
    EXPECT_FALSE(enabled(kPreview));
    EXPECT_TRUE(enabled(kStopPreview));

    CameraLink link;
    ASSERT_EQ(OpenCameraLink(link), S_OK);
    ASSERT_EQ(PushFrameToCamera(link,
                                [](const FrameDescriptor &d) {
                                    std::memset(d.buffer(), 0, d.byteCount);
                                    // The bottom row, first in the frame, is red.
                                    for (int x = 0; x < d.width; ++x)
                                        d.buffer()[x * 3 + 2] = 255;
                                    return S_OK;
                                }),
              S_OK);
    ASSERT_TRUE(waitFor([&] {
        return !window->frame().isNull() && window->frame().pixelColor(0, 47) == QColor(255, 0, 0);
    }));
    EXPECT_EQ(window->frame().pixelColor(0, 0), QColor(0, 0, 0));
    run(kStopPreview);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(realCamera().isPreviewing());

    // Its close box stops the preview as the Camera menu's Stop does.
    run(kPreview);
    ASSERT_TRUE(window->isVisible());
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(realCamera().isPreviewing());
    EXPECT_TRUE(enabled(kPreview));
    EXPECT_FALSE(enabled(kStopPreview));
    EXPECT_TRUE(prompter_.shown.empty());
}

// The controls of a V4L2 node: in its order, menus without their holes, disabled controls
// and types no dialog shows left out; drivers that cannot be asked for the next control.
TEST(CameraControlsTest, ListsSetsAndGets) {
    std::map<uint32_t, test::FakeControl> controls;
    std::vector<std::pair<uint32_t, int32_t>> sets;
    controls[V4L2_CID_BRIGHTNESS] =
        test::fakeControl(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 2, 0);
    controls[V4L2_CID_AUTO_WHITE_BALANCE] = test::fakeControl(
        V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Auto", 0, 1, 1, 1);
    controls[V4L2_CID_GAIN] = test::fakeControl(V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, "Gain", 0,
                                                10, 1, 0, V4L2_CTRL_FLAG_DISABLED);
    controls[V4L2_CID_POWER_LINE_FREQUENCY] = test::fakeControl(
        V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1, 1);
    controls[V4L2_CID_POWER_LINE_FREQUENCY].menu = {{0, "Disabled"}, {2, "60 Hz"}};
    controls[V4L2_CID_PRIVATE_BASE] =
        test::fakeControl(V4L2_CID_PRIVATE_BASE, V4L2_CTRL_TYPE_INTEGER64, "Big", 0, 1, 1, 0);

    for (bool nextCtrl : {true, false}) {
        CameraControls device(std::make_unique<test::FakeV4l2Node>(controls, sets, nextCtrl));
        std::vector<CameraControl> list;
        ASSERT_EQ(device.list(list), S_OK) << nextCtrl;
        ASSERT_EQ(list.size(), 3u) << nextCtrl;
        EXPECT_EQ(list[0].name, "Brightness");
        EXPECT_EQ(list[0].type, CameraControl::Type::Integer);
        EXPECT_EQ(list[0].minimum, -64);
        EXPECT_EQ(list[0].step, 2);
        EXPECT_EQ(list[1].type, CameraControl::Type::Boolean);
        EXPECT_EQ(list[2].type, CameraControl::Type::Menu);
        EXPECT_EQ(list[2].entries,
                  (std::vector<std::pair<int32_t, std::string>>{{0, "Disabled"}, {2, "60 Hz"}}));
    }
    CameraControls device(std::make_unique<test::FakeV4l2Node>(controls, sets));
    EXPECT_EQ(device.set(V4L2_CID_BRIGHTNESS, 10), S_OK);
    int32_t value = 0;
    EXPECT_EQ(device.get(V4L2_CID_BRIGHTNESS, value), S_OK);
    EXPECT_EQ(value, 10);
    EXPECT_TRUE(device.set(V4L2_CID_BRIGHTNESS, 100).failed());
    EXPECT_TRUE(device.set(V4L2_CID_HUE, 1).failed());

    std::map<uint32_t, test::FakeControl> none;
    CameraControls empty(std::make_unique<test::FakeV4l2Node>(none, sets));
    std::vector<CameraControl> list;
    EXPECT_EQ(empty.list(list), S_FALSE);
}

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
    EXPECT_EQ(ScanDirectoryPictures(QString::fromStdString(dir.string())), expected);
    EXPECT_TRUE(ScanDirectoryPictures(QString()).isEmpty());
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
    const QStringList order = ScanDirectoryPictures(choice.directory);
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

// A camera slow to open and to send its first frame starts behind a busy cursor and a progress
// that names it, then passes through; Stop Above during its start cancels it quietly.
TEST_F(MediaTest, SlowRealCameraStartsWithoutBlocking) {
    auto real = install("0001", "Real Cam");
    auto camera = startWithCamera();
    MediaServices slow = MediaServices::system();
    slow.cameraGraph = [](const std::string &, bool, const RendererSettings &settings, Post post,
                          std::unique_ptr<CameraGraph> &out) {
        return CameraGraph::create(test::makeSlowCamera({300, 2500}), settings, std::move(post),
                                   out);
    };
    frame().createMediaParts(slow);
    run(kFirstCamera);
    EXPECT_TRUE(movie().starting());
    EXPECT_TRUE(busyCursor());
    ASSERT_NE(startProgress(), nullptr);
    ASSERT_TRUE(waitFor([&] { return !startProgress()->isHidden(); }, 2500));
    EXPECT_EQ(startProgress()->accessibleName(),
              QStringLiteral("Starting the real camera Real Cam…"));
    ASSERT_TRUE(waitFor([&] { return !movie().starting(); }, 15000));
    EXPECT_TRUE(movie().graphExists());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(startProgress()->isHidden());
    EXPECT_EQ(frame().onCamera().kind, OnCamera::Kind::RealCamera);
    const uint64_t passing = camera->commitSequence();
    EXPECT_TRUE(waitFor([&] { return camera->commitSequence() > passing + 2; }));

    run(kFirstCamera);
    ASSERT_TRUE(movie().starting());
    run(kStopAbove);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    pumpFor(3000);
    EXPECT_NE(frame().onCamera().kind, OnCamera::Kind::RealCamera);
    EXPECT_TRUE(prompter_.shown.empty());
}

}  // namespace
}  // namespace lumaghost
