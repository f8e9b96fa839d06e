// SPDX-License-Identifier: LGPL-2.1-or-later
// The shell around a service's work: its command line, installing and removing itself,
// starting and stopping the installed service from a console, running the work in the
// foreground, status reports to the service manager, the event log and the message table.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform_version.h"
#include "platform/registry.h"
#include "service/service_platform.h"

namespace lumaghost {

struct ServicePlatform {
    ServiceManager &manager;
    EventLog &eventLog;
    Console &console;
    VersionSource &versions;
    RegistryHive &machine;
    Waiter &waiter;
    /// The program's own path; empty when it cannot be had.
    std::string modulePath;
};

inline constexpr char kEventLogApplicationKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
inline constexpr char kRunServicesKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

class ServiceShell {
public:
    ServiceShell(std::string serviceName, std::string displayName, ServicePlatform platform);
    virtual ~ServiceShell();
    ServiceShell(const ServiceShell &) = delete;
    ServiceShell &operator=(const ServiceShell &) = delete;

    virtual void Run(int argc, char **argv) = 0;
    virtual void RequestStop() = 0;
    virtual void OnCustomControl(uint32_t code);
    virtual void Pause();
    virtual void Resume();
    virtual void OnShutdown();
    /// Why the work cannot run at all, in one line; empty when it can. The foreground modes
    /// print it and end with kCannotRunExitCode.
    virtual std::string StartProblem();

    /// Parses the switches and runs the chosen mode; the process's exit code (1 success, 0
    /// failure).
    virtual int DispatchCommandLine(int argc, char **argv);
    /// The command line a caller given the administrator's authorisation (pkexec) may run:
    /// -i, -u, -s or -e, `-t auto|demand`, and `-l ACCOUNT` naming an account that exists and is
    /// not root's, each switch on its own, nothing else. Empty when `argv` is such a line,
    /// otherwise what is refused, in one line.
    static std::string ElevatedCommandLineProblem(int argc, char **argv);
    virtual int RunAsService();
    virtual int Install();
    virtual int Uninstall();
    virtual int StopInstalled();
    virtual int StartInstalled();
    /// -t alone: gives the installed service the start type of -t (on a desktop's behalf, which
    /// runs this under the administrator's authorisation).
    virtual int ChangeStartType();
    virtual int RunInForeground(int argc, char **argv, bool faceless);
    virtual void AddEventSource(const std::string &messageFile, uint32_t typesSupported);
    virtual void RemoveEventSource();
    virtual void LogEvent(const std::string &text, EventType type, int64_t id = -1);

    bool SetStatus(uint32_t state, uint32_t waitHint, uint32_t serviceSpecificExitCode);
    /// The last error's message without its line break, or empty when it does not fit in
    /// `bufferSize` with 14 to spare.
    std::string LastErrorText(size_t bufferSize) const;
    void EnsureConsole();

    const std::string &serviceName() const { return serviceName_; }
    const std::string &displayName() const { return displayName_; }
    uint32_t checkpoint() const;
    ServiceStatus status() const;
    /// What Install hands the service manager: this program under the service's names, run as
    /// the account of -l (empty: the manager's default), started with the system.
    ServiceInstallation installation() const;
    const std::string &account() const { return account_; }
    const std::string &password() const { return password_; }
    /// The start type of -t ("auto" or "demand"); SERVICE_AUTO_START without it.
    uint32_t startType() const { return startType_; }
    bool foreground() const { return foreground_; }
    uint32_t lastError() const { return lastError_; }
    void setLastError(uint32_t error) { lastError_ = error; }

    /// The one service object of the process, or nullptr.
    static ServiceShell *instance();

protected:
    void serviceMain();
    void controlHandler(uint32_t code);
    void print(const std::string &text) { platform_.console.print(text); }
    /// `pattern` with its first "%s" replaced by `a` and its second by `b`.
    static std::string format(const char *pattern, const std::string &a, const std::string &b = {});
    std::string withName(const char *pattern) const;
    std::string withNameAndError(const char *pattern) const;
    /// Prints dots while the service stays in `pending`; returns the state it ended in.
    uint32_t waitWhile(uint32_t pending);
    /// Connects to the manager and opens the service, saying why when it cannot.
    bool openService();
    /// Sends the stop control and waits it out with its messages; false when it was refused.
    bool stopAndWait(uint32_t &endState);
    /// Reports `state` straight to the manager with a fixed checkpoint rule (service-main).
    HResult reportDirect(uint32_t state, uint32_t controlsAccepted);
    void setCurrentState(uint32_t state);

    std::string serviceName_;
    std::string displayName_;
    // The status record and its checkpoint are written by the worker and the control handler.
    mutable std::mutex statusMutex_;  // guards checkpoint_ and status_
    uint32_t checkpoint_ = 0;
    uint32_t lastError_ = 0;
    std::atomic<bool> foreground_{false};
    ServiceStatus status_;
    bool haveStatusHandle_ = false;
    uint32_t controlsAccepted_ = SERVICE_ACCEPT_STOP;
    std::string userName_;
    bool isNt_ = true;
    bool consoleAttached_ = false;
    ServiceInstallation installation_;
    std::string account_, password_;
    uint32_t startType_ = SERVICE_AUTO_START;
    ServicePlatform platform_;
};

/// The foreground modes' exit code when the work cannot run at all (StartProblem): neither
/// success (1) nor 0, which a shell would take for success.
inline constexpr int kCannotRunExitCode = 2;

/// The system's message for a Windows error number, with its trailing line break.
std::string systemMessage(uint32_t error);

}  // namespace lumaghost
