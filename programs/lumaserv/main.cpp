// lumaserv: the play service. Started by systemd it plays the auto-play item into the camera;
// from a console it installs (-i), removes (-u), starts (-s) or stops (-e) itself, or runs in
// the foreground (-d, or detached -f).
#include <unistd.h>

#include <climits>

#include "service/linux_service_platform.h"
#include "service/play_service.h"

int main(int argc, char **argv) {
    using namespace lumaghost;
    char path[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    RegistryHive machine = machineHive();
    JournalEventLog journal;
    TerminalConsole console;
    ServicePlatform platform{systemServiceManager(),
                             journal,
                             console,
                             systemVersionSource(),
                             machine,
                             systemWaiter(),
                             n > 0 ? std::string(path, size_t(n)) : ""};
    PlayService service(platform);
    return service.DispatchCommandLine(argc, argv);
}
