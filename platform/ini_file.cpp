#include "ini_file.h"

#include <algorithm>
#include <cctype>

#include "posix_file.h"

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

std::optional<IniFile> IniFile::load(const std::filesystem::path &file) {
    std::string text;
    if (readWholeFile(file, text) != 0)
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
            auto it =
                std::find_if(ini.sections_.begin(), ini.sections_.end(),
                             [&](const Section &s) { return equalsIgnoreCase(s.name, name); });
            if (it == ini.sections_.end()) {
                ini.sections_.push_back({name, {}});
                current = &ini.sections_.back();
            } else {
                current = &*it;
            }
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            current->entries.emplace_back(line, std::string());
        else
            current->entries.emplace_back(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    return ini;
}

const IniFile::Section *IniFile::find(std::string_view section) const {
    for (const auto &s : sections_) {
        if (equalsIgnoreCase(s.name, section))
            return &s;
    }
    return nullptr;
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
    for (const auto &[k, v] : s->entries) {
        if (equalsIgnoreCase(k, key))
            return std::string_view(v);
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const {
    const Section *s = find(section);
    return s ? s->entries : std::vector<std::pair<std::string, std::string>>{};
}

std::string IniFile::expandStrings(std::string_view text) const {
    std::string out;
    while (!text.empty()) {
        size_t open = text.find('%');
        if (open == std::string_view::npos) {
            out += text;
            break;
        }
        out += text.substr(0, open);
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out += text.substr(open);
            break;
        }
        std::string_view name = text.substr(open + 1, close - open - 1);
        if (name.empty()) {
            out.push_back('%');
        } else if (auto v = value("Strings", name)) {
            out += *v;
        } else {
            out += text.substr(open, close - open + 1);
        }
        text.remove_prefix(close + 1);
    }
    return out;
}

}  // namespace lumaghost
