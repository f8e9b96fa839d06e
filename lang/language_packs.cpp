// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/language_packs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <system_error>

#include "platform/ini_file.h"
#include "platform/posix_file.h"

namespace lumaghost {

namespace {

constexpr char kInfoSection[] = "INFO";
constexpr char kStringSection[] = "STRINGTABLE";
constexpr int kTranslatorLineId = 1026;

bool hasIniExtension(const std::filesystem::path &name) {
    return equalsIgnoreCase(name.extension().string(), ".ini");
}

// Reads one pack file; what cannot be read is reported and left to the defaults.
LanguagePack readPack(const std::filesystem::path &file, std::ostream &errors) {
    LanguagePack pack;
    pack.file = file;
    std::string bytes;
    if (int err = readWholeFile(file, bytes, kMaxPackFileBytes)) {
        errors << "Cannot read language pack " << file.string() << ": "
               << (err == EFBIG    ? "larger than 1 MB"
                   : err == EINVAL ? "not a regular file"
                                   : std::strerror(err))
               << "; its texts show their keys\n";
    } else {
        pack.text = PackText::parse(bytes);
        if (!isUtf8Text(bytes))
            errors << "Language pack " << file.string()
                   << " is not UTF-8 text; some of its texts may show wrong characters\n";
    }
    pack.text.profileString(kInfoSection, "Language", "Unknown", kPackNameBufferSize,
                            pack.displayName);
    pack.languageId = static_cast<uint16_t>(
        pack.text.profileInt(kInfoSection, "LanguageID", kEnglishLanguageId) & 0xFFFF);
    return pack;
}

}  // namespace

std::string packKey(int id) {
    return "ID" + std::to_string(id);
}

/// \brief Builds the pack list of a language directory.
LanguagePackList LanguagePackList::LoadLanguagePacks(const std::filesystem::path &applicationFolder,
                                                     std::string_view languageSubDir,
                                                     std::ostream &errors) {
    LanguagePackList list;
    std::filesystem::path directory = applicationFolder / languageSubDir / "";

    // Directory order is arbitrary on Linux; file name order keeps the choice among packs of
    // one language stable.
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (hasIniExtension(it->path().filename()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(),
              [](const auto &a, const auto &b) { return a.filename() < b.filename(); });

    for (const auto &file : files)
        list.packs_.push_back(readPack(file, errors));

    if (list.packs_.empty()) {
        errors << "No language pack (*.ini) in " << directory.string()
               << "; texts show their keys\n";
        LanguagePack unknown;
        unknown.displayName = "Unknown";
        unknown.file = directory;
        list.packs_.push_back(std::move(unknown));
    }
    return list;
}

const LanguagePack *LanguagePackList::current() const {
    return hasCurrent_ ? &packs_[current_] : nullptr;
}

/// \brief Makes the pack of a language current.
bool LanguagePackList::SelectLanguage(uint32_t languageId) {
    const uint16_t wanted = canonicalLanguageId(languageId);
    std::optional<size_t> english;
    for (size_t i = 0; i < packs_.size(); ++i) {
        if (packs_[i].languageId == wanted) {
            current_ = i;
            hasCurrent_ = true;
            return true;
        }
        if (packs_[i].languageId == kEnglishLanguageId)
            english = i;
    }
    if (english) {
        current_ = *english;
        hasCurrent_ = true;
        return true;
    }
    // Neither the language nor English: the first pack rather than none.
    current_ = 0;
    hasCurrent_ = !packs_.empty();
    return false;
}

uint16_t LanguagePackList::CurrentLanguageId() const {
    const LanguagePack *pack = current();
    return pack ? pack->languageId : kEnglishLanguageId;
}

/// \brief Reads a text of the current pack, escapes expanded.
size_t LanguagePackList::ReadPackText(std::string_view section, std::string_view key,
                                      std::string_view defaultText, std::string &out,
                                      size_t bufferSize) const {
    static const PackText empty;
    const LanguagePack *pack = current();
    const PackText &text = pack ? pack->text : empty;
    if (text.profileString(section, key, defaultText, bufferSize, out) == 0)
        return 0;
    expandPackEscapes(out);
    return bufferSize;
}

std::string LanguagePackList::LoadPackString(int id) const {
    std::string key = packKey(id);
    std::string text;
    (void)ReadPackText(kStringSection, key, key, text);
    return text;
}

std::string LanguagePackList::TranslatorLine() const {
    std::string format = LoadPackString(kTranslatorLineId);
    std::string translator;
    (void)ReadPackText(kInfoSection, "Translator", kSupportMailAddress, translator);
    // The format takes exactly one "%s"; any other conversion is shown as written.
    std::string line;
    bool filled = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                line += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !filled) {
                line += translator;
                filled = true;
                ++i;
                continue;
            }
        }
        line += format[i];
    }
    return line;
}

void LanguagePackList::ExcludeMenuIdRange(int low, int high) {
    if (excludedRanges_.size() < kMaxExcludedMenuRanges)
        excludedRanges_.emplace_back(low, high);
}

bool LanguagePackList::IsExcludedMenuId(int id) const {
    return std::any_of(excludedRanges_.begin(), excludedRanges_.end(),
                       [id](const auto &r) { return r.first <= id && id <= r.second; });
}

LanguagePackList &appLanguagePacks() {
    static LanguagePackList packs;
    return packs;
}

}  // namespace lumaghost
