#include "lang/language_packs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using test::TempRoot;
using test::writeFile;

// A language directory of the test's own, "<root>/app/Language".
class PackDir {
public:
    fs::path dir() const { return root_.path() / "app" / "Language"; }
    void add(const std::string &name, const std::string &text) { writeFile(dir() / name, text); }
    void addPack(const std::string &name, int id, const std::string &language,
                 const std::string &more = "") {
        add(name,
            "[INFO]\nLanguage=" + language + "\nLanguageID=" + std::to_string(id) + "\n" + more);
    }
    LanguagePackList load() {
        std::ostringstream out;
        auto list = LanguagePackList::LoadLanguagePacks(root_.path() / "app", "Language", out);
        errors = out.str();
        return list;
    }
    std::string errors;

private:
    TempRoot root_;
};

std::string currentName(const LanguagePackList &list) {
    return list.current() ? list.current()->displayName : "<none>";
}

size_t lineCount(const std::string &text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// A wrong group, or a comparison on all 32 bits, sends a user to the wrong pack.
TEST(CanonicalLanguageId, MapsSubVariantsToTheIdTheirPacksCarry) {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {2057, 1033},  {13321, 1033}, {3079, 1031},           {5127, 1031},
        {16385, 1025}, {20490, 1034}, {3082, 1034},           {6156, 1036},
        {5124, 1028},  {3098, 2074},  {2145, 1121},           {2052, 2052},
        {1050, 1050},  {1041, 1041},  {0x10000 | 2057, 1033}, {21514, 21514},
    };
    for (auto [id, expected] : cases)
        EXPECT_EQ(CanonicalLanguageId(id), expected) << id;
}

// The first language follows the system's locale; a wrong parse picks a foreign pack.
TEST(LanguageIdFromLocaleName, MapsLanguageAndTerritory) {
    const std::pair<const char *, uint16_t> cases[] = {
        {"en_US.UTF-8", 1033}, {"en_GB", 2057},        {"de_DE.UTF-8", 1031}, {"de_AT", 3079},
        {"de_CH.utf8", 2055},  {"fr_CA", 3084},        {"it_IT", 1040},       {"es_ES.UTF-8", 3082},
        {"es_MX", 2058},       {"zh_CN.GB2312", 2052}, {"zh_TW.UTF-8", 1028}, {"ja_JP.eucJP", 1041},
        {"ko_KR", 1042},       {"pt_BR", 1046},        {"pt_PT", 2070},       {"sr_RS@latin", 2074},
        {"sr_RS", 3098},       {"de_BE@euro", 1031},   {"nl", 1043},          {"sv_FI", 2077},
        {"C", 1033},           {"C.UTF-8", 1033},      {"POSIX", 1033},       {"", 1033},
        {"xx_YY", 1033},
    };
    for (auto [name, expected] : cases)
        EXPECT_EQ(LanguageIdFromLocaleName(name), expected) << name;
}

class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char *name : kNames) {
            const char *v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~EnvironmentGuard() {
        for (auto &[name, value] : saved_) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
    }

private:
    static constexpr const char *kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<const char *, std::optional<std::string>>> saved_;
};

TEST(SystemDefaultLanguageId, TakesLcAllThenLcMessagesThenLang) {
    EnvironmentGuard guard;
    EXPECT_EQ(SystemDefaultLanguageId(), 1033);
    ::setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_EQ(SystemDefaultLanguageId(), 1036);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(SystemDefaultLanguageId(), 1031);
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(SystemDefaultLanguageId(), 1041);
    ::setenv("LC_ALL", "", 1);  // set but empty: the next one counts
    EXPECT_EQ(SystemDefaultLanguageId(), 1031);
}

