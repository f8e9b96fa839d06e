// SPDX-License-Identifier: LGPL-2.1-or-later
// Language-pack texts as Qt strings for display (Qt Core only).
#pragma once

#include <string_view>

#include <QString>

#include "lang/language_packs.h"

namespace lumaghost {

/// A pack text for a Qt widget: UTF-8 decoded, CR LF line breaks as "\n". The blank and tab of
/// "\t" stay, so a menu text's tab still starts its shortcut column.
QString packDisplayText(std::string_view text);
/// LoadPackString for display.
QString loadPackQString(const LanguagePackList &packs, int id);

}  // namespace lumaghost
