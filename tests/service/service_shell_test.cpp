// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/service_shell.h"

#include <thread>

#include <gtest/gtest.h>

#include "tests/service/service_doubles.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

using namespace test;

class NtVersion : public VersionSource {
public:
    uint32_t platform = VER_PLATFORM_WIN32_NT;
    bool getVersionEx(OsVersionInfo &info) override {
        info.platformId = platform;
        info.major = platform == VER_PLATFORM_WIN32_NT ? 10 : 4;
        info.minor = platform == VER_PLATFORM_WIN32_NT ? 0 : 10;
        return true;
    }
};

// A service whose work is scripted and whose modes only record that they were chosen.
class ProbeService : public ServiceShell {
public:
    using ServiceShell::ServiceShell;
    std::vector<std::string> chosen;
    std::function<void()> work;
    int stops = 0;

    void Run(int, char **) override {
        chosen.push_back("run");
        if (work)
            work();
    }
    void RequestStop() override {
        ++stops;
        SetStatus(SERVICE_STOP_PENDING, 11000, 0);
    }
};

class RecordingService : public ProbeService {
public:
    using ProbeService::ProbeService;
    int Install() override { return chosen.push_back("install"), 1; }
    int Uninstall() override { return chosen.push_back("uninstall"), 1; }
    int StartInstalled() override { return chosen.push_back("start"), 1; }
    int StopInstalled() override { return chosen.push_back("stop"), 1; }
    int RunAsService() override { return chosen.push_back("service"), 1; }
};

struct ShellFixture : ::testing::Test {
    TempRoot root;
    FakeManager manager;
    FakeEventLog events;
    FakeConsole console;
    NtVersion versions;
    RegistryHive machine{root.path() / "machine.ini"};
    VirtualWaiter waiter;
    ServicePlatform platform() {
        return {manager, events, console, versions, machine, waiter, "/usr/bin/lumaserv"};
    }

    std::vector<std::string> dispatch(std::vector<std::string> args) {
        RecordingService service("LumaghostService", "Play", platform());
        args.insert(args.begin(), "lumaserv");
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        service.DispatchCommandLine(int(args.size()), argv.data());
        lastAccount = service.account();
        return service.chosen;
    }
    std::string lastAccount;
};

using Choices = std::vector<std::string>;

// Only the second character of arguments starting with '-' counts; the last choice wins;
// -d runs at once.
TEST_F(ShellFixture, SwitchesChooseTheMode) {
    EXPECT_EQ(dispatch({"-install"}), Choices{"install"});
    EXPECT_EQ(dispatch({"-iX"}), Choices{"install"});
    EXPECT_EQ(dispatch({"-I"}), Choices{"service"});
    EXPECT_EQ(dispatch({"i"}), Choices{"service"});
    EXPECT_EQ(dispatch({"-i", "-u"}), Choices{"uninstall"});
    EXPECT_EQ(dispatch({"-u", "foo", "-i"}), Choices{"install"});
    EXPECT_EQ(dispatch({"-d", "-i"}), Choices{"run"});
    EXPECT_EQ(dispatch({"-s"}), Choices{"start"});
    EXPECT_EQ(dispatch({"-e"}), Choices{"stop"});
    EXPECT_EQ(dispatch({}), Choices{"service"});
}

// The account of -l is the rest of the switch or else the next argument, whatever that holds,
// and never read from past the end of the list.
TEST_F(ShellFixture, AccountIsTheRestOfTheSwitchOrTheNextArgument) {
    dispatch({"-l", "camera", "-i"});
    EXPECT_EQ(lastAccount, "camera");
    dispatch({"-lcamera"});
    EXPECT_EQ(lastAccount, "camera");
    dispatch({"-i", "-l"});  // nothing after it: empty, and no read past the list
    EXPECT_EQ(lastAccount, "");
    // The value of -l is not itself a switch: "-u" here is the account.
    EXPECT_EQ(dispatch({"-i", "-l", "-u"}), Choices{"install"});
}

