// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/desk_service_manager.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/paths.h"
#include "platform/posix_file.h"

extern char **environ;

namespace lumaghost {

DeskServiceManager::DeskServiceManager(ServiceManager &manager, std::string lumaserv, bool elevate,
                                       Runner run)
    : manager_(manager), lumaserv_(std::move(lumaserv)), elevate_(elevate), run_(std::move(run)) {}

DeskServiceManager::RunResult DeskServiceManager::runProgram(const std::vector<std::string> &argv) {
    if (argv.empty())
        return {-EINVAL, {}};
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) < 0)
        return {-errno, {}};
    UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
    pid_t pid = 0;
    const int err = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (err)
        return {-err, {}};
    RunResult result;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        // Read to the end, kept up to the bound: the program never blocks on a full pipe.
        result.errors.append(
            buffer,
            std::min(size_t(n), kMaxErrorText - std::min(kMaxErrorText, result.errors.size())));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return {-errno, std::move(result.errors)};
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : kAuthorisationRefused;
    return result;
}

HResult DeskServiceManager::fail(HResult error, std::string detail) {
    failure_ = error;
    // One line: the words, without the program's trailing line breaks.
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r'))
        detail.pop_back();
    for (char &c : detail) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    failureDetail_ = std::move(detail);
    return error;
}

std::string DeskServiceManager::errorDetail(HResult error) const {
    if (failure_.failed() && error == failure_)
        return failureDetail_;
    return manager_.errorDetail(error);
}

HResult DeskServiceManager::runElevated(const std::string &lumaserv,
                                        const std::vector<std::string> &arguments) {
    std::vector<std::string> argv{"pkexec", lumaserv};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const RunResult run = run_(argv);
    if (run.status < 0)
        return fail(hresultFromErrno(-run.status),
                    "pkexec: " + std::string(std::strerror(-run.status)));
    // lumaserv ends with 1 when it did what it was asked.
    if (run.status == 1) {
        failure_ = S_OK;
        return S_OK;
    }
    if (run.status == kAuthorisationDismissed)
        return fail(hresultFromWin32(ERROR_CANCELLED), run.errors);
    if (run.status == kAuthorisationRefused) {
        // pkexec says so in these words, untranslated, when nobody can ask for the password.
        if (run.errors.find("No authentication agent found") != std::string::npos)
            return fail(hresultFromWin32(ERROR_NO_AUTHENTICATION_AGENT), run.errors);
        return fail(hresultFromWin32(ERROR_ACCESS_DENIED), run.errors);
    }
    // The administrator's lumaserv could not do it; its message says why.
    return fail(hresultFromWin32(ERROR_SERVICE_SPECIFIC_ERROR), run.errors);
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

bool serviceInstallNeedsElevation(bool userManager) {
    return !userManager && lumaghostRoot().empty() && ::geteuid() != 0;
}

}  // namespace lumaghost
