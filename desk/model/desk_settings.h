// SPDX-License-Identifier: LGPL-2.1-or-later
// The seven switches of section "Settings" that the Setup dialog shows and the view and its
// parts read, each bound to its value in the store. They are read and written here only.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace lumaghost {

class SettingsSnapshot;

struct DeskSettings {
    bool autoSetLastImage = false;
    bool serviceAutoStart = false;
    bool autoSaveSequenceForNext = false;
    bool miniSizeToSystemTray = false;
    bool stretch = false;
    bool keepRatio = false;
    bool center = false;

    /// The switches as stored; one that is missing or cannot be read takes its value's default.
    static DeskSettings read(const SettingsSnapshot &stored);
    /// The switches as the values of "Settings" to write, in the order they are written:
    /// AutoSaveSequenceForNext, ServiceAutoStart, AutoSetLastImage, MiniSizeToSystemTray,
    /// Stretch, KeepRatio, Center.
    std::vector<std::pair<std::string_view, int>> values() const;
};

}  // namespace lumaghost
