// SPDX-License-Identifier: LGPL-2.1-or-later
// Real-camera passthrough (another Lumaghost device, one that cannot connect, one unplugged),
// its setup from the menu, and the preview.
#include "desk/media/real_camera.h"
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
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
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
    ASSERT_EQ(openCameraLink(link, "Real Cam"), S_OK);
    ASSERT_EQ(pushFrameToCamera(link,
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
    ASSERT_EQ(openCameraLink(link), S_OK);
    ASSERT_EQ(pushFrameToCamera(link,
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
