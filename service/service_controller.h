// SPDX-License-Identifier: LGPL-2.1-or-later
// The desktop's control of the play service: create it, start it, stop it, query its state and
// apply its start type, through the same service manager layer the service itself uses.
#pragma once

#include <cstdint>
#include <string>

#include "service/service_platform.h"

namespace lumaghost {

class ServiceController {
public:
    explicit ServiceController(ServiceManager &manager) : manager_(manager) {}

    void setServiceName(std::string name) { name_ = std::move(name); }
    void setDisplayName(std::string name) { displayName_ = std::move(name); }
    void setProgramPath(std::string path) { path_ = std::move(path); }
    void setAutoStart(bool on) { autoStart_ = on; }

    /// 1 when created; 0 when a name or the path is missing or creation failed (lastError says
    /// why).
    int CreatePlayService();
    /// True when the service could be opened and the start was accepted.
    bool StartPlayService();
    /// True when the service could be opened and the stop control accepted; never waits.
    bool StopPlayService();
    /// The service's state, or -1 when it cannot be opened or queried.
    int QueryPlayServiceState();
    bool ApplyStartType();

    /// The Windows error number of CreatePlayService's failure (ERROR_SERVICE_EXISTS when the
    /// service is there already); ERROR_SUCCESS after it succeeded.
    uint32_t lastError() const { return lastError_; }

private:
    /// Connects to the manager and opens the service.
    bool openService();

    ServiceManager &manager_;
    std::string name_, displayName_, path_;
    bool autoStart_ = false;
    uint32_t lastError_ = 0;
};

}  // namespace lumaghost