// What a caller with the administrator's authorisation (pkexec) may have lumaserv do: the
// switches Lumadesk passes, each checked, and nothing else. Catches `pkexec lumaserv -d` or
// `-f` (a root play service outside the unit's sandbox), a second action, a start type or an
// account that is not one, and arguments the plain parser would pass over.
TEST(ElevatedCommandLineTest, OnlyWhatLumadeskAsksForIsAccepted) {
    auto problem = [](std::vector<std::string> args) {
        args.insert(args.begin(), "lumaserv");
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return ServiceShell::ElevatedCommandLineProblem(int(args.size()), argv.data());
    };
    for (const std::vector<std::string> &good :
         std::vector<std::vector<std::string>>{{"-i", "-t", "auto"},
                                               {"-i", "-t", "demand", "-l", "nobody"},
                                               {"-u"},
                                               {"-s"},
                                               {"-e"},
                                               {"-t", "auto"},
                                               {"-t", "demand"}})
        EXPECT_EQ(problem(good), "") << good[0];
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"-d"}, "\"-d\" is not accepted"},
        {{"-f"}, "\"-f\" is not accepted"},
        {{"-i", "-d"}, "\"-d\" is not accepted"},
        {{"--unit", "/tmp/x"}, "\"--unit\" is not accepted"},
        {{"-install"}, "\"-install\" is not accepted"},
        {{"-i", "x"}, "\"x\" is not accepted"},
        {{"-p", "secret"}, "\"-p\" is not accepted"},
        {{"-i", "-u"}, "one of -i, -u, -s and -e at a time"},
        {{"-t", "boot"}, "-t takes auto or demand, not \"boot\""},
        {{"-t"}, "-t without its value"},
        {{"-i", "-l"}, "-l without its value"},
        {{"-i", "-l", "root"},
         "-l takes an account of this system that is not root's, not \"root\""},
        {{"-i", "-l", "no-such-account-here"},
         "-l takes an account of this system that is not root's, not \"no-such-account-here\""},
        {{"-i", "-l", "nobody\nUser=root"},
         "-l takes an account of this system that is not root's, not \"nobody\nUser=root\""},
        {{"-i", "-l", "-u"}, "-l takes an account of this system that is not root's, not \"-u\""},
        {{"-lnobody", "-i"}, "\"-lnobody\" is not accepted"},
    };
    for (const auto &[args, expected] : bad)
        EXPECT_EQ(problem(args), expected) << args[0];
}

