// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/guid.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

// --- values -------------------------------------------------------------------------------------

RegValue RegValue::string(std::string s) {
    RegValue v;
    v.type = RegType::String;
    v.text = std::move(s);
    return v;
}

RegValue RegValue::expandString(std::string s) {
    RegValue v;
    v.type = RegType::ExpandString;
    v.text = std::move(s);
    return v;
}

RegValue RegValue::multiString(std::vector<std::string> list) {
    RegValue v;
    v.type = RegType::MultiString;
    v.strings = std::move(list);
    return v;
}

RegValue RegValue::fromDword(uint32_t d) {
    RegValue v;
    v.type = RegType::Dword;
    v.dword = d;
    return v;
}

RegValue RegValue::binary(std::vector<uint8_t> data) {
    RegValue v;
    v.type = RegType::Binary;
    v.bytes = std::move(data);
    return v;
}

std::vector<uint8_t> RegValue::rawData() const {
    std::vector<uint8_t> out;
    switch (type) {
        case RegType::String:
        case RegType::ExpandString:
            out.assign(text.begin(), text.end());
            out.push_back(0);
            break;
        case RegType::MultiString:
            for (const auto &s : strings) {
                out.insert(out.end(), s.begin(), s.end());
                out.push_back(0);
            }
            out.push_back(0);
            break;
        case RegType::Dword:
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<uint8_t>(dword >> (8 * i)));
            break;
        case RegType::Binary:
            out = bytes;
            break;
    }
    return out;
}

std::vector<std::string> splitMultiString(const uint8_t *data, size_t size) {
    std::vector<std::string> entries;
    size_t pos = 0;
    while (pos < size && data[pos] != 0) {
        size_t end = pos;
        while (end < size && data[end] != 0)
            ++end;
        entries.emplace_back(reinterpret_cast<const char *>(data) + pos, end - pos);
        pos = end + 1;
    }
    return entries;
}

// --- key paths ----------------------------------------------------------------------------------

std::string normaliseKeyPath(std::string_view key) {
    std::string out;
    out.reserve(key.size());
    for (char c : key) {
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        c = lowerAscii(c);
    return out;
}

// Calls `f` with each name of a key path, skipping empty ones; stops when `f` returns false.
template <typename F>
void forEachName(std::string_view key, F f) {
    size_t pos = 0;
    while (pos < key.size()) {
        size_t end = key.find('\\', pos);
        if (end == std::string_view::npos)
            end = key.size();
        if (end > pos && !f(key.substr(pos, end - pos)))
            return;
        pos = end + 1;
    }
}

}  // namespace

// --- hive contents ------------------------------------------------------------------------------

