// SPDX-License-Identifier: LGPL-2.1-or-later
// lumaserv: the play service. Started by systemd it plays the auto-play item into the camera;
// from a console it installs (-i), removes (-u), starts (-s) or stops (-e) itself, or runs in
// the foreground (-d, or detached -f). `lumaserv --unit [PROGRAM]` prints the unit file -i
// writes (for PROGRAM as the service's program, by default this one), the unit the package ships.
// Under pkexec (PKEXEC_UID set) it takes only -i, -u, -s, -e, -t auto|demand and -l ACCOUNT.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "service/linux_service_platform.h"
#include "service/play_service.h"

int main(int argc, char **argv) {
    using namespace lumaghost;
    // Run by pkexec for a caller who holds the administrator's authorisation: only what
    // Lumadesk asks for, each argument checked.
    if (std::getenv("PKEXEC_UID")) {
        if (const std::string problem = ServiceShell::ElevatedCommandLineProblem(argc, argv);
            !problem.empty()) {
            std::fprintf(stderr,
                         "lumaserv: under pkexec only -i, -u, -s, -e, -t auto|demand and -l "
                         "ACCOUNT are accepted: %s\n",
                         problem.c_str());
            return kCannotRunExitCode;
        }
    }
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string program = n > 0 ? std::string(path, size_t(n)) : "";
    const bool printUnit = argc >= 2 && std::strcmp(argv[1], "--unit") == 0;
    if (printUnit && argc >= 3)
        program = argv[2];
    RegistryHive machine = machineHive();
    JournalEventLog journal;
    TerminalConsole console;
    SystemdServiceManager &manager = systemServiceManager();
    ServicePlatform platform{manager, journal,        console, systemVersionSource(),
                             machine, systemWaiter(), program};
    PlayService service(platform);
    if (printUnit) {
        std::string problem;
        if (SystemdServiceManager::checkUnit(service.installation(), problem).failed()) {
            std::fprintf(stderr, "lumaserv: %s\n", problem.c_str());
            return kCannotRunExitCode;
        }
        console.print(
            SystemdServiceManager::unitText(service.installation(), manager.userManager()));
        return 0;
    }
    return service.DispatchCommandLine(argc, argv);
}
