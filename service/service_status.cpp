// SPDX-License-Identifier: LGPL-2.1-or-later
// Running under the service manager: the dispatcher, the service-main routine, the control
// handler and the status reports with their checkpoints.
#include "service/service_shell.h"

namespace lumaghost {

bool ServiceShell::SetStatus(uint32_t state, uint32_t waitHint, uint32_t serviceSpecificExitCode) {
    if (foreground_)
        return true;
    HResult result;
    {
        // One report at a time, so checkpoints reach the manager in the order they were counted.
        std::lock_guard lock(statusMutex_);
        status_.currentState = state;
        status_.controlsAccepted = state == SERVICE_START_PENDING ? 0 : controlsAccepted_;
        status_.serviceSpecificExitCode = serviceSpecificExitCode;
        status_.win32ExitCode = serviceSpecificExitCode ? ERROR_SERVICE_SPECIFIC_ERROR : 0;
        status_.checkPoint =
            (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : ++checkpoint_;
        status_.waitHint = waitHint;
        result = platform_.manager.setStatus(status_);
    }
    if (result.failed()) {
        LogEvent("SetServiceStatus() failed", EventType::Error);
        return false;
    }
    return true;
}

int ServiceShell::RunAsService() {
    const HResult err = platform_.manager.runDispatcher(serviceName_, [this] { serviceMain(); });
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        LogEvent(LastErrorText(255), EventType::Error);
        return 0;
    }
    return 1;
}

void ServiceShell::serviceMain() {
    if (platform_.manager
            .registerControlHandler(serviceName_, [this](uint32_t c) { controlHandler(c); })
            .failed())
        return;
    haveStatusHandle_ = true;
    if (reportDirect(SERVICE_START_PENDING, 0).failed()) {
        LogEvent("SetServiceStatus() failed", EventType::Error);
    } else {
        Run(0, nullptr);
    }
    if (reportDirect(SERVICE_STOPPED, controlsAccepted_).failed())
        LogEvent("SetServiceStatus() failed", EventType::Error);
}

HResult ServiceShell::reportDirect(uint32_t state, uint32_t controlsAccepted) {
    std::lock_guard lock(statusMutex_);
    status_.currentState = state;
    status_.controlsAccepted = controlsAccepted;
    status_.win32ExitCode = 0;
    status_.checkPoint = state == SERVICE_STOPPED ? 0 : ++checkpoint_;
    status_.waitHint = 3000;
    return platform_.manager.setStatus(status_);
}

void ServiceShell::setCurrentState(uint32_t state) {
    std::lock_guard lock(statusMutex_);
    status_.currentState = state;
}

void ServiceShell::controlHandler(uint32_t code) {
    switch (code) {
        case SERVICE_CONTROL_STOP:
            setCurrentState(SERVICE_STOP_PENDING);
            RequestStop();
            break;
        case SERVICE_CONTROL_PAUSE:
            setCurrentState(SERVICE_PAUSE_PENDING);
            Pause();
            break;
        case SERVICE_CONTROL_CONTINUE:
            setCurrentState(SERVICE_CONTINUE_PENDING);
            Resume();
            break;
        case SERVICE_CONTROL_INTERROGATE:
            SetStatus(status().currentState, 3000, 0);
            break;
        case SERVICE_CONTROL_SHUTDOWN:
            OnShutdown();
            break;
        default:
            if (code >= 128 && code <= 255)
                OnCustomControl(code);
            break;
    }
}

}  // namespace lumaghost
