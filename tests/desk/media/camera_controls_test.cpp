// SPDX-License-Identifier: LGPL-2.1-or-later
// A real camera's controls through a V4L2 stand-in node.
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

namespace lumaghost {
namespace {

using namespace cmd;

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

}  // namespace
}  // namespace lumaghost
