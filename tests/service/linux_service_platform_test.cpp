#include "linux_service_platform.h"

#include <gtest/gtest.h>

#include "paths.h"
#include "test_support.h"

namespace lumaghost {
namespace {

TEST(SystemdUnitTest, UnitTextForSystemAndUserManagers) {
    test::TempRoot root;
    ServiceInstallation s{
        "LumaghostService", "Quillmoor Lumaghost Play Service", "/usr/bin/lumaserv", "camera", "",
        SERVICE_AUTO_START};
    const std::string system = SystemdServiceManager::unitText(s, false);
    for (const char *line :
         {"Description=Quillmoor Lumaghost Play Service\n", "Type=notify\n",
          "ExecStart=/usr/bin/lumaserv\n", "ExecReload=/bin/kill -HUP $MAINPID\n",
          "SuccessExitStatus=1\n", "User=camera\n", "ProtectSystem=strict\n",
          "WantedBy=multi-user.target\n"})
        EXPECT_NE(system.find(line), std::string::npos) << line;
    EXPECT_NE(system.find("ReadWritePaths=-" + frameChannelDirectory().string()),
              std::string::npos);
    EXPECT_NE(system.find("Environment=LUMAGHOST_ROOT=" + root.path().string() + "\n"),
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
              ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace lumaghost