// Started by hand, not by the manager: the connection fails, the error goes to the log, exit 0.
TEST_F(ShellFixture, NotStartedByTheManager) {
    manager.dispatcherResult = hresultFromWin32(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    ProbeService service("LumaghostService", "Play", platform());
    char name[] = "lumaserv";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(service.DispatchCommandLine(1, argv), 0);
    ASSERT_EQ(events.entries.size(), 1u);
    EXPECT_EQ(events.entries[0].type, EventType::Error);
    EXPECT_EQ(events.entries[0].id, 0xC0000002u);
    EXPECT_EQ(events.entries[0].text,
              "The service process could not connect to the service controller.");
    EXPECT_TRUE(service.chosen.empty());
}

// Reports through the manager: start pending without controls, checkpoints that never reset,
// stop accepted once running, stopped only after the work returned.
TEST_F(ShellFixture, StatusReportsAndCheckpoints) {
    ProbeService service("LumaghostService", "Play", platform());
    service.work = [&] {
        service.SetStatus(SERVICE_START_PENDING, 3000, 0);
        service.SetStatus(SERVICE_RUNNING, 3000, 0);
        manager.handler(SERVICE_CONTROL_INTERROGATE);
        manager.handler(SERVICE_CONTROL_STOP);
        manager.handler(200);  // custom: ignored by this service
        manager.handler(99);   // unknown: ignored
    };
    EXPECT_EQ(service.RunAsService(), 1);
    std::vector<std::pair<uint32_t, uint32_t>> got;  // state, checkpoint
    for (const auto &s : manager.reported)
        got.emplace_back(s.currentState, s.checkPoint);
    EXPECT_EQ(got, (std::vector<std::pair<uint32_t, uint32_t>>{{SERVICE_START_PENDING, 1},
                                                               {SERVICE_START_PENDING, 2},
                                                               {SERVICE_RUNNING, 0},
                                                               {SERVICE_RUNNING, 0},
                                                               {SERVICE_STOP_PENDING, 3},
                                                               {SERVICE_STOPPED, 0}}));
    EXPECT_EQ(manager.reported[0].controlsAccepted, 0u);
    EXPECT_EQ(manager.reported[1].controlsAccepted, 0u);
    EXPECT_EQ(manager.reported[2].controlsAccepted, SERVICE_ACCEPT_STOP);
    EXPECT_EQ(manager.reported[4].waitHint, 11000u);
    EXPECT_EQ(service.stops, 1);

    // A report that fails is logged and the work goes on.
    manager.statusResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(service.SetStatus(SERVICE_RUNNING, 3000, 0));
    EXPECT_EQ(events.entries.back().text, "SetServiceStatus() failed");
}

// The worker's reports and the control handler's meet one at a time: every pending report
// reaches the manager with the next checkpoint, none lost, none twice, none out of order.
TEST_F(ShellFixture, StatusReportsFromTwoThreads) {
    ProbeService service("LumaghostService", "Play", platform());
    service.work = [&] {
        std::thread controls([&] {
            for (int i = 0; i < 2000; ++i)
                manager.handler(i % 2 ? SERVICE_CONTROL_STOP : SERVICE_CONTROL_INTERROGATE);
        });
        for (int i = 0; i < 2000; ++i)
            service.SetStatus(SERVICE_START_PENDING, 3000, 0);
        controls.join();
    };
    EXPECT_EQ(service.RunAsService(), 1);
    ASSERT_EQ(manager.reported.size(), 1u + 2000 + 2000 + 1);
    uint32_t expected = 0;
    for (size_t i = 0; i + 1 < manager.reported.size(); ++i)
        ASSERT_EQ(manager.reported[i].checkPoint, ++expected) << i;
    EXPECT_EQ(manager.reported.back().currentState, SERVICE_STOPPED);
    EXPECT_EQ(service.checkpoint(), expected);
    EXPECT_EQ(service.stops, 1000);
}

// Without a service manager to talk to, every console mode says so, and why.
TEST_F(ShellFixture, UnreachableManagerIsNamed) {
    manager.connectResult = hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE);
    manager.detail = "cannot connect to the system bus at unix:path=/x (No such file or directory)";
    ProbeService service("LumaghostService", "Play", platform());
    for (auto mode : {&ServiceShell::Install, &ServiceShell::Uninstall,
                      &ServiceShell::StartInstalled, &ServiceShell::StopInstalled}) {
        console.text.clear();
        EXPECT_EQ((service.*mode)(), 0);
        EXPECT_EQ(console.text,
                  "OpenSCManager failed - The service manager cannot be reached: cannot connect "
                  "to the system bus at unix:path=/x (No such file or directory).\n");
    }
    EXPECT_TRUE(manager.reported.empty());
}

