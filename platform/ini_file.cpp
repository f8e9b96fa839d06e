// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/ini_file.h"

#include <algorithm>
#include <cctype>

#include "platform/posix_file.h"

namespace lumaghost {

std::string trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

std::string unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return std::string(s);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

namespace {

std::string lowerName(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<IniFile> IniFile::load(const std::filesystem::path &file, int *error) {
    std::string text;
    int err = readWholeFile(file, text);
    if (error)
        *error = err;
    if (err != 0)
        return std::nullopt;
    return parse(text);
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    Section *current = nullptr;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string line = trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string name =
                trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            auto [at, added] = ini.sectionIndex_.try_emplace(lowerName(name), ini.sections_.size());
            if (added)
                ini.sections_.push_back({name, {}, {}});
            current = &ini.sections_[at->second];
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            current->entries.emplace_back(line, std::string());
        else
            current->entries.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
        current->firstEntry.try_emplace(lowerName(current->entries.back().first),
                                        current->entries.size() - 1);
    }
    return ini;
}

const IniFile::Section *IniFile::find(std::string_view section) const {
    auto it = sectionIndex_.find(lowerName(section));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

bool IniFile::hasSection(std::string_view section) const {
    return find(section) != nullptr;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    auto raw = rawValue(section, key);
    if (!raw)
        return std::nullopt;
    return unquote(*raw);
}

std::optional<std::string_view> IniFile::rawValue(std::string_view section,
                                                  std::string_view key) const {
    const Section *s = find(section);
    if (!s)
        return std::nullopt;
    auto it = s->firstEntry.find(lowerName(key));
    if (it == s->firstEntry.end())
        return std::nullopt;
    return std::string_view(s->entries[it->second].second);
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const {
    const Section *s = find(section);
    return s ? s->entries : std::vector<std::pair<std::string, std::string>>{};
}

std::optional<std::string> IniFile::expandStrings(std::string_view text, size_t maxLength) const {
    std::string out;
    auto append = [&](std::string_view part) {
        if (part.size() > maxLength - out.size())
            return false;
        out += part;
        return true;
    };
    while (!text.empty()) {
        size_t open = text.find('%');
        if (open == std::string_view::npos)
            return append(text) ? std::optional<std::string>(std::move(out)) : std::nullopt;
        if (!append(text.substr(0, open)))
            return std::nullopt;
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos)
            return append(text.substr(open)) ? std::optional<std::string>(std::move(out))
                                             : std::nullopt;
        std::string_view name = text.substr(open + 1, close - open - 1);
        bool fits;
        if (name.empty()) {
            fits = append("%");
        } else if (auto v = value("Strings", name)) {
            fits = append(*v);
        } else {
            fits = append(text.substr(open, close - open + 1));
        }
        if (!fits)
            return std::nullopt;
        text.remove_prefix(close + 1);
    }
    return out;
}

}  // namespace lumaghost
