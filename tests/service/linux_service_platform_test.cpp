// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/linux_service_platform.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/posix_file.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

TEST(SystemdUnitTest, UnitTextForSystemAndUserManagers) {
    test::TempRoot root;
    ServiceInstallation s{
        "LumaghostService", "Quillmoor Lumaghost Play Service", "/usr/bin/lumaserv", "camera", "",
        SERVICE_AUTO_START};
    const std::string system = SystemdServiceManager::unitText(s, false);
    for (const char *line :
         {"Description=Quillmoor Lumaghost Play Service\n", "Documentation=man:lumaserv(1)\n",
          "Type=notify\n", "ExecStart=\"/usr/bin/lumaserv\"\n",
          "ExecReload=/bin/kill -HUP $MAINPID\n", "SuccessExitStatus=1\n", "User=camera\n",
          "ProtectSystem=strict\n", "WantedBy=multi-user.target\n"})
        EXPECT_NE(system.find(line), std::string::npos) << line;
    EXPECT_NE(system.find("ReadWritePaths=\"-" + frameChannelDirectory().string() + "\" \"-" +
                          systemDirectory().string() + "\"\n"),
              std::string::npos);
    EXPECT_NE(system.find("Environment=\"LUMAGHOST_ROOT=" + root.path().string() + "\"\n"),
              std::string::npos);

    s.account.clear();
    const std::string user = SystemdServiceManager::unitText(s, true);
    EXPECT_EQ(user.find("User="), std::string::npos);
    EXPECT_EQ(user.find("ProtectSystem"), std::string::npos);
    EXPECT_NE(user.find("WantedBy=default.target\n"), std::string::npos);
}

TEST(SystemdUnitTest, UnitStatesMapToServiceStates) {
    EXPECT_EQ(serviceStateOf("active"), SERVICE_RUNNING);
    EXPECT_EQ(serviceStateOf("reloading"), SERVICE_RUNNING);
    EXPECT_EQ(serviceStateOf("activating"), SERVICE_START_PENDING);
    EXPECT_EQ(serviceStateOf("deactivating"), SERVICE_STOP_PENDING);
    EXPECT_EQ(serviceStateOf("inactive"), SERVICE_STOPPED);
    EXPECT_EQ(serviceStateOf("failed"), SERVICE_STOPPED);
}

// Outside the manager there is no notification socket: the dispatcher cannot connect.
TEST(SystemdUnitTest, NoNotifySocketMeansNoController) {
    unsetenv("NOTIFY_SOCKET");
    SystemdServiceManager manager("/nonexistent", true);
    bool ran = false;
    EXPECT_EQ(manager.runDispatcher("LumaghostService", [&] { ran = true; }),
              hresultFromWin32(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT));
    EXPECT_FALSE(ran);
}

