// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/desk_settings.h"

#include "desk/model/settings_store.h"

namespace lumaghost {

namespace {

struct Switch {
    bool DeskSettings::*member;
    settings::SettingsInt value;
};

// In the order they are written.
constexpr Switch kSwitches[] = {
    {&DeskSettings::autoSaveSequenceForNext, settings::kAutoSaveSequenceForNext},
    {&DeskSettings::serviceAutoStart, settings::kServiceAutoStart},
    {&DeskSettings::autoSetLastImage, settings::kAutoSetLastImage},
    {&DeskSettings::miniSizeToSystemTray, settings::kMiniSizeToSystemTray},
    {&DeskSettings::stretch, settings::kStretch},
    {&DeskSettings::keepRatio, settings::kKeepRatio},
    {&DeskSettings::center, settings::kCenter},
};

}  // namespace

DeskSettings DeskSettings::read(const SettingsSnapshot &stored) {
    DeskSettings out;
    for (const Switch &s : kSwitches)
        out.*s.member = stored.readInt(settings::kSettings, s.value) != 0;
    return out;
}

std::vector<std::pair<std::string_view, int>> DeskSettings::values() const {
    std::vector<std::pair<std::string_view, int>> out;
    for (const Switch &s : kSwitches)
        out.emplace_back(s.value.name, this->*s.member ? 1 : 0);
    return out;
}

}  // namespace lumaghost
