// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's per-user settings: the key Software\Quillmoor\Lumadesk of the user hive, its
// sections and values with their defaults. A value that is missing, of another type or in a
// file that cannot be read takes its default.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry.h"

namespace lumaghost {

inline constexpr char kDeskSettingsKey[] = "Software\\Quillmoor\\Lumadesk";

namespace settings {

// Sections.
inline constexpr char kSettings[] = "Settings";
inline constexpr char kMain[] = "Main";
inline constexpr char kRecentFileList[] = "Recent File List";
inline constexpr char kSequenceFiles[] = "lgs files";
inline constexpr char kMovieFiles[] = "movie files";
inline constexpr char kRecentDirectory[] = "Recent Directory";

struct IntValue {
    const char *name;
    int defaultValue;
};

// Section "Settings".
inline constexpr IntValue kAutoSaveSequenceForNext{"AutoSaveSequenceForNext", 0};
inline constexpr IntValue kServiceAutoStart{"ServiceAutoStart", 1};
inline constexpr IntValue kAutoSetLastImage{"AutoSetLastImage", 1};
inline constexpr IntValue kMiniSizeToSystemTray{"MiniSizeToSystemTray", 1};
inline constexpr IntValue kStretch{"Stretch", 1};
inline constexpr IntValue kKeepRatio{"KeepRatio", 1};
inline constexpr IntValue kCenter{"Center", 1};
// Default: the system's language at start-up; where Setup and the view read it, the language in
// use (a first Setup, confirmed or not, keeps the language the session chose).
inline constexpr char kLanguage[] = "Language";
inline constexpr char kLanguageDir[] = "LanguageDir";
inline constexpr char kLanguageDirDefault[] = "Language";
inline constexpr IntValue kPicStretch{"PicStretch", 1};
inline constexpr IntValue kPicKeepRatio{"PicKeepRatio", 1};
inline constexpr IntValue kPicCenter{"PicCenter", 1};
inline constexpr IntValue kPicLoop{"PicLoop", 0};
inline constexpr IntValue kPicDisplayTime{"PicDisplayTime", 10};
inline constexpr IntValue kPlaySoundTrack{"PlaySoundTrack", 0};
inline constexpr IntValue kPlaySoundTrackVolume{"PlaySoundTrackVolume", 0};

// Section "Main": the main window's place.
inline constexpr IntValue kLastX{"LastX", 40};
inline constexpr IntValue kLastY{"LastY", 40};
inline constexpr IntValue kLastCx{"LastCx", 580};
inline constexpr IntValue kLastCy{"LastCy", 460};

}  // namespace settings

/// The values of the store as read at one moment.
class SettingsSnapshot {
public:
    explicit SettingsSnapshot(HiveData data) : data_(std::move(data)) {}

    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
    int readInt(std::string_view section, const settings::IntValue &value) const {
        return readInt(section, value.name, value.defaultValue);
    }
    std::string readString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;

private:
    HiveData data_;
};

class SettingsStore {
public:
    /// A store on `hive`; what cannot be read is reported on `errors`, once per file.
    SettingsStore(RegistryHive hive, std::ostream &errors);

    const std::filesystem::path &file() const { return hive_.file(); }

    /// Reads the whole store.
    SettingsSnapshot snapshot() const;

    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
    int readInt(std::string_view section, const settings::IntValue &value) const {
        return readInt(section, value.name, value.defaultValue);
    }
    std::string readString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;

    bool writeInt(std::string_view section, std::string_view name, int value);
    bool writeString(std::string_view section, std::string_view name, std::string value);
    /// Writes the values in the order given, in one change of the file.
    bool writeInts(std::string_view section,
                   const std::vector<std::pair<std::string_view, int>> &values);
    /// Runs `change` on the key Software\Quillmoor\Lumadesk's contents and stores the result
    /// in one change of the file. `change` addresses sections through sectionKey().
    bool modify(const std::function<void(HiveData &)> &change);

    /// The hive path of a section.
    static std::string sectionKey(std::string_view section);

    /// Where a damaged file is kept before the first write replaces it.
    std::filesystem::path damagedCopyPath() const;

private:
    /// Reads the file; a failure is reported once and yields an empty store.
    HiveData load() const;
    /// Moves a file that cannot be read aside, so the next write starts afresh and keeps it.
    bool keepDamagedFile();

    RegistryHive hive_;
    std::ostream &errors_;
    mutable bool reported_ = false;
};

}  // namespace lumaghost
