#include "service/service_controller.h"

namespace lumaghost {

int ServiceController::CreatePlayService() {
    if (name_.empty() || displayName_.empty() || path_.empty())
        return 0;
    lastError_ = manager_.connect();
    if (lastError_ == ERROR_SUCCESS)
        lastError_ =
            manager_.createService({name_, displayName_, path_, "", "",
                                    autoStart_ ? SERVICE_AUTO_START : SERVICE_DEMAND_START});
    return lastError_ == ERROR_SUCCESS ? 1 : 0;
}

bool ServiceController::StartPlayService() {
    if (manager_.connect() != ERROR_SUCCESS || manager_.openService(name_) != ERROR_SUCCESS)
        return false;
    return manager_.startService(name_) == ERROR_SUCCESS;
}

bool ServiceController::StopPlayService() {
    ServiceStatus status;
    if (manager_.connect() != ERROR_SUCCESS || manager_.openService(name_) != ERROR_SUCCESS)
        return false;
    return manager_.controlStop(name_, status) == ERROR_SUCCESS;
}

int ServiceController::QueryPlayServiceState() {
    ServiceStatus status;
    if (manager_.connect() != ERROR_SUCCESS || manager_.openService(name_) != ERROR_SUCCESS ||
        manager_.queryStatus(name_, status) != ERROR_SUCCESS)
        return -1;
    return int(status.currentState);
}

bool ServiceController::ApplyStartType() {
    if (manager_.connect() != ERROR_SUCCESS || manager_.openService(name_) != ERROR_SUCCESS)
        return false;
    return manager_.changeStartType(
               name_, autoStart_ ? SERVICE_AUTO_START : SERVICE_DEMAND_START) == ERROR_SUCCESS;
}

}  // namespace lumaghost