// Selection order: first match of the canonical id, else the last English pack.
TEST(SelectLanguage, SubVariantAndMissingLanguagesFallToEnglish) {
    PackDir dir;
    dir.addPack("English.ini", 1033, "English");
    dir.addPack("German.ini", 1031, "Deutsch");
    dir.addPack("Chinese.ini", 1028, "Chinese (Traditional)");
    auto list = dir.load();
    EXPECT_EQ(dir.errors, "");

    EXPECT_TRUE(list.SelectLanguage(2057));
    EXPECT_EQ(currentName(list), "English");
    EXPECT_TRUE(list.SelectLanguage(3079));
    EXPECT_EQ(currentName(list), "Deutsch");
    EXPECT_EQ(list.CurrentLanguageId(), 1031);
    EXPECT_TRUE(list.SelectLanguage(1040));  // no Italian pack
    EXPECT_EQ(currentName(list), "English");
    EXPECT_TRUE(list.SelectLanguage(2052));  // simplified Chinese is not 1028
    EXPECT_EQ(currentName(list), "English");
    EXPECT_TRUE(list.SelectLanguage(5124));  // Macao belongs to the traditional group
    EXPECT_EQ(currentName(list), "Chinese (Traditional)");

    dir.addPack("Italian.ini", 1040, "Italiano");
    EXPECT_TRUE(list.SelectLanguage(1040)) << "packs added later are not seen";
    EXPECT_EQ(currentName(list), "English");
    auto reloaded = dir.load();
    EXPECT_TRUE(reloaded.SelectLanguage(1040));
    EXPECT_EQ(currentName(reloaded), "Italiano");
}

// Packs are taken in file name order, whatever order the directory lists them in.
TEST(SelectLanguage, TwoEnglishPacksInFileNameOrder) {
    PackDir dir;
    dir.addPack("b_english.ini", 1033, "English B");
    dir.addPack("c_german.ini", 1031, "Deutsch");
    dir.addPack("a_english.ini", 1033, "English A");
    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 3u);
    EXPECT_EQ(list.packs()[0].displayName, "English A");
    EXPECT_EQ(list.packs()[2].displayName, "Deutsch");

    EXPECT_TRUE(list.SelectLanguage(1049));
    EXPECT_EQ(currentName(list), "English B") << "no match: the last English pack";
    EXPECT_TRUE(list.SelectLanguage(1033));
    EXPECT_EQ(currentName(list), "English A") << "a match: the first one";
}

// Without English and without a match the program still has a pack to read from.
TEST(SelectLanguage, NeitherMatchNorEnglishKeepsTheFirstPack) {
    PackDir dir;
    dir.addPack("French.ini", 1036, "Français");
    dir.addPack("German.ini", 1031, "Deutsch");
    auto list = dir.load();
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_FALSE(list.SelectLanguage(1049));
    EXPECT_EQ(currentName(list), "Français");
    EXPECT_EQ(list.CurrentLanguageId(), 1036);
}

// Only *.ini files count, in any case of the extension; INFO defaults apply.
TEST(LoadLanguagePacks, ListsIniFilesWithTheirInfo) {
    PackDir dir;
    dir.add("README.txt", "[INFO]\nLanguageID=1031\n");
    dir.add("FRENCH.INI", "[info]\nlanguage = Français \nlanguageid=1036\n");
    dir.add("bare.ini", "[STRINGTABLE]\nID1=x\n");
    dir.add("wide.ini", "[INFO]\nLanguageID=66567\n");  // 0x10000 + 1031
    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 3u);
    EXPECT_EQ(list.packs()[0].file.filename(), "FRENCH.INI");
    EXPECT_EQ(list.packs()[0].displayName, "Français");
    EXPECT_EQ(list.packs()[0].languageId, 1036);
    EXPECT_EQ(list.packs()[1].displayName, "Unknown");
    EXPECT_EQ(list.packs()[1].languageId, 1033);
    EXPECT_EQ(list.packs()[2].languageId, 1031);
}

// No pack at all: one "Unknown" pack for the directory, every text its key.
TEST(LoadLanguagePacks, NoPackShowsKeys) {
    PackDir dir;
    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 1u);
    const LanguagePack &unknown = list.packs()[0];
    EXPECT_EQ(unknown.displayName, "Unknown");
    EXPECT_EQ(unknown.languageId, 1033);
    EXPECT_EQ(unknown.file.string(), dir.dir().string() + "/");
    EXPECT_EQ(lineCount(dir.errors), 1u);
    EXPECT_NE(dir.errors.find(dir.dir().string()), std::string::npos) << dir.errors;

    EXPECT_TRUE(list.SelectLanguage(1031));
    EXPECT_EQ(list.LoadPackString(156), "ID156");
    std::string text;
    EXPECT_EQ(list.ReadPackText("DLG_151", "CAPTION", "CAPTION", text), kPackBufferSize);
    EXPECT_EQ(text, "CAPTION");
}