TEST_F(ShellFixture, InstallWritesTheServiceAndItsEventSource) {
    ASSERT_TRUE(machine
                    .setValue("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
                              "Sources", RegValue::multiString({"Application"}))
                    .succeeded());
    for (int i = 0; i < 2; ++i) {
        ProbeService service("LumaghostService", "Play", platform());
        EXPECT_EQ(service.Install(), 1);
    }
    EXPECT_EQ(console.text, "Play installed.\nPlay installed.\n");
    EXPECT_EQ(manager.created.binaryPath, "/usr/bin/lumaserv");
    EXPECT_EQ(manager.created.startType, SERVICE_AUTO_START);
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\LumaghostService";
    EXPECT_EQ(machine.value(key, "EventMessageFile")->text, "/usr/bin/lumaserv");
    EXPECT_EQ(machine.value(key, "TypesSupported")->dword, 7u);
    // Added once, however often installed.
    EXPECT_EQ(
        machine.value("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", "Sources")
            ->strings,
        (std::vector<std::string>{"Application", "LumaghostService"}));
    EXPECT_EQ(events.entries.back().text, "Service installed");
    EXPECT_EQ(events.entries.back().type, EventType::Information);

    // Uninstalling removes every copy.
    ASSERT_TRUE(
        machine
            .setValue(
                "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", "Sources",
                RegValue::multiString({"LumaghostService", "Application", "LumaghostService"}))
            .succeeded());
    console.text.clear();
    manager.stopResult =
        hresultFromWin32(ERROR_SERVICE_NOT_ACTIVE);  // not running: no stop messages
    ProbeService service("LumaghostService", "Play", platform());
    EXPECT_EQ(service.Uninstall(), 1);
    EXPECT_EQ(console.text, "Play removed.\n");
    EXPECT_FALSE(machine.keyExists(key));
    EXPECT_EQ(
        machine.value("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", "Sources")
            ->strings,
        (std::vector<std::string>{"Application"}));
}

// What Install hands the manager is the installation `lumaserv --unit` prints the unit of, with
// the account of -l.
TEST_F(ShellFixture, InstallHandsTheManagerItsInstallation) {
    ProbeService service("LumaghostService", "Play", platform());
    char name[] = "lumaserv", i[] = "-i", l[] = "-l", account[] = "camera";
    char *argv[] = {name, i, l, account, nullptr};
    EXPECT_EQ(service.DispatchCommandLine(4, argv), 1);
    const ServiceInstallation expected = service.installation();
    EXPECT_EQ(expected.name, "LumaghostService");
    EXPECT_EQ(expected.displayName, "Play");
    EXPECT_EQ(expected.binaryPath, "/usr/bin/lumaserv");
    EXPECT_EQ(expected.account, "camera");
    EXPECT_EQ(expected.startType, SERVICE_AUTO_START);
    EXPECT_EQ(manager.created.name, expected.name);
    EXPECT_EQ(manager.created.displayName, expected.displayName);
    EXPECT_EQ(manager.created.binaryPath, expected.binaryPath);
    EXPECT_EQ(manager.created.account, expected.account);
    EXPECT_EQ(manager.created.password, expected.password);
    EXPECT_EQ(manager.created.startType, expected.startType);
}

// -t gives the start type: with -i the installation's, alone the installed service's (what
// the desktop runs under the administrator's authorisation); anything but "auto" or "demand"
// is no start type.
TEST_F(ShellFixture, StartTypeSwitchInstallsOrChanges) {
    auto run = [this](std::vector<std::string> args) {
        ProbeService service("LumaghostService", "Play", platform());
        args.insert(args.begin(), "lumaserv");
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return service.DispatchCommandLine(int(args.size()), argv.data());
    };
    EXPECT_EQ(run({"-i", "-t", "demand"}), 1);
    EXPECT_EQ(manager.created.startType, SERVICE_DEMAND_START);
    EXPECT_EQ(run({"-tauto", "-i"}), 1);
    EXPECT_EQ(manager.created.startType, SERVICE_AUTO_START);

    console.text.clear();
    EXPECT_EQ(run({"-t", "demand"}), 1);
    EXPECT_EQ(run({"-t", "auto"}), 1);
    EXPECT_EQ(manager.startTypes,
              (std::vector<uint32_t>{SERVICE_DEMAND_START, SERVICE_AUTO_START}));
    EXPECT_EQ(console.text, "Play starts when asked.\nPlay starts with the system.\n");

    manager.startTypeResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    console.text.clear();
    EXPECT_EQ(run({"-t", "auto"}), 0);
    EXPECT_EQ(console.text, "ChangeServiceConfig failed - Access is denied.\n");
    manager.openResult = hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    console.text.clear();
    EXPECT_EQ(run({"-t", "demand"}), 0);
    EXPECT_EQ(console.text,
              "OpenService failed - The specified service does not exist as an installed "
              "service.\n");
    EXPECT_EQ(manager.startTypes.size(), 3u);

    // No start type: the mode the rest of the line chooses.
    EXPECT_EQ(dispatch({"-t", "sometimes"}), Choices{"service"});
    EXPECT_EQ(dispatch({"-t"}), Choices{"service"});
}

