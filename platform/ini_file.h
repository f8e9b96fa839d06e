// SPDX-License-Identifier: LGPL-2.1-or-later
// INI files in the profile and INF manner: [sections] of key=value lines, section and key names
// without regard to case, values trimmed, ';' starting a comment line.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lumaghost {

/// The longest string an INF may expand to.
inline constexpr size_t kMaxInfString = 4096;

class IniFile {
public:
    /// Reads a regular file (never a FIFO or device); nullopt with the errno value in `error`
    /// when it cannot be read.
    static std::optional<IniFile> load(const std::filesystem::path &file, int *error = nullptr);
    static IniFile parse(std::string_view text);

    bool hasSection(std::string_view section) const;
    /// The first value of `key` in `section`, with one pair of surrounding quotes removed.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    /// The first value of `key` in `section` as written (trimmed, quotes kept).
    std::optional<std::string_view> rawValue(std::string_view section, std::string_view key) const;
    /// Every key=value line of a section, in file order.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

    /// Replaces %name% tokens with their value from [Strings]; "%%" stands for one '%'.
    /// nullopt when the result would be longer than `maxLength`.
    std::optional<std::string> expandStrings(std::string_view text,
                                             size_t maxLength = kMaxInfString) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::unordered_map<std::string, size_t> firstEntry;  // by lower-cased key
    };
    const Section *find(std::string_view section) const;
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;  // by lower-cased name
};

std::string trim(std::string_view s);
std::string unquote(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace lumaghost
