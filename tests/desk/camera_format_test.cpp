// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk on a camera whose format changes: the next Set picture tells the user, opens the
// camera link again and gives the pick frame the new size; the Setup dialog offers the formats
// and has lumacam format give the camera another.
#include <QComboBox>

#include <gtest/gtest.h>

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

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;

const DeviceInstance kDevice{"MEDIA", "0000"};

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

// The camera made again at 96x72 under a running Lumadesk: the next Set picture says so and
// sends nothing, the pick frame has the new size, and the Set picture after it sends a frame of
// that size to the new channel.
TEST_F(CameraFormatTest, SetPictureAfterASizeChangeTellsAndFollows) {
    startWithCamera({64, 48, 30});
    QImage image(200, 150, QImage::Format_RGB32);
    image.fill(Qt::red);
    const fs::path file = root_.path() / "red.bmp";
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "BMP"));
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
    run(kShowPickFrame);
    EXPECT_EQ(picture().pickRect().size(), QSize(64, 48));

    ASSERT_TRUE(FrameChannel::create(frameChannelPath(kDevice), {96, 72, 30}).succeeded());
    run(kSetPicture);
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back().rfind("Lumadesk: The camera's frame size changed to 96 x 72", 0),
              0u)
        << messages().back();
    EXPECT_EQ(picture().pickRect().size(), QSize(96, 72));
    EXPECT_EQ(channel()->commitSequence(), 0u);

    const size_t told = messages().size();
    run(kSetPicture);
    EXPECT_EQ(messages().size(), told);
    auto now = channel();
    std::vector<uint8_t> frame;
    ASSERT_TRUE(now->readLatest(frame));
    ASSERT_EQ(frame.size(), 96u * 72 * 3);
    // Blue, green, red of the middle pixel: the red picture.
    const size_t middle = (36 * 96 + 48) * 3;
    EXPECT_EQ(frame[middle + 2], 255);
    EXPECT_EQ(frame[middle], 0);
}

// Setup lists the usual sizes at the camera's rate with the camera's own selected, and OK with
// another one has lumacam format give it to the camera; a failure is told.
TEST_F(CameraFormatTest, SetupRunsLumacamFormatForAnotherFormat) {
    startWithCamera({64, 48, 25});
    std::vector<std::vector<std::string>> ran;
    int status = 0;
    auto choose = [&](const QString &format) {
        runSetup([&](CSetupMain &setup) {
            QComboBox *combo = setup.cameraFormatCombo();
            ASSERT_TRUE(combo->isEnabled());
            EXPECT_EQ(combo->currentText(), QStringLiteral("64x48@25"));
            for (const char *usual : {"160x120@25", "320x240@25", "640x360@25", "640x480@25",
                                      "800x600@25", "1280x720@25", "1920x1080@25"})
                EXPECT_GE(combo->findText(QString::fromLatin1(usual)), 0) << usual;
            combo->setCurrentIndex(combo->findText(format));
            setup.setRunner([&](const std::vector<std::string> &argv) {
                ran.push_back(argv);
                return status;
            });
            setup.accept();
        });
    };
    choose(QStringLiteral("64x48@25"));
    EXPECT_TRUE(ran.empty());  // the same format: nothing to run
    choose(QStringLiteral("1280x720@25"));
    ASSERT_EQ(ran.size(), 1u);
    const std::vector<std::string> tail(ran[0].end() - 3, ran[0].end());
    EXPECT_EQ(tail, (std::vector<std::string>{"format", "Lumaghost", "1280x720@25"}));
    EXPECT_EQ(fs::path(ran[0][ran[0].size() - 4]).filename(), "lumacam");
    EXPECT_EQ(ran[0].front() == "pkexec", ::geteuid() != 0);

    status = 126;
    const size_t told = messages().size();
    choose(QStringLiteral("640x480@25"));
    ASSERT_EQ(messages().size(), told + 1);
    EXPECT_NE(messages().back().find("keeps the format 64x48@25"), std::string::npos)
        << messages().back();
}

}  // namespace
}  // namespace lumaghost
