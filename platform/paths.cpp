// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>

namespace lumaghost {

namespace fs = std::filesystem;

fs::path lumaghostRoot() {
    const char *root = std::getenv("LUMAGHOST_ROOT");
    if (!root || !*root)
        return {};
    std::string text(root);
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return fs::path(text);
}

fs::path machinePath(std::string_view absolute) {
    fs::path root = lumaghostRoot();
    if (root.empty())
        return fs::path(absolute);
    while (!absolute.empty() && absolute.front() == '/')
        absolute.remove_prefix(1);
    return root / absolute;
}

fs::path machineHivePath() {
    return machinePath("/var/lib/lumaghost/machine.ini");
}

fs::path userHivePath() {
    fs::path config;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else {
        const char *home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd *pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/";
        }
        config = fs::path(home) / ".config";
    }
    return config / "Quillmoor" / "Lumadesk.conf";
}

fs::path systemDirectory() {
    return machinePath("/var/lib/lumaghost");
}

fs::path frameChannelDirectory() {
    return machinePath("/run/lumaghost");
}

}  // namespace lumaghost
