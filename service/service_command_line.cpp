// SPDX-License-Identifier: LGPL-2.1-or-later
// The command line: which switch chooses which mode, and what a caller with the
// administrator's authorisation may ask for.
#include <pwd.h>

#include <cstring>
#include <vector>

#include "service/service_shell.h"

namespace lumaghost {

namespace {

// Whether `name` is an account of this system that is not root's.
bool serviceAccount(const std::string &name) {
    if (name.empty() || name.size() > 32 ||
        name.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-") !=
            std::string::npos ||
        name.front() == '-')
        return false;
    passwd entry;
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    return ::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
           found->pw_uid != 0;
}

}  // namespace

std::string ServiceShell::ElevatedCommandLineProblem(int argc, char **argv) {
    int actions = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-i" || arg == "-u" || arg == "-s" || arg == "-e") {
            if (++actions > 1)
                return "one of -i, -u, -s and -e at a time";
            continue;
        }
        if (arg == "-t" || arg == "-l") {
            if (i + 1 >= argc)
                return arg + " without its value";
            const std::string value = argv[++i];
            if (arg == "-t" && value != "auto" && value != "demand")
                return "-t takes auto or demand, not \"" + value + "\"";
            if (arg == "-l" && !serviceAccount(value))
                return "-l takes an account of this system that is not root's, not \"" + value +
                       "\"";
            continue;
        }
        return "\"" + arg + "\" is not accepted";
    }
    return {};
}

int ServiceShell::DispatchCommandLine(int argc, char **argv) {
    enum class Choice { None, Install, Uninstall, Start, Stop } choice = Choice::None;
    bool startTypeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-')
            continue;
        switch (arg[1]) {
            case 'i':
                choice = Choice::Install;
                break;
            case 'u':
                choice = Choice::Uninstall;
                break;
            case 's':
                choice = Choice::Start;
                break;
            case 'e':
                choice = Choice::Stop;
                break;
            case 'd':
            case 'f':
                foreground_ = true;
                return RunInForeground(argc, argv, arg[1] == 'f');
            case 't': {
                // "auto" or "demand", as the rest of the switch or the next argument.
                std::string value = arg + 2;
                if (value.empty() && i + 1 < argc)
                    value = argv[++i];
                if (value == "auto" || value == "demand") {
                    startType_ = value == "auto" ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
                    startTypeGiven = true;
                }
                break;
            }
            case 'l':
            case 'p': {
                // The value is the rest of the argument, or else the next argument (none past the
                // end).
                std::string value = arg + 2;
                if (value.empty() && i + 1 < argc)
                    value = argv[++i];
                (arg[1] == 'l' ? account_ : password_) = value;
                break;
            }
            default:
                break;
        }
    }
    switch (choice) {
        case Choice::Install:
            return Install();
        case Choice::Uninstall:
            return Uninstall();
        case Choice::Start:
            return StartInstalled();
        case Choice::Stop:
            return StopInstalled();
        case Choice::None:
            if (startTypeGiven)
                return ChangeStartType();
            break;
    }
    if (isNt_)
        return RunAsService();
    foreground_ = true;
    return RunInForeground(argc, argv, true);
}

}  // namespace lumaghost