// Paths are written in systemd's quoting: spaces stay inside the quotes, a quote and a
// backslash are escaped, "%" is doubled so it names no specifier, and "$" stays as it is (the
// program path and Environment= expand no variables).
TEST(SystemdUnitTest, PathsAreQuoted) {
    test::TempRoot root;
    const std::string odd = root.path().string() + "/a dir \"q\" \\ $x %n";
    ::setenv("LUMAGHOST_ROOT", odd.c_str(), 1);
    const std::string quoted = root.path().string() + "/a dir \\\"q\\\" \\\\ $x %%n";
    ServiceInstallation s{
        "LumaghostService", "Play 100%", "/opt/my apps/100% $HOME/lumaserv", "", "",
        SERVICE_AUTO_START};
    const std::string text = SystemdServiceManager::unitText(s, false);
    for (const std::string &line : {
             std::string("Description=Play 100%%\n"),
             std::string("ExecStart=\"/opt/my apps/100%% $HOME/lumaserv\"\n"),
             "Environment=\"LUMAGHOST_ROOT=" + quoted + "\"\n",
             "ReadWritePaths=\"-" + quoted + "/run/lumaghost\" \"-" + quoted +
                 "/var/lib/lumaghost\"\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
    EXPECT_EQ(unitQuotedWord("plain"), "\"plain\"");
    EXPECT_EQ(unitQuotedWord("a\"b\\c%d$e f"), "\"a\\\"b\\\\c%%d$e f\"");
}

// What systemd would refuse to start, or what could break a unit's lines, is refused before
// anything is written, saying why.
TEST(SystemdUnitTest, UnitsSystemdCannotStartAreRefused) {
    test::TempRoot root;
    std::string problem;
    ServiceInstallation s{"LumaghostService", "Play", "/opt/my apps/lumaserv",
                          "camera",           "",     SERVICE_AUTO_START};
    EXPECT_EQ(SystemdServiceManager::checkUnit(s, problem), S_OK) << problem;
    for (const char *path : {"/opt/it's/lumaserv", "/opt/\"q\"/lumaserv", "/opt/a\\b/lumaserv",
                             "/opt/line\nExecStartPre=/bin/true/lumaserv", "relative/lumaserv"}) {
        s.binaryPath = path;
        problem.clear();
        EXPECT_EQ(SystemdServiceManager::checkUnit(s, problem),
                  hresultFromWin32(ERROR_BAD_PATHNAME))
            << path;
        EXPECT_NE(problem.find(path), std::string::npos) << problem;
    }
    s.binaryPath = "/usr/bin/lumaserv";
    for (const char *account : {"two words", "cam\nUser=root", "a%i"}) {
        s.account = account;
        EXPECT_EQ(SystemdServiceManager::checkUnit(s, problem),
                  hresultFromWin32(ERROR_INVALID_SERVICE_ACCOUNT))
            << account;
    }
    s.account.clear();
    ::setenv("LUMAGHOST_ROOT", (root.path().string() + "/a\nb").c_str(), 1);
    EXPECT_EQ(SystemdServiceManager::checkUnit(s, problem), hresultFromWin32(ERROR_BAD_PATHNAME));

    // createService refuses it before writing the unit, and names the cause.
    SystemdServiceManager manager(root.path() / "units", true);
    s.binaryPath = "/opt/it's/lumaserv";
    EXPECT_EQ(manager.createService(s), hresultFromWin32(ERROR_BAD_PATHNAME));
    EXPECT_NE(manager.errorDetail(hresultFromWin32(ERROR_BAD_PATHNAME)).find("/opt/it's/lumaserv"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(manager.unitFile("LumaghostService")));
}

// A unit the package brought is the installed service until it is removed; removing it masks
// it, since the package's file stays, and a unit written later takes the mask's place. A unit
// of the administrator's own goes with its file. A packaged unit is no regular file when it
// is a directory of that name.
TEST(UnitFilesTest, PackagedUnitsAreInstalledAndRemovedByMasking) {
    namespace fs = std::filesystem;
    test::TempRoot root;
    const fs::path admin = root.path() / "etc", usr = root.path() / "usr",
                   lib = root.path() / "lib";
    UnitFiles units(admin, {usr, lib});
    EXPECT_TRUE(units.installed("Play").empty());
    EXPECT_EQ(units.remove("Play"), 0);
    EXPECT_FALSE(fs::exists(admin / "Play.service"));

    fs::create_directories(usr / "Play.service");
    fs::create_directories(lib);
    fs::create_directories(admin);
    ASSERT_EQ(replaceFileAtomically(lib / "Play.service", "[Unit]\n", 0644), 0);
    EXPECT_EQ(units.packagedFile("Play"), lib / "Play.service");
    EXPECT_EQ(units.installed("Play"), lib / "Play.service");
    EXPECT_EQ(units.adminFile("Play"), admin / "Play.service");

    ASSERT_EQ(replaceFileAtomically(admin / "Play.service", "[Unit]\n", 0644), 0);
    EXPECT_EQ(units.installed("Play"), admin / "Play.service");
    EXPECT_EQ(units.remove("Play"), 0);
    EXPECT_TRUE(units.masked("Play"));
    EXPECT_EQ(fs::read_symlink(admin / "Play.service"), "/dev/null");
    EXPECT_TRUE(units.installed("Play").empty());

    ASSERT_EQ(replaceFileAtomically(admin / "Play.service", "[Unit]\n", 0644), 0);
    EXPECT_FALSE(units.masked("Play"));
    EXPECT_EQ(units.installed("Play"), admin / "Play.service");

    UnitFiles own(root.path() / "own", {root.path() / "none"});
    fs::create_directories(root.path() / "own");
    ASSERT_EQ(replaceFileAtomically(own.adminFile("Play"), "[Unit]\n", 0644), 0);
    EXPECT_EQ(own.installed("Play"), own.adminFile("Play"));
    EXPECT_EQ(own.remove("Play"), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(own.adminFile("Play"))));
    EXPECT_TRUE(own.installed("Play").empty());
}

// Without a bus to reach the manager on, the manager says that it cannot be reached and why.
TEST(SystemdManagerTest, NoBusIsNamedAsTheCause) {
    test::TempRoot root;
    const std::string address = "unix:path=" + (root.path() / "no-bus").string();
    for (bool user : {false, true}) {
        const char *variable = user ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS";
        const char *before = getenv(variable);
        const std::string kept = before ? before : "";
        ::setenv(variable, address.c_str(), 1);
        SystemdServiceManager manager(root.path(), user);
        EXPECT_EQ(manager.connect(), hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE));
        EXPECT_EQ(manager.errorDetail(hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE)),
                  std::string("cannot connect to the ") + (user ? "session" : "system") +
                      " bus at " + address + " (No such file or directory)");
        EXPECT_EQ(manager.errorDetail(hresultFromWin32(ERROR_ACCESS_DENIED)), "");
        ServiceStatus status;
        EXPECT_EQ(manager.openService("LumaghostService"),
                  hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE));
        EXPECT_EQ(manager.queryStatus("LumaghostService", status),
                  hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE));
        EXPECT_EQ(manager.startService("LumaghostService"),
                  hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE));
        if (before)
            ::setenv(variable, kept.c_str(), 1);
        else
            ::unsetenv(variable);
    }
}

