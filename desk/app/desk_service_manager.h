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

#include "service/service_platform.h"

namespace lumaghost {

class DeskServiceManager final : public ServiceManager {
public:
    /// Runs a program with its arguments (argv[0] found on PATH) and returns its exit status,
    /// or a negative errno value when it could not be run.
    using Runner = std::function<int(const std::vector<std::string> &argv)>;

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
    std::string errorDetail(HResult error) const override { return manager_.errorDetail(error); }

    bool elevates() const { return elevate_; }

    /// posix_spawnp and waitpid.
    static int runProgram(const std::vector<std::string> &argv);

private:
    /// Runs lumaserv with `arguments` under pkexec: S_OK when it succeeded (exit status 1).
    HResult runElevated(const std::string &lumaserv, const std::vector<std::string> &arguments);

    ServiceManager &manager_;
    std::string lumaserv_;
    bool elevate_;
    Runner run_;
};

/// Whether Lumadesk must have the service installed by an administrator: it talks to the
/// system's manager about the real system (no $LUMAGHOST_ROOT) and does not run as root.
bool ServiceInstallNeedsElevation(bool userManager);

}  // namespace lumaghost
