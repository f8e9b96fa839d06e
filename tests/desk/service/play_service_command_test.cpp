// SPDX-License-Identifier: LGPL-2.1-or-later
// The Service command, its button, the auto-play item, and the stop before Lumadesk's own
// playback.
#include "desk/service/play_service_command.h"
#include <QImage>
#include "desk/app/desk_service_manager.h"
#include "desk/media/directory_player.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/service/service_manager_double.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using Running = CLumadeskApp::StartResult;
using test::Calls;
using test::ServiceManagerDouble;

class ServiceTest : public test::DeskFixture {
protected:
    /// A command as a menu runs it: the states brought up to date, then the command.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    ServiceTest() {
        otherServiceManager_ = &manager_;
        cameraOutcome_ = CameraStart::Outcome::Ready;
    }
    PlayServiceCommand &command() {
        return dynamic_cast<PlayServiceCommand &>(*frame().parts().service());
    }
    /// The Service command, until its outcome is known.
    ServiceCommandOutcome press() {
        std::optional<ServiceCommandOutcome> outcome;
        QMetaObject::Connection connection =
            QObject::connect(&command(), &PlayServiceCommand::serviceCommandFinished,
                             [&](ServiceCommandOutcome o) { outcome = o; });
        run(kService);
        EXPECT_TRUE(test::waitFor([&] { return outcome.has_value(); }));
        QObject::disconnect(connection);
        return outcome.value_or(ServiceCommandOutcome::InstallFailed);
    }
    std::optional<RegValue> autoPlay() { return machineHive().value(kAutoPlayKey, "AutoPlay"); }
    ServiceManagerDouble manager_;
};

// Missing, the service is installed with the start type of "Auto play the picture sequence" and
// started; the next press stops it, the one after starts it again.
TEST_F(ServiceTest, InstallsStopsStarts) {
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(press(), ServiceCommandOutcome::Installed);
    EXPECT_EQ(manager_.takeCalls(), (Calls{"create", "start"}));
    EXPECT_EQ(manager_.createdService().startType, SERVICE_AUTO_START);
    EXPECT_EQ(manager_.createdService().name, "LumaghostService");
    EXPECT_EQ(manager_.createdService().displayName, "Quillmoor Lumaghost Play Service");
    EXPECT_EQ(manager_.createdService().binaryPath, (program_ / "lumaserv").string());
    EXPECT_EQ(press(), ServiceCommandOutcome::Stopped);
    EXPECT_EQ(press(), ServiceCommandOutcome::Started);
    EXPECT_EQ(manager_.takeCalls(), (Calls{"stop", "start"}));
    EXPECT_TRUE(prompter_.shown.empty());

    // Unticked in Setup: a new installation starts when asked.
    manager_.set([](auto &m) { m.installed = m.running = false; });
    SettingsStore(userHive(), errors_)
        .writeInt(settings::kSettings, settings::kServiceAutoStart.name, 0);
    frame().view()->readSettings();
    EXPECT_EQ(press(), ServiceCommandOutcome::Installed);
    EXPECT_EQ(manager_.createdService().startType, SERVICE_DEMAND_START);
}

// An installation that fails says "Can't install the Lumaghost Service!", with the reason on
// the line under it, and starts nothing; one that finds the service there (its state could not
// be asked) starts it.
TEST_F(ServiceTest, InstallFailureIsTold) {
    ASSERT_EQ(start(), Running::Running);
    const std::pair<HResult, std::string> reasons[] = {
        {hresultFromWin32(ERROR_CANCELLED), "The authentication was cancelled."},
        {hresultFromWin32(ERROR_NO_AUTHENTICATION_AGENT),
         "No authentication agent runs in this session to ask for the administrator's password. "
         "Start the desktop's polkit agent, or run as root: " +
             (program_ / "lumaserv").string() + " -i"},
        {hresultFromWin32(ERROR_SERVICE_SPECIFIC_ERROR),
         "The service manager says: lumaserv: the unit cannot be written"},
        {E_FAIL, "The service manager says: error " + E_FAIL.toString()},
    };
    for (const auto &[result, reason] : reasons) {
        prompter_.shown.clear();
        manager_.set([&](auto &m) {
            m.queryFails = true;
            m.createResult = result;
            m.createDetail = result == E_FAIL ? "" : "lumaserv: the unit cannot be written";
        });
        EXPECT_EQ(press(), ServiceCommandOutcome::InstallFailed);
        EXPECT_EQ(messages(), std::vector<std::string>(
                                  {"Lumadesk: Can't install the Lumaghost Service!\n" + reason}));
    }
    manager_.takeCalls();
    prompter_.shown.clear();
    manager_.set([](auto &m) { m.createResult = hresultFromWin32(ERROR_ACCESS_DENIED); });
    EXPECT_EQ(press(), ServiceCommandOutcome::InstallFailed);
    EXPECT_EQ(messages(), std::vector<std::string>(
                              {"Lumadesk: Can't install the Lumaghost Service!\nThe authentication "
                               "was refused: this account may not install the play service."}));
    EXPECT_EQ(manager_.takeCalls(), Calls{"create"});

    manager_.set([](auto &m) {
        m.installed = true;
        m.createResult = S_OK;
    });
    EXPECT_EQ(press(), ServiceCommandOutcome::Installed);
    EXPECT_EQ(manager_.takeCalls(), (Calls{"create", "start"}));
    EXPECT_EQ(prompter_.shown.size(), 1u);
}

