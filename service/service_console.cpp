// SPDX-License-Identifier: LGPL-2.1-or-later
// Installing, removing, starting and stopping the installed service from a console, with the
// messages and dots the console shows.
#include "service/service_shell.h"

namespace lumaghost {

ServiceInstallation ServiceShell::installation() const {
    return {serviceName_, displayName_, platform_.modulePath, account_, password_, startType_};
}

int ServiceShell::Install() {
    EnsureConsole();
    const std::string &path = platform_.modulePath;
    if (path.empty() || path.size() > 1023) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        print(withNameAndError("Unable to install %s - %s\n"));
        return 0;
    }
    if (!isNt_) {
        HResult r =
            platform_.machine.setValue(kRunServicesKey, serviceName_, RegValue::expandString(path));
        return r.succeeded() ? 1 : 0;
    }
    HResult err = platform_.manager.connect();
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenSCManager failed - %s\n", LastErrorText(256)));
        return 0;
    }
    installation_ = installation();
    err = platform_.manager.createService(installation_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("CreateService failed - %s\n", LastErrorText(256)));
        return 0;
    }
    print(withName("%s installed.\n"));
    AddEventSource(path, 7);
    LogEvent("Service installed", EventType::Information);
    return 1;
}

uint32_t ServiceShell::waitWhile(uint32_t pending) {
    ServiceStatus s;
    for (;;) {
        platform_.waiter.sleep(1000);
        if (platform_.manager.queryStatus(serviceName_, s).failed())
            return 0;
        if (s.currentState != pending)
            return s.currentState;
        print(".");
    }
}

bool ServiceShell::openService() {
    HResult err = platform_.manager.connect();
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenSCManager failed - %s\n", LastErrorText(256)));
        return false;
    }
    err = platform_.manager.openService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenService failed - %s\n", LastErrorText(256)));
        return false;
    }
    return true;
}

bool ServiceShell::stopAndWait(uint32_t &endState) {
    ServiceStatus s;
    if (platform_.manager.controlStop(serviceName_, s).failed())
        return false;  // not running: nothing to say
    print(withName("Stopping %s."));
    endState = waitWhile(SERVICE_STOP_PENDING);
    print(withName(endState == SERVICE_STOPPED ? "\n%s stopped.\n" : "\n%s failed to stop.\n"));
    return true;
}

int ServiceShell::Uninstall() {
    EnsureConsole();
    if (!isNt_) {
        HResult r = platform_.machine.modify([&](HiveData &d) {
            d.createKey(kRunServicesKey);
            d.deleteValue(kRunServicesKey, serviceName_);
            return S_OK;
        });
        return r.succeeded() ? 1 : 0;
    }
    if (!openService())
        return 0;
    uint32_t ended = 0;
    (void)stopAndWait(ended);
    const HResult err = platform_.manager.deleteService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("DeleteService failed - %s\n", LastErrorText(256)));
        return 0;
    }
    print(withName("%s removed.\n"));
    RemoveEventSource();
    return 1;
}

int ServiceShell::StopInstalled() {
    if (!openService())
        return 0;
    uint32_t state = 0;
    if (!stopAndWait(state))
        return 0;
    return state == SERVICE_STOPPED ? 1 : 0;
}

int ServiceShell::StartInstalled() {
    if (!openService())
        return 0;
    print(withName("Starting up %s."));
    const HResult err = platform_.manager.startService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(withNameAndError("\n%s failed to start: %s\n"));
        return 0;
    }
    const uint32_t state = waitWhile(SERVICE_START_PENDING);
    print(withName(state == SERVICE_RUNNING ? "\n%s started.\n" : "\n%s failed to start.\n"));
    return state == SERVICE_RUNNING ? 1 : 0;
}

int ServiceShell::ChangeStartType() {
    EnsureConsole();
    if (!openService())
        return 0;
    const HResult err = platform_.manager.changeStartType(serviceName_, startType_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("ChangeServiceConfig failed - %s\n", LastErrorText(256)));
        return 0;
    }
    print(withName(startType_ == SERVICE_AUTO_START ? "%s starts with the system.\n"
                                                    : "%s starts when asked.\n"));
    return 1;
}

}  // namespace lumaghost