TEST_F(ShellFixture, ConsoleMessagesWithDotsAndErrors) {
    ProbeService service("LumaghostService", "Play", platform());
    manager.states = {SERVICE_START_PENDING, SERVICE_START_PENDING, SERVICE_RUNNING};
    EXPECT_EQ(service.StartInstalled(), 1);
    EXPECT_EQ(console.text, "Starting up Play...\nPlay started.\n");  // one dot a pending second

    console.text.clear();
    manager.states = {SERVICE_STOP_PENDING, SERVICE_STOPPED};
    EXPECT_EQ(service.StopInstalled(), 1);
    EXPECT_EQ(console.text, "Stopping Play..\nPlay stopped.\n");

    console.text.clear();
    manager.states = {SERVICE_START_PENDING, SERVICE_STOPPED};
    EXPECT_EQ(service.StartInstalled(), 0);
    EXPECT_EQ(console.text, "Starting up Play..\nPlay failed to start.\n");

    console.text.clear();
    manager.startResult = hresultFromWin32(ERROR_SERVICE_ALREADY_RUNNING);
    EXPECT_EQ(service.StartInstalled(), 0);
    EXPECT_EQ(console.text,
              "Starting up Play.\nPlay failed to start: An instance of the service is already "
              "running.\n");

    console.text.clear();
    manager.connectResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(service.Install(), 0);
    EXPECT_EQ(console.text, "OpenSCManager failed - Access is denied.\n");
}

// The error text needs its length and 14 more; otherwise it is empty.
TEST_F(ShellFixture, LastErrorTextBufferRule) {
    ProbeService service("LumaghostService", "Play", platform());
    service.setLastError(ERROR_ACCESS_DENIED);  // "Access is denied.\r\n", 19 characters
    EXPECT_EQ(service.LastErrorText(33), "Access is denied.");
    EXPECT_EQ(service.LastErrorText(32), "");
    service.setLastError(123456);
    EXPECT_EQ(service.LastErrorText(256), "");
}

TEST_F(ShellFixture, ForegroundRunsUntilBreak) {
    ProbeService service("LumaghostService", "Play", platform());
    service.work = [&] {
        ASSERT_TRUE(console.onBreak);
        console.onBreak();
    };
    char name[] = "lumaserv", d[] = "-d";
    char *argv[] = {name, d, nullptr};
    EXPECT_EQ(service.DispatchCommandLine(2, argv), 1);
    EXPECT_EQ(console.text, "Debugging Play.\nStopping Play.\n");
    EXPECT_EQ(service.stops, 1);
    EXPECT_TRUE(manager.reported.empty());  // no status reports in the foreground
}

// Without the NT family: the RunServices value, and a faceless run without arguments.
TEST_F(ShellFixture, OtherPlatformsUseRunServices) {
    versions.platform = VER_PLATFORM_WIN32_WINDOWS;
    ProbeService service("LumaghostService", "Play", platform());
    EXPECT_EQ(service.Install(), 1);
    EXPECT_EQ(machine.value(kRunServicesKey, "LumaghostService")->text, "/usr/bin/lumaserv");
    EXPECT_EQ(machine.value(kRunServicesKey, "LumaghostService")->type, RegType::ExpandString);
    EXPECT_EQ(service.Uninstall(), 1);
    EXPECT_FALSE(machine.value(kRunServicesKey, "LumaghostService"));
    char name[] = "lumaserv";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(service.DispatchCommandLine(1, argv), 1);
    EXPECT_TRUE(console.detached);
    EXPECT_TRUE(manager.calls.empty());
}

}  // namespace
}  // namespace lumaghost