// A current item that is a sequence (".lgs" in lower case) becomes the auto-play item whatever
// the service does; another, or LGS in capitals, leaves the setting alone.
TEST_F(ServiceTest, CurrentSequenceBecomesTheAutoPlayItem) {
    ASSERT_EQ(start(), Running::Running);
    frame().parts().setCurrentItemPath(QStringLiteral("/shows/SHOW.LGS"));
    press();
    EXPECT_FALSE(autoPlay());
    frame().parts().setCurrentItemPath(QStringLiteral("/shows/show.lgs"));
    press();
    ASSERT_TRUE(autoPlay());
    EXPECT_EQ(autoPlay()->text, "/shows/show.lgs");
    EXPECT_EQ(machineHive().value(kAutoPlayKey, "AutoPlayType")->dword, 1u);
    frame().parts().setCurrentItemPath(QStringLiteral("/movies/clip.avi"));
    press();
    EXPECT_EQ(autoPlay()->text, "/shows/show.lgs");
    EXPECT_TRUE(prompter_.shown.empty());

    EXPECT_TRUE(isSequencePath(QStringLiteral("a.b/c.lgs")));
    EXPECT_FALSE(isSequencePath(QStringLiteral("/x.lgs/y")));
    EXPECT_FALSE(isSequencePath(QStringLiteral("x.lgs.bak")));
    // A path the service could not read is refused, and the refusal told.
    RegistryHive hive = machineHive();
    EXPECT_EQ(writeAutoPlaySetting(hive, "/" + std::string(258, 'x')), E_INVALIDARG);
    EXPECT_TRUE(writeAutoPlaySetting(hive, "/" + std::string(257, 'x')).succeeded());
    frame().parts().setCurrentItemPath(QStringLiteral("/") + QString(300, u'y') +
                                       QStringLiteral(".lgs"));
    press();
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_EQ(prompter_.shown[0].caption, QStringLiteral("Auto play"));
}

// While sequence mode shows it, the Service button's image follows the service: running,
// installed, missing.
TEST_F(ServiceTest, ButtonImageFollowsTheService) {
    ASSERT_EQ(start(), Running::Running);
    run(kSequence);
    auto imageBecomes = [&](int image) {
        return test::waitFor([&] {
            command().refreshState();
            frame().updateCommandStates();
            return frame().serviceButtonImage() == image;
        });
    };
    EXPECT_TRUE(imageBecomes(2));
    manager_.set([](auto &m) { m.installed = true; });
    EXPECT_TRUE(imageBecomes(1));
    manager_.set([](auto &m) { m.running = true; });
    EXPECT_TRUE(imageBecomes(0));
}

// Playing a sequence stops a running service first, without waiting for it.
TEST_F(ServiceTest, OwnPlaybackStopsTheService) {
    ASSERT_EQ(start(), Running::Running);
    manager_.set([](auto &m) { m.installed = m.running = true; });
    run(kSequence);
    run(kAddItem);
    run(kPlaySequence);
    frame().view()->serviceControl()->waitForIdle();
    EXPECT_EQ(manager_.takeCalls(), Calls{"stop"});
    EXPECT_FALSE(manager_.isRunning());
    run(kStopSequence);
    frame().view()->serviceControl()->waitForIdle();
    EXPECT_TRUE(manager_.takeCalls().empty());  // never started again by Lumadesk
}

// Each step of directory playback stops a play service started since the last one: two sources
// never feed the camera.
TEST_F(ServiceTest, DirectoryStepStopsAServiceStartedMeanwhile) {
    ASSERT_EQ(start(), Running::Running);
    manager_.set([](auto &m) { m.installed = true; });
    const fs::path dir = root_.path() / "show";
    for (const char *name : {"a.bmp", "b.bmp"}) {
        fs::create_directories(dir);
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        ASSERT_TRUE(image.save(QString::fromStdString((dir / name).string())));
    }
    auto &player = dynamic_cast<DirectoryPlayer &>(*frame().parts().directory());
    DirectoryChoice choice;
    choice.directory = QString::fromStdString(dir.string());
    choice.loop = true;
    player.start(choice);
    frame().view()->serviceControl()->waitForIdle();
    manager_.takeCalls();
    manager_.set([](auto &m) { m.running = true; });  // started by someone else
    player.step();
    frame().view()->serviceControl()->waitForIdle();
    EXPECT_EQ(manager_.takeCalls(), Calls{"stop"});
    EXPECT_FALSE(manager_.isRunning());
    EXPECT_TRUE(player.playing());
}

}  // namespace
}  // namespace lumaghost
