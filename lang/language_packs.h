// SPDX-License-Identifier: LGPL-2.1-or-later
// Language packs: the .ini files of the language directory, the one in use, and the texts read
// from it. Every translatable text of the desktop application is looked up here by key; a key
// the pack lacks shows the key itself, so gaps in a translation stay visible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lang/language_id.h"
#include "lang/pack_text.h"

namespace lumaghost {

/// A pack file larger than this is not read.
inline constexpr size_t kMaxPackFileBytes = 1u << 20;
/// The display name is read into a buffer of this size.
inline constexpr size_t kPackNameBufferSize = 260;
/// At most this many ranges of command ids can be kept from menu re-labelling.
inline constexpr size_t kMaxExcludedMenuRanges = 20;
/// The translator shown when a pack names none.
inline constexpr char kSupportMailAddress[] = "support@quillmoor.example";

struct LanguagePack {
    uint16_t languageId = kEnglishLanguageId;  // [INFO] LanguageID, low 16 bits
    std::string displayName;                   // [INFO] Language
    std::filesystem::path file;
    PackText text;  // the file's contents, read once when the list is built
};

class LanguagePackList {
public:
    /// Builds the list from the "*.ini" files of `applicationFolder`/`languageSubDir`, in file
    /// name order. Unreadable and damaged files are listed as they can be read, each reported in
    /// one line on `errors`. Without any file the list holds one "Unknown" pack (LanguageID
    /// 1033) standing for the directory itself, whose every lookup yields the key. No pack is
    /// current yet.
    static LanguagePackList LoadLanguagePacks(const std::filesystem::path &applicationFolder,
                                              std::string_view languageSubDir,
                                              std::ostream &errors);

    const std::vector<LanguagePack> &packs() const { return packs_; }
    /// The pack in use, or nullptr before the first selection of a non-empty list.
    const LanguagePack *current() const;

    /// Makes the first pack of `languageId`'s canonical language current, else the last pack
    /// with LanguageID 1033; true when one of them became current. With neither, the first
    /// pack of the list becomes current and the result is false.
    bool SelectLanguage(uint32_t languageId);
    /// The current pack's LanguageID (1033 when there is none).
    uint16_t CurrentLanguageId() const;

    /// Reads `key` of `section` from the current pack into `out` (at most `bufferSize` - 1
    /// bytes, `defaultText` when the key is missing) and expands the escapes. Returns 0 when no
    /// text was read, otherwise `bufferSize`.
    size_t ReadPackText(std::string_view section, std::string_view key,
                        std::string_view defaultText, std::string &out,
                        size_t bufferSize = kPackBufferSize) const;
    /// A message, prompt or format from [STRINGTABLE] by identifier; "ID<id>" when missing.
    std::string LoadPackString(int id) const;

    /// The About box's translator line: string 1026 with the pack's translator in place of
    /// its first "%s".
    std::string TranslatorLine() const;

    /// Keeps the commands `low`..`high` out of menu re-labelling; registrations beyond the
    /// 20th are ignored.
    void ExcludeMenuIdRange(int low, int high);
    bool IsExcludedMenuId(int id) const;

private:
    std::vector<LanguagePack> packs_;
    size_t current_ = 0;
    bool hasCurrent_ = false;
    std::vector<std::pair<int, int>> excludedRanges_;
};

/// "ID<id>", the key of string, command and control ids.
std::string packKey(int id);

/// The application's language packs, for the desktop application's single user-interface
/// thread; empty until it assigns the loaded list.
LanguagePackList &appLanguagePacks();

}  // namespace lumaghost