// Whatever cannot be read takes its default, never blocks, and is named once on stderr.
TEST(LoadLanguagePacks, DamagedPacksAreListedAndReported) {
    PackDir dir;
    dir.addPack("English.ini", 1033, "English", "[STRINGTABLE]\nID57345=Ready\n");
    ASSERT_EQ(::mkfifo((dir.dir() / "fifo.ini").c_str(), 0600), 0);
    fs::create_directories(dir.dir() / "folder.ini");
    dir.add("huge.ini", "[INFO]\nLanguageID=1031\n" + std::string(kMaxPackFileBytes, ';'));
    dir.add("latin1.ini",
            "[INFO]\nLanguage=Fran\xE7"
            "ais\nLanguageID=1036\n");
    dir.add("binary.ini", std::string("\x7F"
                                      "ELF\0\0\x01\xFF[INFO\0\n=\n]\n",
                                      18));

    auto list = dir.load();
    ASSERT_EQ(list.packs().size(), 6u);
    for (const char *name : {"fifo.ini", "folder.ini", "huge.ini", "binary.ini"}) {
        auto it = std::find_if(list.packs().begin(), list.packs().end(),
                               [&](const auto &p) { return p.file.filename() == name; });
        ASSERT_NE(it, list.packs().end()) << name;
        EXPECT_EQ(it->displayName, "Unknown") << name;
        EXPECT_EQ(it->languageId, 1033) << name;
        EXPECT_NE(dir.errors.find((dir.dir() / name).string()), std::string::npos) << name;
    }
    EXPECT_NE(dir.errors.find("latin1.ini"), std::string::npos);
    EXPECT_EQ(lineCount(dir.errors), 5u) << dir.errors;

    // The Latin-1 pack still has its id; the sound pack still works.
    EXPECT_TRUE(list.SelectLanguage(1036));
    EXPECT_EQ(list.current()->file.filename(), "latin1.ini");
    EXPECT_TRUE(list.SelectLanguage(1033));
    EXPECT_EQ(list.LoadPackString(57345), "Ready");
}

// An editor's byte-order mark must not hide the first section.
TEST(LoadLanguagePacks, ByteOrderMarkIsSkipped) {
    PackDir dir;
    dir.add("German.ini", "\xEF\xBB\xBF[INFO]\nLanguage=Deutsch\nLanguageID=1031\n");
    auto list = dir.load();
    EXPECT_EQ(list.packs()[0].languageId, 1031);
    EXPECT_EQ(dir.errors, "");
}

class ReadPackTextTest : public ::testing::Test {
protected:
    LanguagePackList load(const std::string &body) {
        dir_.addPack("English.ini", 1033, "English", body);
        auto list = dir_.load();
        EXPECT_TRUE(list.SelectLanguage(1033));
        return list;
    }
    PackDir dir_;
};

// Escapes expand in place; other backslashes stay.
TEST_F(ReadPackTextTest, ExpandsEscapesInPlace) {
    auto list = load(
        "[STRINGTABLE]\nID1=two\\nwords\nID2=C:\\data\\x\\\nID3=a\\\\n\n"
        "[MENU]\nID57601=&Open...\\tCtrl+O\n");
    std::string text;
    EXPECT_EQ(list.ReadPackText("STRINGTABLE", "ID1", "ID1", text), kPackBufferSize);
    EXPECT_EQ(text, "two\r\nwords");
    EXPECT_EQ(list.LoadPackString(2), "C:\\data\\x\\");
    EXPECT_EQ(list.LoadPackString(3), "a\\\\n") << "a backslash takes the next one with it";
    EXPECT_EQ(list.ReadPackText("MENU", "ID57601", "ID57601", text), kPackBufferSize);
    EXPECT_EQ(text, "&Open... \tCtrl+O");
}

