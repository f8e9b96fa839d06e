// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/language_packs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using test::writeFile;

// A language directory of the test's own: "<root>/app/Language".
struct PackDir {
    test::TempRoot root;
    std::string errors;

    fs::path dir() const { return root.path() / "app" / "Language"; }
    PackDir &add(const std::string &name, const std::string &text) {
        writeFile(dir() / name, text);
        return *this;
    }
    PackDir &pack(const std::string &name, int id, const std::string &language,
                  const std::string &more = "") {
        return add(name, "[INFO]\nLanguage=" + language + "\nLanguageID=" + std::to_string(id) +
                             "\n" + more);
    }
    LanguagePackList load() {
        std::ostringstream out;
        auto list = LanguagePackList::LoadLanguagePacks(root.path() / "app", "Language", out);
        errors = out.str();
        return list;
    }
};

std::string currentName(const LanguagePackList &list) {
    return list.current() ? list.current()->displayName : "<none>";
}

// A wrong group, or a comparison on all 32 bits, sends a user to the wrong pack; a wrong
// locale parse picks a foreign first language.
TEST(LanguageIds, CanonicalAndFromLocale) {
    const std::pair<uint32_t, uint16_t> canonical[] = {
        {2057, 1033},  {13321, 1033}, {3079, 1031},          {16385, 1025},
        {20490, 1034}, {3082, 1034},  {5124, 1028},          {3098, 2074},
        {2052, 2052},  {1050, 1050},  {0x10000 | 2057, 1033}};
    for (auto [id, expected] : canonical)
        EXPECT_EQ(canonicalLanguageId(id), expected) << id;

    const std::pair<const char *, uint16_t> locales[] = {
        {"en_US.UTF-8", 1033}, {"en_GB", 2057},   {"de_AT", 3079},        {"de_CH.utf8", 2055},
        {"fr_CA", 3084},       {"es_ES", 3082},   {"zh_CN.GB2312", 2052}, {"zh_TW", 1028},
        {"pt_BR", 1046},       {"pt", 2070},      {"sr_RS@latin", 2074},  {"sr_RS", 3098},
        {"de_BE@euro", 1031},  {"C.UTF-8", 1033}, {"POSIX", 1033},        {"xx_YY", 1033}};
    for (auto [name, expected] : locales)
        EXPECT_EQ(languageIdFromLocaleName(name), expected) << name;

    // Back to the names Qt's translation files carry: the language, with its territory only
    // where the identifier has no entry of its own.
    const std::pair<uint16_t, const char *> names[] = {
        {1031, "de"}, {1033, "en"},    {1036, "fr"}, {3082, "es"}, {1046, "pt_BR"},
        {2070, "pt"}, {1028, "zh_TW"}, {2052, "zh"}, {2074, "sr"}, {0, ""}};
    for (auto [id, expected] : names)
        EXPECT_EQ(localeNameFromLanguageId(id), expected) << id;

    std::vector<std::pair<const char *, std::optional<std::string>>> saved;
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *v = std::getenv(name);
        saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        ::unsetenv(name);
    }
    EXPECT_EQ(systemDefaultLanguageId(), 1033);
    ::setenv("LANG", "fr_FR.UTF-8", 1);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    ::setenv("LC_ALL", "", 1);  // set but empty: the next one counts
    EXPECT_EQ(systemDefaultLanguageId(), 1031);
    for (auto &[name, value] : saved)
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

// Selection: first pack of the canonical id, else the last English pack in file name order,
// else the first pack; packs added later are not seen.
TEST(SelectLanguage, Order) {
    PackDir dir;
    dir.pack("c_english.ini", 1033, "English C")
        .pack("German.ini", 1031, "Deutsch")
        .pack("Chinese.ini", 1028, "Chinese (Traditional)")
        .pack("a_english.ini", 1033, "English A");
    auto list = dir.load();
    EXPECT_EQ(dir.errors, "");
    EXPECT_EQ(list.current(), nullptr);

    EXPECT_TRUE(list.SelectLanguage(2057));
    EXPECT_EQ(currentName(list), "English A") << "2057 is English: the first match";
    EXPECT_TRUE(list.SelectLanguage(3079));
    EXPECT_EQ(list.CurrentLanguageId(), 1031);
    EXPECT_TRUE(list.SelectLanguage(2052));
    EXPECT_EQ(currentName(list), "English C") << "no match: the last English pack";
    EXPECT_TRUE(list.SelectLanguage(5124));
    EXPECT_EQ(currentName(list), "Chinese (Traditional)");

    dir.pack("Italian.ini", 1040, "Italiano");
    EXPECT_TRUE(list.SelectLanguage(1040));
    EXPECT_EQ(currentName(list), "English C");
    auto reloaded = dir.load();
    EXPECT_TRUE(reloaded.SelectLanguage(1040));
    EXPECT_EQ(currentName(reloaded), "Italiano");

    PackDir foreign;
    foreign.pack("German.ini", 1031, "Deutsch").pack("French.ini", 1036, "Français");
    auto noEnglish = foreign.load();
    EXPECT_FALSE(noEnglish.SelectLanguage(1049));
    EXPECT_EQ(currentName(noEnglish), "Français") << "the first pack rather than none";
}

