// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/pack_display_text.h"

namespace lumaghost {

QString packDisplayText(std::string_view text) {
    QString display = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return display;
}

QString loadPackQString(const LanguagePackList &packs, int id) {
    return packDisplayText(packs.LoadPackString(id));
}

}  // namespace lumaghost