// The private-profile rules: case, blanks, quotes, missing and empty values.
TEST_F(ReadPackTextTest, FollowsTheProfileRules) {
    auto list = load(
        "[stringtable]\n  id10 =   spaced out   \nID11=\"Retain Aspect Ratio \"\n"
        "ID12='single '\nID13=\"\nID14=\nID15=\"half'\nID16=first\nID16=second\n");
    EXPECT_EQ(list.LoadPackString(10), "spaced out");
    EXPECT_EQ(list.LoadPackString(11), "Retain Aspect Ratio ");
    EXPECT_EQ(list.LoadPackString(12), "single ");
    EXPECT_EQ(list.LoadPackString(13), "\"");
    EXPECT_EQ(list.LoadPackString(15), "\"half'");
    EXPECT_EQ(list.LoadPackString(16), "first");
    EXPECT_EQ(list.LoadPackString(99), "ID99");

    std::string text = "stale";
    EXPECT_EQ(list.ReadPackText("STRINGTABLE", "ID14", "ID14", text), 0u);
    EXPECT_EQ(text, "");
    EXPECT_EQ(list.ReadPackText("DLG_151", "CAPTION", "CAPTION", text), kPackBufferSize);
    EXPECT_EQ(text, "CAPTION");
}

// Values are cut to 255 bytes, never inside a UTF-8 character.
TEST_F(ReadPackTextTest, CutsLongValuesAtACharacterBoundary) {
    auto list =
        load("[STRINGTABLE]\nID1=" + std::string(300, 'x') + "\nID2=" + std::string(254, 'a') +
             "\xC3\xA4" + "tail" + "\nID3=" + std::string(253, 'a') + "\xE2\x82\xAC" + "\nID4=" +
             std::string(252, 'a') + "\xF0\x9F\x98\x80" + "\nID5=" + std::string(253, 'a') +
             "\xC3\xA4" + "z" + "\nID6=" + std::string(254, 'a') + "\\n" + "\n");
    EXPECT_EQ(list.LoadPackString(1), std::string(255, 'x'));
    EXPECT_EQ(list.LoadPackString(2), std::string(254, 'a'));
    EXPECT_EQ(list.LoadPackString(3), std::string(253, 'a'));
    EXPECT_EQ(list.LoadPackString(4), std::string(252, 'a'));
    EXPECT_EQ(list.LoadPackString(5), std::string(253, 'a') + "\xC3\xA4");
    EXPECT_EQ(list.LoadPackString(6), std::string(254, 'a') + "\\") << "half an escape stays";

    PackDir named;
    named.add("Long.ini", "[INFO]\nLanguage=" + std::string(300, 'n') + "\n");
    EXPECT_EQ(named.load().packs()[0].displayName, std::string(259, 'n'));
}

// The translator line fills one "%s" and shows other conversions as written.
TEST_F(ReadPackTextTest, TranslatorLine) {
    auto withTranslator =
        load("Translator=Jana Novak\n[STRINGTABLE]\nID1026=Language pack is translated by: %s\n");
    EXPECT_EQ(withTranslator.TranslatorLine(), "Language pack is translated by: Jana Novak");

    PackDir other;
    other.addPack("Odd.ini", 1033, "Odd", "[STRINGTABLE]\nID1026=%d%% by %s %s\n");
    auto odd = other.load();
    ASSERT_TRUE(odd.SelectLanguage(1033));
    EXPECT_EQ(odd.TranslatorLine(), std::string("%d% by ") + kSupportMailAddress + " %s");
}

// At most 20 ranges; the camera range ends at 10064.
TEST(ExcludeMenuIdRange, KeepsTwentyRanges) {
    LanguagePackList list;
    list.ExcludeMenuIdRange(10000, 10064);
    for (int i = 1; i < 20; ++i)
        list.ExcludeMenuIdRange(20000 + i * 10, 20000 + i * 10 + 1);
    list.ExcludeMenuIdRange(30000, 30010);  // the 21st
    EXPECT_TRUE(list.IsExcludedMenuId(10000));
    EXPECT_TRUE(list.IsExcludedMenuId(10064));
    EXPECT_FALSE(list.IsExcludedMenuId(10065));
    EXPECT_FALSE(list.IsExcludedMenuId(9999));
    EXPECT_TRUE(list.IsExcludedMenuId(20191));
    EXPECT_FALSE(list.IsExcludedMenuId(30005));
}

}  // namespace
}  // namespace lumaghost
