// SPDX-License-Identifier: LGPL-2.1-or-later
// The language packs shipped in res/lang.
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "lang/language_packs.h"
#include "lang/pack_ids.h"
#include "platform/posix_file.h"

namespace lumaghost {
namespace {

const std::filesystem::path kResDir = LUMAGHOST_RES_DIR;
const char *const kSections[] = {"INFO", "STRINGTABLE", "MENU", "DLG_151", "DLG_100"};

IniFile readIni(const std::string &name) {
    std::string bytes;
    EXPECT_EQ(readWholeFile(kResDir / "lang" / name, bytes), 0) << name;
    return PackText::parse(bytes).ini();
}

std::set<std::string> keys(const IniFile &ini, const char *section) {
    std::set<std::string> out;
    for (const auto &entry : ini.entries(section))
        out.insert(entry.first);
    return out;
}

// Both packs load cleanly as the languages they claim, and English has every text the
// program asks for.
TEST(ShippedPacks, LoadAndCoverTheProgram) {
    std::ostringstream errors;
    auto list = LanguagePackList::LoadLanguagePacks(kResDir, "lang", errors);
    EXPECT_EQ(errors.str(), "");
    ASSERT_EQ(list.packs().size(), 2u);
    EXPECT_EQ(list.packs()[0].languageId, 1033);
    EXPECT_EQ(list.packs()[1].languageId, 1031);
    EXPECT_TRUE(list.SelectLanguage(3079));
    EXPECT_EQ(list.LoadPackString(pack_ids::kIdleMessage), "Bereit");
    EXPECT_EQ(list.TranslatorLine(), "Sprachpaket übersetzt von: Quillmoor");

    IniFile english = readIni("English.ini");
    std::vector<int> strings = {0,   57345, 59137, 59138, 59139, 138,  141,   144,   145,  149,
                                151, 153,   154,   155,   156,   1026, 20002, 61441, 61442};
    for (int id = 161; id <= 175; ++id)
        strings.push_back(id);
    const int commands[] = {57601, 57603, 57604, 32794, 32816, 32796, 32804, 57665, 152,  59393,
                            134,   135,   136,   130,   131,   137,   133,   132,   150,  142,
                            143,   157,   158,   159,   160,   32791, 146,   147,   57664};
    strings.insert(strings.end(), std::begin(commands), std::end(commands));
    for (int id : {57616, 57623, 900, 907})
        strings.push_back(id);
    for (int id : strings)
        EXPECT_TRUE(english.rawValue("STRINGTABLE", packKey(id))) << "STRINGTABLE ID" << id;
    for (int id : commands)
        EXPECT_TRUE(english.rawValue("MENU", packKey(id))) << "MENU ID" << id;
    for (int id : {pack_ids::kOpenRecentTitle, 32814, 170})
        EXPECT_TRUE(english.rawValue("MENU", packKey(id))) << "MENU ID" << id;
    for (int id : {57601, 152, 130, 142, 157, 146, 57616, 900, 32813, 32816, 32821, 32794, 32814})
        EXPECT_TRUE(english.rawValue("MENU", "PID" + std::to_string(id))) << "MENU PID" << id;
    using namespace pack_ids;
    for (int id :
         {kAutoSetLastImage, kServiceAutoStart, kAutoSaveSequenceForNext, kStretch, kKeepRatio,
          kCenter, kMiniSizeToSystemTray, kMovieGroup, kLanguageLabel, kOk, kCancel})
        EXPECT_TRUE(english.rawValue("DLG_151", packKey(id))) << "DLG_151 ID" << id;
    for (int id :
         {kTranslatorLine, kVersionLine, kCopyrightLine, kHomepageLink, kSupportMailLink, kOk})
        EXPECT_TRUE(english.rawValue("DLG_100", packKey(id))) << "DLG_100 ID" << id;
    // Lumadesk's own texts, beyond the design's.
    for (int id : {kErrorCaption,
                   kDriverErrorCaption,
                   kGraphFailedCaption,
                   kRenderErrorCaption,
                   kStopCaption,
                   kMiniSizeCaption,
                   kAutoPlayCaption,
                   kPlayFileErrorCaption,
                   kReadFileError,
                   kFileNotFound,
                   kFileNotOpenable,
                   kFileCannotOpen,
                   kCannotOpenPicture,
                   kCannotWrite,
                   kCannotWriteStoredImage,
                   kCannotSetAutoPlay,
                   kPathTooLongForService,
                   kPictureNotSupported,
                   kNoPictureMemory,
                   kNoDefaultPicture,
                   kGetBufferError,
                   kNoCameraFormat,
                   kCameraStopError,
                   kNoHelpFile,
                   kNoHelpViewer,
                   kFileMissingWords,
                   kAccessDeniedWords,
                   kDiskFullWords,
                   kFileTooLargeWords,
                   kNotRegularFileWords,
                   kNoMemoryWords,
                   kFramesDoNotFitWords,
                   kErrorCodeWords,
                   kPictureUnknownTypeDetail,
                   kPictureDamagedDetail,
                   kPictureTooLargeDetail,
                   kPictureNoMemoryDetail,
                   kClipboardNoPictureDetail,
                   kClipboardTooLargeDetail,
                   kRunSetupDetail,
                   kInstallPackageDetail,
                   kNoAuthenticationAgentDetail,
                   kAuthenticationCancelledDetail,
                   kAuthenticationRefusedDetail,
                   kServiceManagerDetail,
                   kHelpFoldersDetail,
                   kUntitledTitle,
                   kDefaultPictureTitle,
                   kOpenFileTitle,
                   kSequenceFilterName,
                   kReleaseLine,
                   kPreviewTitle,
                   kCameraItemPrefix,
                   kMovieFilter,
                   kPictureAreaName,
                   kSequenceStripName,
                   kMoreButtonsName,
                   kOpenRecentName,
                   kPlayDropDownName,
                   kHiddenToolBarName,
                   kMainToolBarName,
                   kSequenceToolBarName,
                   kMovieControlBarName,
                   kDisplayTimeBarName,
                   kSizeGripName,
                   kPictureViewName,
                   kPictureName,
                   kTrayName,
                   kSequenceItemsName,
                   kDisplayTimeName,
                   kDisplayTimeEditName,
                   kDisplayTimeSliderName,
                   kMillisecondsUnit,
                   kSoundName,
                   kVolumeName,
                   kPauseName,
                   kPositionName,
                   kBrowseName,
                   kRealCameraName,
                   kSequenceStripDescription,
                   kNothingPlaysPane,
                   kPicturePane,
                   kSequenceItemPane,
                   kMoviePane,
                   kDirectoryPicturePane,
                   kRealCameraPane,
                   kPlayServicePane,
                   kStoredImagePane,
                   kNoCameraPane,
                   kAllOpenableFilter,
                   kDisplayTimeLabel,
                   kClipboardPicturePane,
                   kCameraSizeChanged,
                   kCameraFormatKept})
        EXPECT_TRUE(english.rawValue("STRINGTABLE", packKey(id))) << "STRINGTABLE ID" << id;
}

// The translation has the same keys, keeps the printf conversions, the line breaks that part
// status prompt from tool tip and the menus' shortcut columns, and fits the 255-byte buffer.
TEST(ShippedPacks, GermanMatchesEnglish) {
    IniFile english = readIni("English.ini");
    IniFile german = readIni("German.ini");
    const std::regex conversion("%[-0-9.]*[a-zA-Z%]");
    auto conversions = [&](const std::string &text) {
        std::vector<std::string> out;
        for (std::sregex_iterator it(text.begin(), text.end(), conversion), end; it != end; ++it)
            out.push_back(it->str());
        return out;
    };
    auto count = [](const std::string &text, const std::string &what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    for (const char *section : kSections) {
        EXPECT_EQ(keys(english, section), keys(german, section)) << section;
        EXPECT_EQ(keys(english, section).size(), english.entries(section).size()) << section;
        for (const auto &[key, value] : english.entries(section)) {
            std::string translated = german.value(section, key).value_or("");
            EXPECT_EQ(conversions(value), conversions(translated)) << key;
            EXPECT_EQ(count(value, "\\n"), count(translated, "\\n")) << key;
            EXPECT_EQ(count(value, "\\t"), count(translated, "\\t")) << key;
            for (const std::string &text : {value, translated})
                EXPECT_TRUE(text.size() < kPackBufferSize && isUtf8Text(text)) << key;
        }
    }
}

}  // namespace
}  // namespace lumaghost
