// SPDX-License-Identifier: LGPL-2.1-or-later
// Registry hives: a key tree of typed values kept in one human-readable file.
//
// Key paths use backslashes ("SYSTEM\CurrentControlSet\Enum"); key and value names compare without
// regard to ASCII case and keep the case they were created with. Readers parse the file as it
// stands; writers take an exclusive lock on a sidecar lock file, re-read, change and replace the
// file atomically, so writers in several processes never lose each other's changes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hresult.h"

namespace lumaghost {

enum class RegType : uint32_t {
    String = 1,        // REG_SZ
    ExpandString = 2,  // REG_EXPAND_SZ
    Binary = 3,        // REG_BINARY
    Dword = 4,         // REG_DWORD
    MultiString = 7,   // REG_MULTI_SZ
};

struct RegValue {
    RegType type = RegType::String;
    std::string text;                  // String, ExpandString
    std::vector<std::string> strings;  // MultiString
    uint32_t dword = 0;                // Dword
    std::vector<uint8_t> bytes;        // Binary

    static RegValue string(std::string s);
    static RegValue expandString(std::string s);
    static RegValue multiString(std::vector<std::string> list);
    static RegValue fromDword(uint32_t v);
    static RegValue binary(std::vector<uint8_t> data);

    /// The data as the registry hands it out: strings NUL-terminated, a multi-string as its
    /// entries each NUL-terminated plus one more NUL, a dword little-endian.
    std::vector<uint8_t> rawData() const;

    friend bool operator==(const RegValue &, const RegValue &) = default;
};

/// The entries of multi-string data as the registry hands it out (rawData's inverse): NUL-
/// terminated strings up to the empty one or the end of the data, where the last may lack its
/// NUL.
std::vector<std::string> splitMultiString(const uint8_t *data, size_t size);

/// The contents of a hive in memory: a tree of keys in which every key's parents exist, each
/// key holding its own name only, so memory and parsing time grow with the file's size however
/// deep its keys are. The root (the empty path) is no key and holds no values.
class HiveData {
public:
    bool hasKey(std::string_view key) const;
    /// Creates the key and any missing parent.
    void createKey(std::string_view key);
    /// Deletes the key with its subtree; false when it does not exist.
    bool deleteKey(std::string_view key);

    const RegValue *value(std::string_view key, std::string_view name) const;
    /// Sets a value, creating the key when needed.
    void setValue(std::string_view key, std::string_view name, RegValue value);
    bool deleteValue(std::string_view key, std::string_view name);

    /// Names of the direct subkeys, in case-insensitive order.
    std::vector<std::string> subkeys(std::string_view key) const;
    std::vector<std::string> valueNames(std::string_view key) const;

    std::string serialize() const;
    /// Parses a hive file's text; nullopt (with the line in error) when it is malformed.
    static std::optional<HiveData> parse(std::string_view text, std::string *error = nullptr);
    /// Parses what can be read of a hive file's text: a malformed line is left out (a malformed
    /// key's line with the values under it), everything else kept. `firstProblem`, when given,
    /// names the first line left out, and stays empty for a well-formed text.
    static HiveData parseReadable(std::string_view text, std::string *firstProblem = nullptr);

    /// The same keys, spelled the same, with the same values in the same order.
    friend bool operator==(const HiveData &a, const HiveData &b);

private:
    // ASCII case-insensitive order of key names.
    struct NameLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    struct Node {
        std::vector<std::pair<std::string, RegValue>> values;
        std::map<std::string, uint32_t, NameLess> children;  // name as created -> node
    };
    static constexpr uint32_t kNoNode = UINT32_MAX;

    /// parse() and parseReadable(): false at the first malformed line unless `skipMalformed`,
    /// which goes on past it; `error` names the first one.
    bool parseInto(std::string_view text, std::string *error, bool skipMalformed);
    /// The node of a key path, or kNoNode.
    uint32_t find(std::string_view key) const;
    /// The node of a key path, created with its parents when missing; kNoNode for the root.
    uint32_t create(std::string_view key);
    static void setValueOf(Node &node, std::string_view name, RegValue value);

    std::vector<Node> nodes_ = std::vector<Node>(1);  // nodes_[0] is the root
    std::vector<uint32_t> free_;                      // nodes of deleted keys, for reuse
};

/// Normalises a key path: no leading, trailing or doubled backslashes.
std::string normaliseKeyPath(std::string_view key);

class RegistryHive {
public:
    /// A hive whose replacement keeps the mode and group of the file it replaces (0644 and the
    /// writer's group for a new one).
    explicit RegistryHive(std::filesystem::path file);
    /// A hive that is always written with `mode` and `group` (-1: the directory's or the
    /// writer's), whatever stood at its name.
    RegistryHive(std::filesystem::path file, mode_t mode, gid_t group);

    const std::filesystem::path &file() const { return file_; }

    /// Reads the hive; a missing file is an empty hive, and so is a symbolic link at the name
    /// of a hive of a fixed mode, which is never followed. Fails when the file cannot be read or
    /// is malformed; `error` then names the file and, for a malformed one, the line.
    HResult read(HiveData &out, std::string *error = nullptr) const;

    /// read(), but a malformed file gives what can be read of it (HiveData::parseReadable):
    /// S_FALSE then, `error` naming the file and the first line left out.
    HResult readReadable(HiveData &out, std::string *error = nullptr) const;

    /// Runs `change` on the current contents under the writers' lock and stores the result
    /// atomically when it succeeds. A malformed file is never overwritten. The lock file is
    /// never followed through a link; in a hive of a fixed mode neither is the hive: something
    /// that is no regular file at its name is an empty hive, replaced.
    HResult modify(const std::function<HResult(HiveData &)> &change);

    /// Whether this process may write the hive (its file, or its directory for a new one).
    bool writable() const;

    bool keyExists(std::string_view key) const;
    std::optional<RegValue> value(std::string_view key, std::string_view name) const;
    std::vector<std::string> subkeys(std::string_view key) const;

    HResult createKey(std::string_view key);
    HResult deleteKey(std::string_view key);
    HResult setValue(std::string_view key, std::string_view name, RegValue value);
    HResult deleteValue(std::string_view key, std::string_view name);

private:
    std::filesystem::path file_;
    mode_t mode_ = 0644;
    gid_t group_ = static_cast<gid_t>(-1);
    bool fixedMode_ = false;
};

/// The machine hive's mode: group video reads and writes it.
inline constexpr mode_t kMachineHiveMode = 0664;

/// The machine-wide hive at its usual place under $LUMAGHOST_ROOT, written with
/// kMachineHiveMode and group video.
RegistryHive machineHive();
/// The user's hive.
RegistryHive userHive();

}  // namespace lumaghost
