// SPDX-License-Identifier: LGPL-2.1-or-later
// The play service's platform on Linux: systemd as the service manager (a unit file, the
// manager's D-Bus API, sd_notify), the journal as the event log, and the terminal.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "service/service_platform.h"

namespace lumaghost {

/// The system account the play service and the system's `lumacam run` run as: a member of
/// group video, without a login, its home the state directory (the package makes it).
inline constexpr char kServiceAccount[] = "lumaghost";

/// A service's unit files: the administrator's, which installing writes, and those a package
/// brought, which stay where the package put them. A package's unit is removed by masking it
/// (the administrator's file becomes a link to /dev/null), as systemctl does.
class UnitFiles {
public:
    UnitFiles(std::filesystem::path adminDirectory,
              std::vector<std::filesystem::path> packagedDirectories);

    /// The administrator's unit file, whether it exists or not.
    std::filesystem::path adminFile(const std::string &name) const;
    /// The first packaged unit file there is, or empty.
    std::filesystem::path packagedFile(const std::string &name) const;
    /// Whether the administrator's file masks the service.
    bool masked(const std::string &name) const;
    /// The file the manager loads: the administrator's, else a packaged one; empty when there is
    /// none or the service is masked.
    std::filesystem::path installed(const std::string &name) const;
    /// Removes the administrator's file and masks a packaged one; 0 or an errno value.
    int remove(const std::string &name) const;
    /// Masks the service; 0 or an errno value.
    int mask(const std::string &name) const;

private:
    std::filesystem::path adminDirectory_;
    std::vector<std::filesystem::path> packagedDirectories_;
};

class SystemdServiceManager final : public ServiceManager {
public:
    /// Units go to `unitDirectory`; units a package brought are looked for in
    /// `packagedDirectories`. `userManager` talks to the user's manager instead of the system's.
    SystemdServiceManager(std::filesystem::path unitDirectory, bool userManager,
                          std::vector<std::filesystem::path> packagedDirectories = {});
    ~SystemdServiceManager() override;

    HResult connect() override;
    HResult createService(const ServiceInstallation &service) override;
    HResult openService(const std::string &name) override;
    HResult deleteService(const std::string &name) override;
    HResult controlStop(const std::string &name, ServiceStatus &status) override;
    HResult queryStatus(const std::string &name, ServiceStatus &status) override;
    HResult startService(const std::string &name) override;
    HResult changeStartType(const std::string &name, uint32_t startType) override;
    /// Restarts the service when it runs; S_FALSE when it does not.
    HResult restartIfRunning(const std::string &name);

    HResult runDispatcher(const std::string &name,
                          const std::function<void()> &serviceMain) override;
    HResult registerControlHandler(const std::string &name,
                                   std::function<void(uint32_t)> handler) override;
    HResult setStatus(const ServiceStatus &status) override;
    std::string errorDetail(HResult error) const override;

    /// The unit file installing writes.
    std::filesystem::path unitFile(const std::string &name) const;
    /// Whether this talks to a user's manager rather than the system's.
    bool userManager() const { return userManager_; }
    /// Lets the manager ask the user's authorisation agent (polkit) when a call needs the
    /// user's consent, instead of refusing it; for a desktop's calls. Such a call may wait for
    /// the user as long as kInteractiveCallTimeoutUs.
    void setInteractiveAuthorization(bool allow);
    static constexpr uint64_t kInteractiveCallTimeoutUs = uint64_t{300} * 1000 * 1000;
    /// The unit file's text for an installation under the system's or a user's manager. Under
    /// the system's, the service runs as the installation's account or else kServiceAccount,
    /// with group video, in a sandbox that leaves it the frame channels and the state
    /// directory to write and no privilege, device or network.
    static std::string unitText(const ServiceInstallation &service, bool userManager);
    /// Whether the installation can be written into a unit that systemd will start: S_OK, or
    /// ERROR_BAD_PATHNAME, ERROR_INVALID_SERVICE_ACCOUNT or ERROR_INVALID_PARAMETER with
    /// `problem` saying why.
    static HResult checkUnit(const ServiceInstallation &service, std::string &problem);

private:
    HResult call(const char *method, const std::function<int(void *message)> &append,
                 void **reply = nullptr);
    HResult enable(const std::string &name);
    HResult disable(const std::string &name);
    std::string activeState(const std::string &name);

    UnitFiles units_;
    bool userManager_;
    HResult fail(HResult error, std::string detail);

    void *bus_ = nullptr;
    bool interactive_ = false;
    HResult detailedError_ = S_OK;  // the failure errorDetail_ explains
    std::string errorDetail_;

    // Controls reach the handler from the dispatcher's thread; those that come before the
    // service has registered it wait in pending_.
    std::mutex handlerMutex_;  // guards handler_ and pending_
    std::function<void(uint32_t)> handler_;
    std::deque<uint32_t> pending_;
};

/// One word of a unit setting, in double quotes: backslash and quote escaped, "%" doubled so no
/// specifier is read. Right for ExecStart='s program path (which systemd takes without variable
/// expansion) and for the words of Environment= and ReadWritePaths=.
std::string unitQuotedWord(const std::string &word);

/// The manager for this machine: units in $LUMAGHOST_ROOT/etc/systemd/system, packaged ones in
/// $LUMAGHOST_ROOT/usr/local/lib, /usr/lib and /lib /systemd/system, the system manager (the
/// user's manager where LUMAGHOST_SERVICE_MANAGER=user, without packaged units).
SystemdServiceManager &systemServiceManager();

class JournalEventLog final : public EventLog {
public:
    bool report(const std::string &source, EventType type, uint32_t id,
                const std::string &text) override;
};

class TerminalConsole final : public Console {
public:
    void print(const std::string &text) override;
    void installBreakHandler(std::function<void()> onBreak) override;
    void detach(std::function<void()> onStop) override;
    void clearHandlers() override;
};

/// The state of a unit in the manager's terms as a service state.
uint32_t serviceStateOf(const std::string &activeState);

}  // namespace lumaghost
