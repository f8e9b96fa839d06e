// SPDX-License-Identifier: LGPL-2.1-or-later
// The switches of section "Settings" that the view and its parts read, as read at the view's
// construction and after every Setup dialog.
#pragma once

namespace lumaghost {

struct ViewSettings {
    int serviceAutoStart = 1;
    int autoSetLastImage = 1;
    int autoSaveSequenceForNext = 0;
    int miniSizeToSystemTray = 1;
    int stretch = 1;
    int keepRatio = 1;
    int center = 1;
};

}  // namespace lumaghost
