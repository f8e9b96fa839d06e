// SPDX-License-Identifier: LGPL-2.1-or-later
// The play service's manager as Lumadesk uses it. Starting, stopping and asking go to the
// service manager itself (systemd's D-Bus API, which asks the user's authorisation agent where
// the call needs consent). Installing the service and changing its start type write the
// system's unit files: a user who is not root has them done by `pkexec lumaserv ...`, under
// Lumaghost's polkit action (packaging/polkit/org.quillmoor.lumaghost.policy.in).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "desk/service/play_service_control.h"
#include "service/service_platform.h"

namespace lumaghost {

class DeskServiceManager final : public ServiceManager {
public:
    /// What a program run said: its exit status, or a negative errno value when it could not be
    /// run, and what it wrote to its standard error (at most kMaxErrorText bytes).
    struct RunResult {
        int status = 0;
        std::string errors;
    };
    static constexpr size_t kMaxErrorText = 4096;
    /// Runs a program with its arguments (argv[0] found on PATH).
    using Runner = std::function<RunResult(const std::vector<std::string> &argv)>;

    /// pkexec's exit status when the user dismissed the authorisation or was refused it.
    static constexpr int kAuthorisationDismissed = 126;
    static constexpr int kAuthorisationRefused = 127;

    /// Calls go to `manager`; with `elevate`, installing and start-type changes run
    /// `pkexec LUMASERV -i|-t ...` through `run`, `lumaserv` being the play service's program.
    DeskServiceManager(ServiceManager &manager, std::string lumaserv, bool elevate,
                       Runner run = runProgram);

    HResult connect() override { return manager_.connect(); }
    HResult createService(const ServiceInstallation &service) override;
    HResult openService(const std::string &name) override { return manager_.openService(name); }
    HResult deleteService(const std::string &name) override;
    HResult controlStop(const std::string &name, ServiceStatus &status) override {
        return manager_.controlStop(name, status);
    }
    HResult queryStatus(const std::string &name, ServiceStatus &status) override {
        return manager_.queryStatus(name, status);
    }
    HResult startService(const std::string &name) override { return manager_.startService(name); }
    HResult changeStartType(const std::string &name, uint32_t startType) override;
    HResult runDispatcher(const std::string &name,
                          const std::function<void()> &serviceMain) override {
        return manager_.runDispatcher(name, serviceMain);
    }
    HResult registerControlHandler(const std::string &name,
                                   std::function<void(uint32_t)> handler) override {
        return manager_.registerControlHandler(name, std::move(handler));
    }
    HResult setStatus(const ServiceStatus &status) override { return manager_.setStatus(status); }
    /// pkexec's or the elevated lumaserv's words for their last failure, else the manager's.
    std::string errorDetail(HResult error) const override;

    bool elevates() const { return elevate_; }

    /// posix_spawnp and waitpid, standard error read through a pipe.
    static RunResult runProgram(const std::vector<std::string> &argv);

private:
    /// Runs lumaserv with `arguments` under pkexec: S_OK when it succeeded (exit status 1);
    /// ERROR_CANCELLED, ERROR_NO_AUTHENTICATION_AGENT or ERROR_ACCESS_DENIED when the
    /// authorisation was not had; ERROR_SERVICE_SPECIFIC_ERROR when lumaserv itself failed.
    HResult runElevated(const std::string &lumaserv, const std::vector<std::string> &arguments);
    HResult fail(HResult error, std::string detail);

    ServiceManager &manager_;
    std::string lumaserv_;
    bool elevate_;
    Runner run_;
    HResult failure_ = S_OK;  // the last failure of runElevated, which failureDetail_ explains
    std::string failureDetail_;
};

/// Whether Lumadesk must have the service installed by an administrator: it talks to the
/// system's manager about the real system (no $LUMAGHOST_ROOT) and does not run as root.
bool serviceInstallNeedsElevation(bool userManager);

}  // namespace lumaghost
