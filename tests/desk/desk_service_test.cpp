// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's control of the play service: the Service command, the auto-play setting, the
// Service button's image, the stop before Lumadesk's own playback, and installing through
// pkexec.
#include "desk/app/desk_service_manager.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/service/play_service_command.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using Running = CLumadeskApp::StartResult;

/// A service manager with one service that may be installed and running; called from the
/// service control's worker thread.
class ServiceManagerDouble : public ServiceManager {
public:
    HResult connect() override { return S_OK; }
    HResult createService(const ServiceInstallation &service) override {
        std::lock_guard lock(mutex);
        calls.push_back("create");
        if (createResult.failed())
            return createResult;
        if (installed)
            return hresultFromWin32(ERROR_SERVICE_EXISTS);
        installed = true;
        created = service;
        return S_OK;
    }
    HResult openService(const std::string &) override {
        std::lock_guard lock(mutex);
        return installed ? S_OK : hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    HResult deleteService(const std::string &) override { return S_OK; }
    HResult controlStop(const std::string &, ServiceStatus &status) override {
        std::lock_guard lock(mutex);
        calls.push_back("stop");
        if (!running)
            return hresultFromWin32(ERROR_SERVICE_NOT_ACTIVE);
        running = false;
        status.currentState = SERVICE_STOP_PENDING;
        return S_OK;
    }
    HResult queryStatus(const std::string &, ServiceStatus &status) override {
        std::lock_guard lock(mutex);
        if (queryFails || !installed)
            return hresultFromWin32(queryFails ? ERROR_ACCESS_DENIED
                                               : ERROR_SERVICE_DOES_NOT_EXIST);
        status.currentState = running ? SERVICE_RUNNING : SERVICE_STOPPED;
        return S_OK;
    }
    HResult startService(const std::string &) override {
        std::lock_guard lock(mutex);
        calls.push_back("start");
        running = installed;
        return S_OK;
    }
    HResult changeStartType(const std::string &, uint32_t) override { return S_OK; }
    HResult runDispatcher(const std::string &, const std::function<void()> &) override {
        return S_OK;
    }
    HResult registerControlHandler(const std::string &, std::function<void(uint32_t)>) override {
        return S_OK;
    }
    HResult setStatus(const ServiceStatus &) override { return S_OK; }

    /// Changes the service's state; the worker thread may be asking it at the same time.
    void set(const std::function<void(ServiceManagerDouble &)> &change) {
        std::lock_guard lock(mutex);
        change(*this);
    }

    ServiceInstallation createdService() {
        std::lock_guard lock(mutex);
        return created;
    }
    bool isRunning() {
        std::lock_guard lock(mutex);
        return running;
    }

    std::vector<std::string> takeCalls() {
        std::lock_guard lock(mutex);
        return std::exchange(calls, {});
    }

    std::mutex mutex;  // guards everything below
    bool installed = false, running = false, queryFails = false;
    HResult createResult = S_OK;
    ServiceInstallation created;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

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

// An installation that fails says "Can't install the Lumaghost Service!" and starts nothing;
// one that finds the service there (its state could not be asked) starts it.
TEST_F(ServiceTest, InstallFailureIsTold) {
    ASSERT_EQ(start(), Running::Running);
    manager_.set([](auto &m) {
        m.queryFails = true;
        m.createResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    });
    EXPECT_EQ(press(), ServiceCommandOutcome::InstallFailed);
    EXPECT_EQ(messages(),
              std::vector<std::string>({"Lumadesk: Can't install the Lumaghost Service!"}));
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

    EXPECT_TRUE(IsSequencePath(QStringLiteral("a.b/c.lgs")));
    EXPECT_FALSE(IsSequencePath(QStringLiteral("/x.lgs/y")));
    EXPECT_FALSE(IsSequencePath(QStringLiteral("x.lgs.bak")));
    // A path the service could not read is refused, and the refusal told.
    RegistryHive hive = machineHive();
    EXPECT_EQ(WriteAutoPlaySetting(hive, "/" + std::string(258, 'x')), E_INVALIDARG);
    EXPECT_TRUE(WriteAutoPlaySetting(hive, "/" + std::string(257, 'x')).succeeded());
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

// For a user who is not root, installing and start-type changes run pkexec lumaserv; a
// dismissed or refused authorisation is a failure like any other; a service that is there is
// never installed again.
TEST(DeskServiceManagerTest, ElevatedInstallAndStartType) {
    ServiceManagerDouble inner;
    std::vector<std::vector<std::string>> runs;
    int status = 1;
    DeskServiceManager manager(inner, "/usr/bin/lumaserv", true,
                               [&](const std::vector<std::string> &argv) {
                                   runs.push_back(argv);
                                   return status;
                               });
    ServiceInstallation service{"LumaghostService",  "Play", "/opt/bin/lumaserv", "", "",
                                SERVICE_DEMAND_START};
    EXPECT_EQ(manager.createService(service), S_OK);
    status = DeskServiceManager::kAuthorisationDismissed;
    EXPECT_EQ(manager.createService(service), hresultFromWin32(ERROR_ACCESS_DENIED));
    inner.installed = true;
    EXPECT_EQ(manager.createService(service), hresultFromWin32(ERROR_SERVICE_EXISTS));
    status = 1;
    EXPECT_EQ(manager.changeStartType("LumaghostService", SERVICE_AUTO_START), S_OK);
    using Argv = std::vector<std::string>;
    EXPECT_EQ(runs, (std::vector<Argv>{
                        {"pkexec", "/opt/bin/lumaserv", "-i", "-t", "demand"},
                        {"pkexec", "/opt/bin/lumaserv", "-i", "-t", "demand"},
                        {"pkexec", "/usr/bin/lumaserv", "-t", "auto"},
                    }));
    EXPECT_TRUE(inner.takeCalls().empty());

    // Not elevated: the manager itself.
    DeskServiceManager direct(inner, "/usr/bin/lumaserv", false, [&](const auto &argv) {
        runs.push_back(argv);
        return 1;
    });
    inner.installed = false;
    EXPECT_EQ(direct.createService(service), S_OK);
    EXPECT_EQ(inner.takeCalls(), Calls{"create"});
    EXPECT_EQ(runs.size(), 3u);
    EXPECT_EQ(DeskServiceManager::runProgram({"/bin/sh", "-c", "exit 7"}), 7);
    EXPECT_LT(DeskServiceManager::runProgram({"/nonexistent/pkexec"}), 0);
}

}  // namespace
}  // namespace lumaghost
