// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk on a camera whose format the test changes.
#pragma once

#include <gtest/gtest.h>
#include <QComboBox>
#include "desk/app/system_environment.h"
#include "desk/dialogs/setup_main.h"
#include "desk/model/command_table.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "tests/desk/desk_fixture.h"
#include "tests/device/test_camera.h"

namespace lumaghost::test {

namespace fs = std::filesystem;
using namespace cmd;

inline const DeviceInstance kDevice{"MEDIA", "0000"};

class CameraFormatTest : public test::DeskFixture {
protected:
    /// Lumadesk on an installed camera "Lumaghost" of `format`, started as the program starts.
    void startWithCamera(const ChannelFormat &format) {
        ASSERT_TRUE(test::installCamera(kDevice, "Lumaghost", format).succeeded());
        RegistryHive hive = machineHive();
        ASSERT_TRUE(hive.modify([&](HiveData &d) {
                            d.setValue(kDevice.driverKeyPath(), kFrameWidthValue,
                                       RegValue::fromDword(format.width));
                            d.setValue(kDevice.driverKeyPath(), kFrameHeightValue,
                                       RegValue::fromDword(format.height));
                            d.setValue(kDevice.driverKeyPath(), kFrameRateValue,
                                       RegValue::fromDword(format.fps));
                            return S_OK;
                        })
                        .succeeded());
        cameraStart_ = [] { return startCamera(systemVersionSource()); };
        ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
        ASSERT_TRUE(frame().view()->cameraAvailable());
    }
    PictureEditor &picture() { return *dynamic_cast<PictureEditor *>(frame().parts().picture()); }
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    std::unique_ptr<FrameChannel> channel() {
        std::unique_ptr<FrameChannel> c;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(kDevice), c).succeeded());
        return c;
    }
};

}  // namespace lumaghost::test