bool HiveData::NameLess::operator()(std::string_view a, std::string_view b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

uint32_t HiveData::find(std::string_view key) const {
    if (nodes_.empty())
        return kNoNode;  // moved from: empty
    uint32_t node = 0;
    forEachName(key, [&](std::string_view name) {
        const auto &children = nodes_[node].children;
        auto it = children.find(name);
        node = it == children.end() ? kNoNode : it->second;
        return node != kNoNode;
    });
    return node;
}

uint32_t HiveData::create(std::string_view key) {
    if (nodes_.empty())
        nodes_.emplace_back();
    uint32_t node = 0;
    forEachName(key, [&](std::string_view name) {
        auto it = nodes_[node].children.find(name);
        if (it != nodes_[node].children.end()) {
            node = it->second;
            return true;
        }
        uint32_t child;
        if (!free_.empty()) {
            child = free_.back();
            free_.pop_back();
        } else {
            child = static_cast<uint32_t>(nodes_.size());
            nodes_.emplace_back();  // may move the parent: look it up again below
        }
        nodes_[node].children.emplace(std::string(name), child);
        node = child;
        return true;
    });
    return node == 0 ? kNoNode : node;
}

void HiveData::setValueOf(Node &node, std::string_view name, RegValue value) {
    for (auto &[n, v] : node.values) {
        if (equalsIgnoreCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    node.values.emplace_back(std::string(name), std::move(value));
}

bool HiveData::hasKey(std::string_view key) const {
    const uint32_t node = find(key);
    return node != kNoNode && node != 0;
}

void HiveData::createKey(std::string_view key) {
    create(key);
}

bool HiveData::deleteKey(std::string_view key) {
    const std::string path = normaliseKeyPath(key);
    if (path.empty() || nodes_.empty())
        return false;
    const size_t slash = path.rfind('\\');
    const uint32_t parent =
        slash == std::string::npos ? 0 : find(std::string_view(path).substr(0, slash));
    if (parent == kNoNode)
        return false;
    auto &children = nodes_[parent].children;
    auto it = children.find(std::string_view(path).substr(slash + 1));
    if (it == children.end())
        return false;
    std::vector<uint32_t> subtree{it->second};
    children.erase(it);
    while (!subtree.empty()) {
        const uint32_t node = subtree.back();
        subtree.pop_back();
        for (const auto &[name, child] : nodes_[node].children)
            subtree.push_back(child);
        nodes_[node] = Node();
        free_.push_back(node);
    }
    return true;
}

const RegValue *HiveData::value(std::string_view key, std::string_view name) const {
    const uint32_t node = find(key);
    if (node == kNoNode)
        return nullptr;
    for (const auto &[n, v] : nodes_[node].values) {
        if (equalsIgnoreCase(n, name))
            return &v;
    }
    return nullptr;
}

void HiveData::setValue(std::string_view key, std::string_view name, RegValue value) {
    const uint32_t node = create(key);
    if (node != kNoNode)
        setValueOf(nodes_[node], name, std::move(value));
}

bool HiveData::deleteValue(std::string_view key, std::string_view name) {
    const uint32_t node = find(key);
    if (node == kNoNode)
        return false;
    auto &values = nodes_[node].values;
    for (auto v = values.begin(); v != values.end(); ++v) {
        if (equalsIgnoreCase(v->first, name)) {
            values.erase(v);
            return true;
        }
    }
    return false;
}

std::vector<std::string> HiveData::subkeys(std::string_view key) const {
    std::vector<std::string> out;
    const uint32_t node = find(key);
    if (node != kNoNode) {
        for (const auto &[name, child] : nodes_[node].children)
            out.push_back(name);
    }
    return out;
}

std::vector<std::string> HiveData::valueNames(std::string_view key) const {
    std::vector<std::string> out;
    const uint32_t node = find(key);
    if (node != kNoNode) {
        for (const auto &[n, v] : nodes_[node].values)
            out.push_back(n);
    }
    return out;
}

bool operator==(const HiveData &a, const HiveData &b) {
    static const HiveData::Node kEmpty;
    auto node = [](const HiveData &h, uint32_t i) -> const HiveData::Node & {
        return h.nodes_.empty() ? kEmpty : h.nodes_[i];
    };
    std::vector<std::pair<uint32_t, uint32_t>> pending{{0, 0}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const HiveData::Node &p = node(a, x), &q = node(b, y);
        if (p.values != q.values || p.children.size() != q.children.size())
            return false;
        for (auto i = p.children.begin(), j = q.children.begin(); i != p.children.end(); ++i, ++j) {
            if (i->first != j->first)
                return false;
            pending.emplace_back(i->second, j->second);
        }
    }
    return true;
}

// --- text form ----------------------------------------------------------------------------------
//
//   [Key\Path]
//   "Name"="text"            string
//   "Name"=expand:"text"     expandable string
//   "Name"=multi:"a","b"     multi-string
//   "Name"=dword:00000140    dword
//   "Name"=hex:01,ff         binary

namespace {

void appendQuoted(std::string &out, std::string_view s) {
    out.push_back('"');
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char hex[8];
                    std::snprintf(hex, sizeof(hex), "\\x%02x", c);
                    out += hex;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out.push_back('"');
}

// Reads a quoted string at `pos`; advances past its closing quote.
bool readQuoted(std::string_view line, size_t &pos, std::string &out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (pos >= line.size())
            return false;
        char e = line[pos++];
        switch (e) {
            case '"':
                out.push_back('"');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x': {
                if (pos + 2 > line.size())
                    return false;
                unsigned v = 0;
                if (std::sscanf(std::string(line.substr(pos, 2)).c_str(), "%2x", &v) != 1)
                    return false;
                out.push_back(static_cast<char>(v));
                pos += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool parseData(std::string_view data, RegValue &v) {
    size_t pos = 0;
    if (startsWith(data, "\"")) {
        v.type = RegType::String;
        return readQuoted(data, pos, v.text) && pos == data.size();
    }
    if (startsWith(data, "expand:")) {
        v.type = RegType::ExpandString;
        pos = 7;
        return readQuoted(data, pos, v.text) && pos == data.size();
    }
    if (startsWith(data, "multi:")) {
        v.type = RegType::MultiString;
        pos = 6;
        while (pos < data.size()) {
            std::string s;
            if (!readQuoted(data, pos, s))
                return false;
            v.strings.push_back(std::move(s));
            if (pos == data.size())
                break;
            if (data[pos++] != ',')
                return false;
        }
        return true;
    }
    if (startsWith(data, "dword:")) {
        v.type = RegType::Dword;
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            return false;
        uint32_t d = 0;
        for (char c : digits) {
            int h = hexDigitValue(c);
            if (h < 0)
                return false;
            d = d << 4 | static_cast<uint32_t>(h);
        }
        v.dword = d;
        return true;
    }
    if (startsWith(data, "hex:")) {
        v.type = RegType::Binary;
        std::string_view rest = data.substr(4);
        while (!rest.empty()) {
            if (rest.size() < 2)
                return false;
            int hi = hexDigitValue(rest[0]), lo = hexDigitValue(rest[1]);
            if (hi < 0 || lo < 0)
                return false;
            v.bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
            rest.remove_prefix(2);
            if (!rest.empty()) {
                if (rest[0] != ',')
                    return false;
                rest.remove_prefix(1);
            }
        }
        return true;
    }
    return false;
}

}  // namespace

namespace {

void appendKey(std::string &out, std::string_view path,
               const std::vector<std::pair<std::string, RegValue>> &values) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const auto &[name, v] : values) {
        appendQuoted(out, name);
        out.push_back('=');
        switch (v.type) {
            case RegType::String:
                appendQuoted(out, v.text);
                break;
            case RegType::ExpandString:
                out += "expand:";
                appendQuoted(out, v.text);
                break;
            case RegType::MultiString:
                out += "multi:";
                for (size_t i = 0; i < v.strings.size(); ++i) {
                    if (i)
                        out.push_back(',');
                    appendQuoted(out, v.strings[i]);
                }
                break;
            case RegType::Dword: {
                char hex[16];
                std::snprintf(hex, sizeof(hex), "dword:%08x", v.dword);
                out += hex;
                break;
            }
            case RegType::Binary:
                out += "hex:";
                for (size_t i = 0; i < v.bytes.size(); ++i) {
                    char hex[4];
                    std::snprintf(hex, sizeof(hex), i ? ",%02x" : "%02x", v.bytes[i]);
                    out += hex;
                }
                break;
        }
        out.push_back('\n');
    }
}

}  // namespace

std::string HiveData::serialize() const {
    std::string out =
        "; Lumaghost registry hive. Keys in [brackets]; values as \"name\"=data, where\n"
        "; data is \"text\", expand:\"text\", multi:\"a\",\"b\", dword:hex or hex:bytes.\n";
    // Depth first without recursion, each key before its subkeys.
    struct Visit {
        uint32_t node;
        std::map<std::string, uint32_t, NameLess>::const_iterator next;
        size_t pathLength;
    };
    if (nodes_.empty())
        return out;
    std::string path;
    std::vector<Visit> pending{{0, nodes_[0].children.begin(), 0}};
    while (!pending.empty()) {
        Visit &visit = pending.back();
        if (visit.next == nodes_[visit.node].children.end()) {
            pending.pop_back();
            continue;
        }
        const auto &[name, child] = *visit.next++;
        path.resize(visit.pathLength);
        if (!path.empty())
            path.push_back('\\');
        path += name;
        const Node &key = nodes_[child];
        // A key with neither values nor a place of its own is implied by its subkeys.
        if (!key.values.empty() || key.children.empty())
            appendKey(out, path, key.values);
        pending.push_back({child, key.children.begin(), path.size()});
    }
    return out;
}

std::optional<HiveData> HiveData::parse(std::string_view text, std::string *error) {
    HiveData data;
    if (!data.parseInto(text, error, false))
        return std::nullopt;
    return data;
}

HiveData HiveData::parseReadable(std::string_view text, std::string *firstProblem) {
    HiveData data;
    (void)data.parseInto(text, firstProblem, true);
    return data;
}

bool HiveData::parseInto(std::string_view text, std::string *error, bool skipMalformed) {
    HiveData &data = *this;
    uint32_t current = kNoNode;
    size_t lineNo = 0;
    bool clean = true;
    // Strict: the first malformed line ends the parse. Skipping: the line is left out (a key's
    // values with its key), and the first such line is named.
    auto fail = [&](const char *what) {
        if (error && clean)
            *error = "line " + std::to_string(lineNo) + ": " + what;
        clean = false;
        return skipMalformed;
    };
    bool inBadKey = false;
    // Keys with many values find them through an index, so that parsing stays linear.
    constexpr size_t kIndexFrom = 16;
    std::map<uint32_t, std::map<std::string, size_t>> index;

    while (!text.empty()) {
        ++lineNo;
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;

        if (line.front() == '[') {
            size_t close = line.rfind(']');
            current = kNoNode;
            inBadKey = true;
            if (close == std::string_view::npos || close == 1) {
                if (!fail("malformed key"))
                    return false;
                continue;
            }
            current = data.create(line.substr(1, close - 1));
            if (current == kNoNode && !fail("empty key"))
                return false;
            inBadKey = current == kNoNode;
            continue;
        }
        if (current == kNoNode) {
            // The values of a key that could not be read go with it, unnamed.
            if (!(inBadKey && skipMalformed) && !fail("value outside a key"))
                return false;
            continue;
        }
        size_t pos = 0;
        std::string name;
        if (!readQuoted(line, pos, name) || pos >= line.size() || line[pos] != '=') {
            if (!fail("malformed value name"))
                return false;
            continue;
        }
        RegValue v;
        if (!parseData(line.substr(pos + 1), v)) {
            if (!fail("malformed value data"))
                return false;
            continue;
        }

        auto &values = data.nodes_[current].values;
        if (values.size() < kIndexFrom) {
            setValueOf(data.nodes_[current], name, std::move(v));
            continue;
        }
        auto &names = index[current];
        if (names.empty()) {
            for (size_t i = 0; i < values.size(); ++i)
                names.emplace(lower(values[i].first), i);
        }
        auto [at, added] = names.try_emplace(lower(name), values.size());
        if (added)
            values.emplace_back(std::move(name), std::move(v));
        else
            values[at->second].second = std::move(v);
    }
    return clean;
}

// --- the hive file ------------------------------------------------------------------------------

RegistryHive::RegistryHive(fs::path file) : file_(std::move(file)) {}

RegistryHive::RegistryHive(fs::path file, mode_t mode, gid_t group)
    : file_(std::move(file)), mode_(mode), group_(group), fixedMode_(true) {}

// The hive's text; an absent hive is empty text. A shared hive is read only as the file at its
// name: a link there is no hive.
static HResult readHiveText(const fs::path &file, bool fixedMode, std::string &text,
                            std::string *error) {
    int err = readWholeFile(file, text, kMaxWholeFileBytes, !fixedMode);
    if (err == ENOENT || (fixedMode && err == ELOOP)) {
        text.clear();
        return S_OK;
    }
    if (err) {
        if (error)
            *error = file.string() + ": " + std::strerror(err);
        return hresultFromErrno(err);
    }
    return S_OK;
}

HResult RegistryHive::read(HiveData &out, std::string *error) const {
    std::string text;
    if (HResult hr = readHiveText(file_, fixedMode_, text, error); hr.failed())
        return hr;
    std::string where;
    auto parsed = HiveData::parse(text, &where);
    if (!parsed) {
        if (error)
            *error = file_.string() + ", " + where;
        return hresultFromWin32(ERROR_INVALID_DATA);
    }
    out = std::move(*parsed);
    return S_OK;
}

HResult RegistryHive::readReadable(HiveData &out, std::string *error) const {
    std::string text;
    if (HResult hr = readHiveText(file_, fixedMode_, text, error); hr.failed())
        return hr;
    std::string where;
    out = HiveData::parseReadable(text, &where);
    if (where.empty())
        return S_OK;
    if (error)
        *error = file_.string() + ", " + where;
    return S_FALSE;
}

HResult RegistryHive::modify(const std::function<HResult(HiveData &)> &change) {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    UniqueFd dir;
    if (int err = openDirectory(file_.parent_path(), dir))
        return hresultFromErrno(err);

    // flock takes a descriptor opened for reading: a lock file another writer created serves
    // every writer who may read it. Others may write the directory: the lock file is never
    // followed through a link, and one that is no regular file is made anew.
    const std::string lockName = file_.filename().string() + ".lock";
    UniqueFd lock;
    if (int err = openOrCreateAt(dir.get(), lockName.c_str(), O_RDONLY, 0644, lock))
        return hresultFromErrno(err);
    int rc;
    do {
        rc = ::flock(lock.get(), LOCK_EX);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return E_FAIL;

    HiveData data;
    HResult r = S_OK;
    struct stat st;
    const bool replacesOther =
        fixedMode_ &&
        ::fstatat(dir.get(), file_.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(st.st_mode);
    if (!replacesOther)
        r = read(data);
    if (r.failed())
        return r;
    r = change(data);
    if (r.failed())
        return r;

    // A hive of a fixed mode (the machine hive: group video's) gets it whatever stood at its
    // name; another keeps the mode and group of the regular file it replaces.
    mode_t mode = mode_;
    gid_t group = group_;
    if (!fixedMode_ &&
        ::fstatat(dir.get(), file_.filename().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
        group = st.st_gid;
    }
    int err = replaceFileAtomically(file_, data.serialize(), mode, group);
    if (err)
        return hresultFromErrno(err);
    return r;
}

bool RegistryHive::writable() const {
    // The file is replaced, never written in place: its directory decides, and the lock file
    // beside it must open.
    if (::access(file_.c_str(), F_OK) == 0) {
        const std::string lock = file_.string() + ".lock";
        return ::access(file_.parent_path().c_str(), W_OK) == 0 &&
               (::access(lock.c_str(), F_OK) != 0 || ::access(lock.c_str(), R_OK) == 0);
    }
    fs::path dir = file_.parent_path();
    std::error_code ec;
    while (!dir.empty() && !fs::exists(dir, ec)) {
        if (dir == dir.parent_path())
            break;
        dir = dir.parent_path();
    }
    return ::access(dir.c_str(), W_OK) == 0;
}

bool RegistryHive::keyExists(std::string_view key) const {
    HiveData data;
    return read(data).succeeded() && data.hasKey(key);
}

std::optional<RegValue> RegistryHive::value(std::string_view key, std::string_view name) const {
    HiveData data;
    if (read(data).failed())
        return std::nullopt;
    const RegValue *v = data.value(key, name);
    return v ? std::optional<RegValue>(*v) : std::nullopt;
}

std::vector<std::string> RegistryHive::subkeys(std::string_view key) const {
    HiveData data;
    if (read(data).failed())
        return {};
    return data.subkeys(key);
}

HResult RegistryHive::createKey(std::string_view key) {
    return modify([&](HiveData &d) {
        d.createKey(key);
        return S_OK;
    });
}

HResult RegistryHive::deleteKey(std::string_view key) {
    return modify([&](HiveData &d) {
        return d.deleteKey(key) ? S_OK : hresultFromWin32(ERROR_FILE_NOT_FOUND);
    });
}

HResult RegistryHive::setValue(std::string_view key, std::string_view name, RegValue value) {
    return modify([&](HiveData &d) {
        d.setValue(key, name, std::move(value));
        return S_OK;
    });
}

HResult RegistryHive::deleteValue(std::string_view key, std::string_view name) {
    return modify([&](HiveData &d) {
        return d.deleteValue(key, name) ? S_OK : hresultFromWin32(ERROR_FILE_NOT_FOUND);
    });
}

RegistryHive machineHive() {
    return RegistryHive(machineHivePath(), kMachineHiveMode, videoGroupId());
}

RegistryHive userHive() {
    return RegistryHive(userHivePath());
}

}  // namespace lumaghost
