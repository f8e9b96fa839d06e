// SPDX-License-Identifier: LGPL-2.1-or-later
// The message table: the system's texts for error numbers, the last error's text, and the
// console messages that name the service.
#include "service/service_shell.h"

namespace lumaghost {

std::string ServiceShell::format(const char *pattern, const std::string &a, const std::string &b) {
    std::string out;
    bool first = true;
    for (const char *p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += first ? a : b;
            first = false;
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

std::string systemMessage(uint32_t error) {
    struct Entry {
        uint32_t code;
        const char *text;
    };
    static constexpr Entry kMessages[] = {
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {5, "Access is denied."},
        {87, "The parameter is incorrect."},
        {161, "The specified path is invalid."},
        {1056, "An instance of the service is already running."},
        {1057,
         "The account name is invalid or does not exist, or the password is invalid for the "
         "account name specified."},
        {1060, "The specified service does not exist as an installed service."},
        {1062, "The service has not been started."},
        {1063, "The service process could not connect to the service controller."},
        {1072, "The specified service has been marked for deletion."},
        {1073, "The specified service already exists."},
        {ERROR_SERVICE_MANAGER_UNREACHABLE, "The service manager cannot be reached."},
    };
    for (const auto &m : kMessages) {
        if (m.code == error)
            return std::string(m.text) + "\r\n";
    }
    return {};
}

std::string ServiceShell::LastErrorText(size_t bufferSize) const {
    const std::string message = systemMessage(lastError_);
    if (message.empty() || bufferSize < message.size() + 14)
        return {};
    std::string text = message.substr(0, message.size() - 2);
    // Where the manager knows what stood in the way, it is said too.
    if (const std::string detail = platform_.manager.errorDetail(hresultFromWin32(lastError_));
        !detail.empty())
        text.insert(text.size() - 1, ": " + detail);
    return text;
}

std::string ServiceShell::withName(const char *pattern) const {
    return format(pattern, displayName_);
}

std::string ServiceShell::withNameAndError(const char *pattern) const {
    return format(pattern, displayName_, LastErrorText(256));
}

}  // namespace lumaghost
