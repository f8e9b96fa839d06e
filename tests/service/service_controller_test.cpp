// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/service_controller.h"

#include <gtest/gtest.h>

#include "tests/service/service_doubles.h"

namespace lumaghost {
namespace {

struct ControllerFixture : ::testing::Test {
    test::FakeManager manager;
    ServiceController controller{manager};

    void name() {
        controller.setServiceName("LumaghostService");
        controller.setDisplayName("Quillmoor Lumaghost Play Service");
        controller.setProgramPath("/usr/bin/lumaserv");
    }
};

// Nothing is created without the service's names and program; creation takes the start type
// chosen and no account, and an existing service is told apart by the last error.
TEST_F(ControllerFixture, CreateNeedsNamesAndTellsAnExistingService) {
    EXPECT_EQ(controller.CreatePlayService(), 0);
    EXPECT_TRUE(manager.calls.empty());
    name();
    controller.setAutoStart(true);
    EXPECT_EQ(controller.CreatePlayService(), 1);
    EXPECT_EQ(controller.lastError(), ERROR_SUCCESS);
    EXPECT_EQ(manager.created.startType, SERVICE_AUTO_START);
    EXPECT_TRUE(manager.created.account.empty());
    manager.createResult = hresultFromWin32(ERROR_SERVICE_EXISTS);
    EXPECT_EQ(controller.CreatePlayService(), 0);
    EXPECT_EQ(controller.lastError(), ERROR_SERVICE_EXISTS);
    manager.connectResult = hresultFromWin32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(controller.CreatePlayService(), 0);
    EXPECT_EQ(controller.lastError(), ERROR_ACCESS_DENIED);
}

// Start, stop, query and the start type reach an installed service; each fails when the service
// cannot be opened, the query with -1.
TEST_F(ControllerFixture, OperationsFailWhenTheServiceCannotBeOpened) {
    name();
    manager.states = {SERVICE_RUNNING};
    EXPECT_EQ(controller.QueryPlayServiceState(), int(SERVICE_RUNNING));
    EXPECT_TRUE(controller.StopPlayService());
    EXPECT_TRUE(controller.StartPlayService());
    EXPECT_TRUE(controller.ApplyStartType());

    manager.openResult = hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(controller.QueryPlayServiceState(), -1);
    EXPECT_FALSE(controller.StartPlayService());
    EXPECT_FALSE(controller.StopPlayService());
    EXPECT_FALSE(controller.ApplyStartType());
}

}  // namespace
}  // namespace lumaghost
