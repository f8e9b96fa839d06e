// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/desk_service_manager.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

extern char **environ;

namespace lumaghost {

DeskServiceManager::DeskServiceManager(ServiceManager &manager, std::string lumaserv, bool elevate,
                                       Runner run)
    : manager_(manager), lumaserv_(std::move(lumaserv)), elevate_(elevate), run_(std::move(run)) {}

int DeskServiceManager::runProgram(const std::vector<std::string> &argv) {
    if (argv.empty())
        return -EINVAL;
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (const int err = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ))
        return -err;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -errno;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kAuthorisationRefused;
}

HResult DeskServiceManager::runElevated(const std::string &lumaserv,
                                        const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{"pkexec", lumaserv};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const int status = run_(argv);
    if (status < 0)
        return hresultFromErrno(-status);
    // lumaserv ends with 1 when it did what it was asked.
    if (status == 1)
        return S_OK;
    // Dismissed, refused, or lumaserv's own failure: the user was not allowed, or the
    // administrator's run could not do it.
    return hresultFromWin32(ERROR_ACCESS_DENIED);
}

HResult DeskServiceManager::createService(const ServiceInstallation &service) {
    if (!elevate_)
        return manager_.createService(service);
    // Nobody is asked for an authorisation that cannot help.
    if (manager_.openService(service.name).succeeded())
        return hresultFromWin32(ERROR_SERVICE_EXISTS);
    std::vector<std::string> arguments{"-i", "-t",
                                       service.startType == SERVICE_AUTO_START ? "auto" : "demand"};
    if (!service.account.empty())
        arguments.insert(arguments.end(), {"-l", service.account});
    const HResult r = runElevated(service.binaryPath, arguments);
    if (r.failed() && manager_.openService(service.name).succeeded())
        return hresultFromWin32(ERROR_SERVICE_EXISTS);
    return r;
}

HResult DeskServiceManager::deleteService(const std::string &name) {
    if (!elevate_)
        return manager_.deleteService(name);
    return runElevated(lumaserv_, {"-u"});
}

HResult DeskServiceManager::changeStartType(const std::string &name, uint32_t startType) {
    if (!elevate_)
        return manager_.changeStartType(name, startType);
    if (const HResult r = manager_.openService(name); r.failed())
        return r;
    return runElevated(lumaserv_, {"-t", startType == SERVICE_AUTO_START ? "auto" : "demand"});
}

bool ServiceInstallNeedsElevation(bool userManager) {
    return !userManager && lumaghostRoot().empty() && ::geteuid() != 0;
}

}  // namespace lumaghost
