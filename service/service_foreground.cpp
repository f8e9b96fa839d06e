// SPDX-License-Identifier: LGPL-2.1-or-later
// Running the work without the service manager: in a console (-d) or detached (-f).
#include "service/service_shell.h"

#include <cstdio>

namespace lumaghost {

void ServiceShell::EnsureConsole() {
    if (consoleAttached_)
        return;
    // Our standard streams are the console: unbuffered, so dots appear as they are printed.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    consoleAttached_ = true;
}

int ServiceShell::RunInForeground(int argc, char **argv, bool faceless) {
    // Said while the terminal is still there, in the faceless mode too.
    if (const std::string problem = StartProblem(); !problem.empty()) {
        EnsureConsole();
        print(problem + "\n");
        return kCannotRunExitCode;
    }
    if (!faceless) {
        EnsureConsole();
        print(withName("Debugging %s.\n"));
        platform_.console.installBreakHandler([this] {
            print(withName("Stopping %s.\n"));
            RequestStop();
        });
    } else {
        platform_.console.detach([this] { RequestStop(); });
    }
    Run(argc, argv);
    // The handlers call into this shell: none may run once it is gone.
    platform_.console.clearHandlers();
    return 1;
}

}  // namespace lumaghost