// *.ini in any case; INFO defaults; the 16-bit id; the byte-order mark; the 259-byte name.
TEST(LoadLanguagePacks, ReadsInfo) {
    PackDir dir;
    dir.add("README.txt", "[INFO]\nLanguageID=1031\n")
        .add("FRENCH.INI", "\xEF\xBB\xBF[info]\nlanguage = Français \nlanguageid=1036\n")
        .add("bare.ini", "[STRINGTABLE]\nID1=x\n")
        .add("long.ini", "[INFO]\nLanguageID=66567\nLanguage=" + std::string(300, 'n') + "\n");
    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 3u);
    EXPECT_EQ(list.packs()[0].displayName, "Français");
    EXPECT_EQ(list.packs()[0].languageId, 1036);
    EXPECT_EQ(list.packs()[1].displayName, "Unknown");
    EXPECT_EQ(list.packs()[1].languageId, 1033);
    EXPECT_EQ(list.packs()[2].displayName, std::string(259, 'n'));
    EXPECT_EQ(list.packs()[2].languageId, 1031);
}

// No pack at all: one "Unknown" English pack for the directory, every text its key.
TEST(LoadLanguagePacks, NoPackShowsKeys) {
    PackDir dir;
    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 1u);
    EXPECT_EQ(list.packs()[0].displayName, "Unknown");
    EXPECT_EQ(list.packs()[0].file.string(), dir.dir().string() + "/");
    EXPECT_NE(dir.errors.find(dir.dir().string()), std::string::npos) << dir.errors;
    EXPECT_TRUE(list.SelectLanguage(1031));
    EXPECT_EQ(list.LoadPackString(156), "ID156");
    std::string text;
    EXPECT_EQ(list.ReadPackText("DLG_151", "CAPTION", "CAPTION", text), kPackBufferSize);
    EXPECT_EQ(text, "CAPTION");
}

// Whatever cannot be read takes its defaults, never blocks, and is named in one line.
TEST(LoadLanguagePacks, DamagedPacksAreListedAndReported) {
    PackDir dir;
    dir.pack("English.ini", 1033, "English", "[STRINGTABLE]\nID57345=Ready\n")
        .add("huge.ini", "[INFO]\nLanguageID=1031\n" + std::string(kMaxPackFileBytes, ';'))
        .add("latin1.ini",
             "[INFO]\nLanguage=Fran\xE7"
             "ais\nLanguageID=1036\n")
        .add("binary.ini", std::string("\x7F"
                                       "ELF\0\x01\xFF[INFO\0\n=\n",
                                       15));
    ASSERT_EQ(::mkfifo((dir.dir() / "fifo.ini").c_str(), 0600), 0);
    fs::create_directories(dir.dir() / "folder.ini");

    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 6u);
    for (const auto &pack : list.packs()) {
        std::string name = pack.file.filename();
        if (name == "English.ini" || name == "latin1.ini")
            continue;
        EXPECT_EQ(pack.displayName, "Unknown") << name;
        EXPECT_EQ(pack.languageId, 1033) << name;
    }
    for (const char *name : {"fifo.ini", "folder.ini", "huge.ini", "binary.ini", "latin1.ini"})
        EXPECT_NE(dir.errors.find((dir.dir() / name).string()), std::string::npos) << name;
    EXPECT_EQ(std::count(dir.errors.begin(), dir.errors.end(), '\n'), 5) << dir.errors;

    EXPECT_TRUE(list.SelectLanguage(1036));
    EXPECT_EQ(list.current()->file.filename(), "latin1.ini") << "what parses still counts";
    EXPECT_TRUE(list.SelectLanguage(1033));
    EXPECT_EQ(list.LoadPackString(57345), "Ready");
}

LanguagePackList englishPack(PackDir &dir, const std::string &body) {
    dir.pack("English.ini", 1033, "English", body);
    auto list = dir.load();
    EXPECT_TRUE(list.SelectLanguage(1033));
    return list;
}