// A stop that comes before the service has registered its control handler is kept and handed
// to the handler once it is registered; a reload after it follows in turn.
TEST(SystemdDispatcherTest, ControlsBeforeTheHandlerAreKept) {
    using namespace std::chrono_literals;
    test::TempRoot root;
    ::setenv("NOTIFY_SOCKET", (root.path() / "notify").c_str(), 1);
    SystemdServiceManager manager(root.path(), true);
    const pthread_t dispatcher = pthread_self();
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<uint32_t> got;
    const HResult result = manager.runDispatcher("LumaghostService", [&] {
        pthread_kill(dispatcher, SIGTERM);
        // Long enough for the dispatcher to have taken the signal while there was no handler.
        std::this_thread::sleep_for(300ms);
        (void)manager.registerControlHandler("LumaghostService", [&](uint32_t control) {
            std::lock_guard lock(mutex);
            got.push_back(control);
            arrived.notify_all();
        });
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, 10s, [&] { return !got.empty(); });
        lock.unlock();
        pthread_kill(dispatcher, SIGHUP);
        lock.lock();
        arrived.wait_for(lock, 10s, [&] { return got.size() >= 2; });
    });
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_EQ(result, S_OK);
    std::lock_guard lock(mutex);
    EXPECT_EQ(got, (std::vector<uint32_t>{SERVICE_CONTROL_STOP, SERVICE_CONTROL_RELOAD}));
}

// Once the foreground run is over its break handler is cleared: a late Ctrl+C or SIGTERM calls
// nothing (the handler's shell is gone). Run in a child, whose signal mask is its own.
TEST(TerminalConsoleTest, ClearedHandlersAreNeverCalled) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::atomic<int> calls{0};
        TerminalConsole console;
        console.installBreakHandler([&] { ++calls; });
        auto waitForCalls = [&](int n) {
            for (int i = 0; i < 200 && calls < n; ++i)
                usleep(10'000);
        };
        ::kill(::getpid(), SIGINT);
        waitForCalls(1);
        console.clearHandlers();
        ::kill(::getpid(), SIGTERM);
        ::kill(::getpid(), SIGINT);
        usleep(200'000);
        _exit(calls.load());
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace lumaghost
