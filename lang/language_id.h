// SPDX-License-Identifier: LGPL-2.1-or-later
// Language identifiers in the Windows LANGID numbering that language packs carry (1033 English,
// 1031 German, ...), and the one this system's locale stands for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumaghost {

inline constexpr uint16_t kEnglishLanguageId = 1033;

/// The LanguageID that the packs of `languageId`'s language carry (2057 → 1033, 3079 → 1031);
/// only the low 16 bits count; identifiers of no listed group come back unchanged.
uint16_t canonicalLanguageId(uint32_t languageId);

/// The LANGID of a POSIX locale name ("de_AT.UTF-8", "sr_RS@latin", "C"): language and
/// territory, else the language's main country; C, POSIX, an empty name and unknown languages
/// give 1033.
uint16_t languageIdFromLocaleName(std::string_view locale);

/// The POSIX language (and territory) of a LanguageID, as Qt's translation files are named
/// ("de", "pt_BR", "zh_TW"): the entry of the language's main country where there is one; empty
/// for identifiers of no known language.
std::string localeNameFromLanguageId(uint16_t languageId);

/// The system's default language for messages: the locale named by LC_ALL, LC_MESSAGES or
/// LANG, the first one set.
uint16_t systemDefaultLanguageId();

}  // namespace lumaghost
