// SPDX-License-Identifier: LGPL-2.1-or-later
// The Setup dialog's camera format: lumacam format gives the camera another.
#include "desk/dialogs/setup_main.h"
#include <gtest/gtest.h>
#include <QComboBox>
#include "desk/app/system_environment.h"
#include "desk/model/command_table.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "tests/desk/camera_format_fixture.h"
#include "tests/desk/desk_fixture.h"
#include "tests/device/test_camera.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::CameraFormatTest;

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