// Profile rules (case, blanks, either quotes, first of twice, missing, empty) and escapes.
TEST(ReadPackText, ProfileRulesAndEscapes) {
    PackDir dir;
    auto list = englishPack(
        dir,
        "[stringtable]\n  id10 =   spaced out   \nID11=\"Retain Aspect Ratio \"\nID12='x '\n"
        "ID13=\"\nID14=\nID15=\"half'\nID16=first\nID16=second\n"
        "ID1=two\\nwords\nID2=C:\\data\\x\\\nID3=a\\\\n\n[MENU]\nID57601=&Open...\\tCtrl+O\n");
    EXPECT_EQ(list.LoadPackString(10), "spaced out");
    EXPECT_EQ(list.LoadPackString(11), "Retain Aspect Ratio ");
    EXPECT_EQ(list.LoadPackString(12), "x ");
    EXPECT_EQ(list.LoadPackString(13), "\"");
    EXPECT_EQ(list.LoadPackString(15), "\"half'");
    EXPECT_EQ(list.LoadPackString(16), "first");
    EXPECT_EQ(list.LoadPackString(99), "ID99");
    std::string text = "stale";
    EXPECT_EQ(list.ReadPackText("STRINGTABLE", "ID14", "ID14", text), 0u);
    EXPECT_EQ(text, "");

    EXPECT_EQ(list.LoadPackString(1), "two\r\nwords");
    EXPECT_EQ(list.LoadPackString(2), "C:\\data\\x\\");
    EXPECT_EQ(list.LoadPackString(3), "a\\\\n") << "a backslash takes the next one with it";
    EXPECT_EQ(list.ReadPackText("MENU", "ID57601", "ID57601", text), kPackBufferSize);
    EXPECT_EQ(text, "&Open... \tCtrl+O");
}

// Values are cut to 255 bytes, never inside a UTF-8 character, before escapes expand.
TEST(ReadPackText, CutsLongValuesAtACharacterBoundary) {
    PackDir dir;
    auto list = englishPack(dir, "[STRINGTABLE]\nID1=" + std::string(300, 'x') +
                                     "\nID2=" + std::string(254, 'a') + "\xC3\xA4" + "tail" +
                                     "\nID3=" + std::string(253, 'a') + "\xE2\x82\xAC" +
                                     "\nID4=" + std::string(252, 'a') + "\xF0\x9F\x98\x80" +
                                     "\nID5=" + std::string(253, 'a') + "\xC3\xA4" + "z" +
                                     "\nID6=" + std::string(254, 'a') + "\\n\n");
    EXPECT_EQ(list.LoadPackString(1), std::string(255, 'x'));
    EXPECT_EQ(list.LoadPackString(2), std::string(254, 'a'));
    EXPECT_EQ(list.LoadPackString(3), std::string(253, 'a'));
    EXPECT_EQ(list.LoadPackString(4), std::string(252, 'a'));
    EXPECT_EQ(list.LoadPackString(5), std::string(253, 'a') + "\xC3\xA4");
    EXPECT_EQ(list.LoadPackString(6), std::string(254, 'a') + "\\");
}

// The translator line fills one "%s"; other conversions show as written.
TEST(ReadPackText, TranslatorLine) {
    PackDir named;
    auto list = englishPack(named, "Translator=Jana Novak\n[STRINGTABLE]\nID1026=By: %s\n");
    EXPECT_EQ(list.TranslatorLine(), "By: Jana Novak");
    PackDir odd;
    list = englishPack(odd, "[STRINGTABLE]\nID1026=%d%% by %s %s\n");
    EXPECT_EQ(list.TranslatorLine(), std::string("%d% by ") + kSupportMailAddress + " %s");
}

// At most 20 ranges; the camera range ends at 10064.
TEST(ExcludeMenuIdRange, KeepsTwentyRanges) {
    LanguagePackList list;
    list.ExcludeMenuIdRange(10000, 10064);
    for (int i = 1; i <= 20; ++i)
        list.ExcludeMenuIdRange(20000 + i * 10, 20000 + i * 10 + 1);
    EXPECT_TRUE(list.IsExcludedMenuId(10064));
    EXPECT_FALSE(list.IsExcludedMenuId(10065));
    EXPECT_TRUE(list.IsExcludedMenuId(20191));
    EXPECT_FALSE(list.IsExcludedMenuId(20200)) << "the 21st registration is ignored";
}

}  // namespace
}  // namespace lumaghost
