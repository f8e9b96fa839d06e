// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/language_id.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace lumaghost {

namespace {

struct CanonicalGroup {
    uint16_t result;
    std::initializer_list<uint16_t> members;
};

// Sub-variants of a language and the one LanguageID its packs carry.
const std::array<CanonicalGroup, 19> &canonicalGroups() {
    static const std::array<CanonicalGroup, 19> groups{{
        {1025,
         {1025, 2049, 3073, 4097, 5121, 6145, 7169, 8193, 9217, 10241, 11265, 12289, 13313, 14337,
          15361, 16385}},
        {1028, {1028, 3076, 4100, 5124}},
        {1031, {1031, 2055, 3079, 4103, 5127}},
        {1033, {1033, 2057, 3081, 4105, 5129, 6153, 7177, 8201, 9225, 10249, 11273, 12297, 13321}},
        {1034, {1034,  2058,  3082,  4106,  5130,  6154,  7178,  8202,  9226,  10250,
                11274, 12298, 13322, 14346, 15370, 16394, 17418, 18442, 19466, 20490}},
        {1036, {1036, 2060, 3084, 4108, 5132, 6156}},
        {1040, {1040, 2064}},
        {1042, {1042, 2066}},
        {1043, {1043, 2067}},
        {1044, {1044, 2068}},
        {1048, {1048, 2072}},
        {1049, {1049, 2073}},
        {1053, {1053, 2077}},
        {1056, {1056, 2080}},
        {1063, {1063, 2087}},
        {1068, {1068, 2092}},
        {1091, {1091, 2115}},
        {1121, {1121, 2145}},
        {2074, {2074, 3098}},
    }};
    return groups;
}

struct LocaleLanguage {
    std::string_view language;
    std::string_view territory;  // "" for the language's main country, "@x" for a modifier
    uint16_t id;
};

// POSIX language and territory → LANGID (primary language | sub-language << 10).
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"af", "", 1078},    {"ar", "", 1025},    {"ar", "SA", 1025},        {"ar", "IQ", 2049},
    {"ar", "EG", 3073},  {"ar", "LY", 4097},  {"ar", "DZ", 5121},        {"ar", "MA", 6145},
    {"ar", "TN", 7169},  {"ar", "OM", 8193},  {"ar", "YE", 9217},        {"ar", "SY", 10241},
    {"ar", "JO", 11265}, {"ar", "LB", 12289}, {"ar", "KW", 13313},       {"ar", "AE", 14337},
    {"ar", "BH", 15361}, {"ar", "QA", 16385}, {"az", "", 1068},          {"az", "@cyrillic", 2092},
    {"be", "", 1059},    {"bg", "", 1026},    {"ca", "", 1027},          {"cs", "", 1029},
    {"da", "", 1030},    {"de", "", 1031},    {"de", "CH", 2055},        {"de", "AT", 3079},
    {"de", "LU", 4103},  {"de", "LI", 5127},  {"el", "", 1032},          {"en", "", 1033},
    {"en", "GB", 2057},  {"en", "AU", 3081},  {"en", "CA", 4105},        {"en", "NZ", 5129},
    {"en", "IE", 6153},  {"en", "ZA", 7177},  {"en", "JM", 8201},        {"en", "BZ", 10249},
    {"en", "TT", 11273}, {"en", "ZW", 12297}, {"en", "PH", 13321},       {"en", "IN", 16393},
    {"en", "MY", 17417}, {"en", "SG", 18441}, {"es", "", 3082},          {"es", "MX", 2058},
    {"es", "GT", 4106},  {"es", "CR", 5130},  {"es", "PA", 6154},        {"es", "DO", 7178},
    {"es", "VE", 8202},  {"es", "CO", 9226},  {"es", "PE", 10250},       {"es", "AR", 11274},
    {"es", "EC", 12298}, {"es", "CL", 13322}, {"es", "UY", 14346},       {"es", "PY", 15370},
    {"es", "BO", 16394}, {"es", "SV", 17418}, {"es", "HN", 18442},       {"es", "NI", 19466},
    {"es", "PR", 20490}, {"es", "US", 21514}, {"et", "", 1061},          {"eu", "", 1069},
    {"fa", "", 1065},    {"fi", "", 1035},    {"fr", "", 1036},          {"fr", "BE", 2060},
    {"fr", "CA", 3084},  {"fr", "CH", 4108},  {"fr", "LU", 5132},        {"fr", "MC", 6156},
    {"he", "", 1037},    {"hi", "", 1081},    {"hr", "", 1050},          {"hu", "", 1038},
    {"hy", "", 1067},    {"id", "", 1057},    {"is", "", 1039},          {"it", "", 1040},
    {"it", "CH", 2064},  {"ja", "", 1041},    {"ka", "", 1079},          {"kk", "", 1087},
    {"ko", "", 1042},    {"lt", "", 1063},    {"lv", "", 1062},          {"mk", "", 1071},
    {"ms", "", 1086},    {"nb", "", 1044},    {"ne", "", 1121},          {"ne", "IN", 2145},
    {"nl", "", 1043},    {"nl", "BE", 2067},  {"nn", "", 2068},          {"no", "", 1044},
    {"pl", "", 1045},    {"pt", "", 2070},    {"pt", "BR", 1046},        {"ro", "", 1048},
    {"ro", "MD", 2072},  {"ru", "", 1049},    {"ru", "MD", 2073},        {"sk", "", 1051},
    {"sl", "", 1060},    {"sq", "", 1052},    {"sr", "", 3098},          {"sr", "@latin", 2074},
    {"sv", "", 1053},    {"sv", "FI", 2077},  {"sw", "", 1089},          {"ta", "", 1097},
    {"th", "", 1054},    {"tr", "", 1055},    {"uk", "", 1058},          {"ur", "", 1056},
    {"ur", "IN", 2080},  {"uz", "", 1091},    {"uz", "@cyrillic", 2115}, {"vi", "", 1066},
    {"zh", "", 2052},    {"zh", "TW", 1028},  {"zh", "CN", 2052},        {"zh", "HK", 3076},
    {"zh", "SG", 4100},  {"zh", "MO", 5124},
};

