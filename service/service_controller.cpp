// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/service_controller.h"

namespace lumaghost {

int ServiceController::CreatePlayService() {
    if (name_.empty() || displayName_.empty() || path_.empty())
        return 0;
    HResult r = manager_.connect();
    if (r.succeeded())
        r = manager_.createService({name_, displayName_, path_, "", "",
                                    autoStart_ ? SERVICE_AUTO_START : SERVICE_DEMAND_START});
    lastError_ = win32ErrorOf(r);
    return r.succeeded() ? 1 : 0;
}

bool ServiceController::openService() {
    return manager_.connect().succeeded() && manager_.openService(name_).succeeded();
}

bool ServiceController::StartPlayService() {
    return openService() && manager_.startService(name_).succeeded();
}

bool ServiceController::StopPlayService() {
    ServiceStatus status;
    return openService() && manager_.controlStop(name_, status).succeeded();
}

int ServiceController::QueryPlayServiceState() {
    ServiceStatus status;
    if (!openService() || manager_.queryStatus(name_, status).failed())
        return -1;
    return int(status.currentState);
}

bool ServiceController::ApplyStartType() {
    return openService() &&
           manager_.changeStartType(name_, autoStart_ ? SERVICE_AUTO_START : SERVICE_DEMAND_START)
               .succeeded();
}

}  // namespace lumaghost
