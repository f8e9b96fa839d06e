// SPDX-License-Identifier: LGPL-2.1-or-later
// The desktop's service manager: installing through pkexec for a user who is not root.
#include "desk/app/desk_service_manager.h"
#include <QImage>
#include "desk/media/directory_player.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/service/play_service_command.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/service/service_manager_double.h"

namespace lumaghost {
namespace {

using namespace cmd;
using test::Calls;
using test::ServiceManagerDouble;

// For a user who is not root, installing and start-type changes run pkexec lumaserv; a
// dismissed or refused authorisation, a session without an authentication agent and lumaserv's
// own failure are told apart, each with pkexec's or lumaserv's words; a service that is there is
// never installed again.
TEST(DeskServiceManagerTest, ElevatedInstallAndStartType) {
    ServiceManagerDouble inner;
    std::vector<std::vector<std::string>> runs;
    DeskServiceManager::RunResult answer{1, {}};
    DeskServiceManager manager(inner, "/usr/bin/lumaserv", true,
                               [&](const std::vector<std::string> &argv) {
                                   runs.push_back(argv);
                                   return answer;
                               });
    ServiceInstallation service{"LumaghostService",  "Play", "/opt/bin/lumaserv", "", "",
                                SERVICE_DEMAND_START};
    EXPECT_EQ(manager.createService(service), S_OK);
    answer = {DeskServiceManager::kAuthorisationDismissed,
              "Error executing command as another user: Request dismissed\n"};
    EXPECT_EQ(manager.createService(service), hresultFromWin32(ERROR_CANCELLED));
    answer = {DeskServiceManager::kAuthorisationRefused,
              "Error executing command as another user: No authentication agent found.\n"};
    const HResult noAgent = manager.createService(service);
    EXPECT_EQ(noAgent, hresultFromWin32(ERROR_NO_AUTHENTICATION_AGENT));
    EXPECT_EQ(manager.errorDetail(noAgent),
              "Error executing command as another user: No authentication agent found.");
    answer = {DeskServiceManager::kAuthorisationRefused,
              "Error executing command as another user: Not authorized\n\nThis incident has "
              "been reported.\n"};
    EXPECT_EQ(manager.createService(service), hresultFromWin32(ERROR_ACCESS_DENIED));
    answer = {2, "lumaserv: the unit cannot be written\n"};
    const HResult own = manager.createService(service);
    EXPECT_EQ(own, hresultFromWin32(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(manager.errorDetail(own), "lumaserv: the unit cannot be written");
    inner.installed = true;
    EXPECT_EQ(manager.createService(service), hresultFromWin32(ERROR_SERVICE_EXISTS));
    using Argv = std::vector<std::string>;
    const Argv install{"pkexec", "/opt/bin/lumaserv", "-i", "-t", "demand"};
    EXPECT_EQ(runs, (std::vector<Argv>(5, install)));
    runs.clear();
    answer = {1, {}};
    EXPECT_EQ(manager.changeStartType("LumaghostService", SERVICE_AUTO_START), S_OK);
    EXPECT_EQ(runs, (std::vector<Argv>{{"pkexec", "/usr/bin/lumaserv", "-t", "auto"}}));
    EXPECT_TRUE(inner.takeCalls().empty());

    // Not elevated: the manager itself.
    DeskServiceManager direct(inner, "/usr/bin/lumaserv", false, [&](const auto &argv) {
        runs.push_back(argv);
        return DeskServiceManager::RunResult{1, {}};
    });
    inner.installed = false;
    EXPECT_EQ(direct.createService(service), S_OK);
    EXPECT_EQ(inner.takeCalls(), Calls{"create"});
    EXPECT_EQ(runs.size(), 1u);
    const DeskServiceManager::RunResult ran =
        DeskServiceManager::runProgram({"/bin/sh", "-c", "echo refused >&2; exit 7"});
    EXPECT_EQ(ran.status, 7);
    EXPECT_EQ(ran.errors, "refused\n");
    // Standard error is read to its end whatever its length, and kept up to the bound.
    const DeskServiceManager::RunResult chatty =
        DeskServiceManager::runProgram({"/bin/sh", "-c", "head -c 100000 /dev/zero >&2; exit 3"});
    EXPECT_EQ(chatty.status, 3);
    EXPECT_EQ(chatty.errors.size(), DeskServiceManager::kMaxErrorText);
    EXPECT_LT(DeskServiceManager::runProgram({"/nonexistent/pkexec"}).status, 0);
}

}  // namespace
}  // namespace lumaghost