const LocaleLanguage *findLocale(std::string_view language, std::string_view territory) {
    for (const auto &entry : kLocaleLanguages) {
        if (entry.language == language && entry.territory == territory)
            return &entry;
    }
    return nullptr;
}

}  // namespace

uint16_t canonicalLanguageId(uint32_t languageId) {
    auto id = static_cast<uint16_t>(languageId & 0xFFFF);
    for (const auto &group : canonicalGroups()) {
        if (std::find(group.members.begin(), group.members.end(), id) != group.members.end())
            return group.result;
    }
    return id;
}

uint16_t languageIdFromLocaleName(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    std::string_view modifier;
    if (size_t at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    std::string language(locale.substr(0, locale.find('_')));
    std::string territory;
    if (size_t underscore = locale.find('_'); underscore != std::string_view::npos)
        territory = locale.substr(underscore + 1);
    for (char &c : language)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char &c : territory)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    const LocaleLanguage *entry = nullptr;
    if (!modifier.empty())
        entry = findLocale(language, modifier);
    if (!entry)
        entry = findLocale(language, territory);
    if (!entry)
        entry = findLocale(language, "");
    return entry ? entry->id : kEnglishLanguageId;
}

std::string localeNameFromLanguageId(uint16_t languageId) {
    // A language's own entry comes first; a territory or modifier entry only when it is the
    // sole one of that identifier (pt_BR, zh_TW).
    const LocaleLanguage *found = nullptr;
    for (const auto &entry : kLocaleLanguages) {
        if (entry.id != languageId)
            continue;
        if (entry.territory.empty())
            return std::string(entry.language);
        if (!found)
            found = &entry;
    }
    if (!found || found->territory.front() == '@')
        return found ? std::string(found->language) : std::string();
    return std::string(found->language) + "_" + std::string(found->territory);
}

uint16_t systemDefaultLanguageId() {
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return languageIdFromLocaleName(value);
    }
    return kEnglishLanguageId;
}

}  // namespace lumaghost
