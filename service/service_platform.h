// SPDX-License-Identifier: LGPL-2.1-or-later
// What the play service needs of its platform: the service manager (both the side that installs,
// starts and stops services and the side a running service reports to), the event log, the
// console, and waiting. The manager's results carry the Windows error numbers of the service
// control manager (hresultFromWin32; win32ErrorOf gives the number back).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/hresult.h"

namespace lumaghost {

// Service states and control codes.
inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;
inline constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr uint32_t SERVICE_PAUSED = 7;

inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr uint32_t SERVICE_CONTROL_SHUTDOWN = 5;
/// Our own control, sent by `systemctl reload`: read the auto-play setting again.
inline constexpr uint32_t SERVICE_CONTROL_RELOAD = 128;

inline constexpr uint32_t SERVICE_ACCEPT_STOP = 1;
inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 16;
inline constexpr uint32_t SERVICE_AUTO_START = 2;
inline constexpr uint32_t SERVICE_DEMAND_START = 3;
inline constexpr uint32_t SERVICE_DISABLED = 4;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;

inline constexpr uint32_t ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr uint32_t ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr uint32_t ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr uint32_t ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr uint32_t ERROR_SERVICE_EXISTS = 1073;
inline constexpr uint32_t ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr uint32_t ERROR_INVALID_SERVICE_ACCOUNT = 1057;
inline constexpr uint32_t ERROR_BAD_PATHNAME = 161;
/// An application-defined failure (bits 31 and 29 set, so it stands as it is in a result): the
/// service manager cannot be reached at all.
inline constexpr uint32_t ERROR_SERVICE_MANAGER_UNREACHABLE = 0xA0000001;

struct ServiceStatus {
    uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
    uint32_t currentState = SERVICE_STOPPED;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

struct ServiceInstallation {
    std::string name;
    std::string displayName;
    std::string binaryPath;
    std::string account;  // empty: the manager's default
    std::string password;
    uint32_t startType = SERVICE_AUTO_START;
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    // The manager's client side.
    virtual HResult connect() = 0;
    virtual HResult createService(const ServiceInstallation &service) = 0;
    virtual HResult openService(const std::string &name) = 0;
    virtual HResult deleteService(const std::string &name) = 0;
    /// Sends the stop control; ERROR_SERVICE_NOT_ACTIVE when the service does not take it.
    virtual HResult controlStop(const std::string &name, ServiceStatus &status) = 0;
    virtual HResult queryStatus(const std::string &name, ServiceStatus &status) = 0;
    virtual HResult startService(const std::string &name) = 0;
    virtual HResult changeStartType(const std::string &name, uint32_t startType) = 0;

    // A running service's side.
    /// Runs `serviceMain` as the service, delivering controls to the registered handler, and
    /// returns when it has ended; ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the process was
    /// not started by the manager.
    virtual HResult runDispatcher(const std::string &name,
                                  const std::function<void()> &serviceMain) = 0;
    /// Controls that arrived before a handler was registered are delivered to it once it is.
    virtual HResult registerControlHandler(const std::string &name,
                                           std::function<void(uint32_t)> handler) = 0;
    virtual HResult setStatus(const ServiceStatus &status) = 0;

    /// What caused the last failure with `error`, in words; empty when unknown.
    virtual std::string errorDetail(HResult error) const {
        (void)error;
        return {};
    }
};

enum class EventType : uint16_t { Error = 1, Warning = 2, Information = 4 };

class EventLog {
public:
    virtual ~EventLog() = default;
    /// Writes one entry under `source`; false when the log cannot be reached.
    virtual bool report(const std::string &source, EventType type, uint32_t id,
                        const std::string &text) = 0;
};

class Console {
public:
    virtual ~Console() = default;
    virtual void print(const std::string &text) = 0;
    /// Calls `onBreak` on Ctrl+C, Ctrl+Break (SIGINT) and SIGTERM.
    virtual void installBreakHandler(std::function<void()> onBreak) = 0;
    /// Detaches from the terminal (the faceless mode); SIGTERM still calls `onStop`.
    virtual void detach(std::function<void()> onStop) = 0;
    /// Forgets the handler given to installBreakHandler() or detach(), waiting for a call of it
    /// that is under way: a later signal calls nothing.
    virtual void clearHandlers() {}
};

/// Time as the worker sees it: sleeping, and waiting for a manual-reset event.
class ManualResetEvent;
class Waiter {
public:
    virtual ~Waiter() = default;
    /// A manual-reset event, not set, that this waiter can wait on.
    virtual std::unique_ptr<ManualResetEvent> createEvent() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    /// True when the event is set before the time runs out; 0xFFFFFFFF waits without limit.
    virtual bool wait(ManualResetEvent &event, uint32_t milliseconds) = 0;
};

class ManualResetEvent {
public:
    virtual ~ManualResetEvent() = default;
    virtual void set() = 0;
    virtual void reset() = 0;
    virtual bool isSet() const = 0;
};

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

/// The real waiter: the steady clock and condition variables.
Waiter &systemWaiter();

}  // namespace lumaghost
