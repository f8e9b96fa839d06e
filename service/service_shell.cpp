// SPDX-License-Identifier: LGPL-2.1-or-later
// The shell's object: the one service of the process, its names and platform, and the status
// it keeps. Its jobs live beside it: the command line (service_command_line.cpp), the status
// reports (service_status.cpp), the console's install, start and stop (service_console.cpp),
// the foreground run (service_foreground.cpp), the event log (service_events.cpp) and the
// message table (service_messages.cpp).
#include "service/service_shell.h"

#include <pwd.h>
#include <unistd.h>

namespace lumaghost {

namespace {

ServiceShell *theService = nullptr;

}  // namespace

ServiceShell *ServiceShell::instance() {
    return theService;
}

ServiceShell::ServiceShell(std::string serviceName, std::string displayName,
                           ServicePlatform platform)
    : serviceName_(std::move(serviceName)),
      displayName_(displayName.empty() ? serviceName_ : std::move(displayName)),
      platform_(platform) {
    theService = this;
    OsVersionInfo info;
    isNt_ =
        readPlatformVersion(platform_.versions, info) && info.platformId == VER_PLATFORM_WIN32_NT;
    if (isNt_) {
        // The account running the process goes with every event-log entry.
        if (const passwd *pw = getpwuid(geteuid()))
            userName_ = pw->pw_name;
    }
}

ServiceShell::~ServiceShell() {
    theService = nullptr;
}

void ServiceShell::OnCustomControl(uint32_t) {}

void ServiceShell::Pause() {}

void ServiceShell::Resume() {}

void ServiceShell::OnShutdown() {}

std::string ServiceShell::StartProblem() {
    return {};
}

uint32_t ServiceShell::checkpoint() const {
    std::lock_guard lock(statusMutex_);
    return checkpoint_;
}

ServiceStatus ServiceShell::status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

}  // namespace lumaghost
