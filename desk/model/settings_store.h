// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's per-user settings: the key Software\Quillmoor\Lumadesk of the user hive, its
// sections and values with their defaults. A value that is missing, of another type or in a
// file that cannot be read takes its default.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
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

/// The values of the store as read at one moment; copies share them.
class SettingsSnapshot {
public:
    explicit SettingsSnapshot(std::shared_ptr<const HiveData> data) : data_(std::move(data)) {}

    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
    int readInt(std::string_view section, const settings::IntValue &value) const {
        return readInt(section, value.name, value.defaultValue);
    }
    std::string readString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;

private:
    std::shared_ptr<const HiveData> data_;
};

class SettingsStore {
public:
    /// A store on `hive`; what cannot be read is reported on `errors`, once per file.
    SettingsStore(RegistryHive hive, std::ostream &errors);

    const std::filesystem::path &file() const { return hive_.file(); }

    /// The whole store. The file is read again only once it has changed since the last read;
    /// a malformed line takes its values' defaults and leaves every other value as stored.
    SettingsSnapshot snapshot() const;
    /// How many times the file was read (parsed) so far.
    int fileReads() const;

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
    /// Reads what can be read of the file; damage is reported once, and a file that cannot be
    /// read at all yields an empty store. Sets `damaged` when the file is not as it should be.
    HiveData load(bool &damaged) const;
    /// The file's contents, read again only when it has changed; `damaged` tells whether it
    /// is not as it should be.
    std::shared_ptr<const HiveData> current(bool &damaged) const;
    /// Moves a damaged file aside, so that it is kept; `salvaged` receives what could be read
    /// of it, for the next write to start from.
    bool keepDamagedFile(std::optional<HiveData> &salvaged);

    RegistryHive hive_;
    std::ostream &errors_;
    mutable std::mutex mutex_;  // guards everything below
    mutable bool reported_ = false;
    mutable int reads_ = 0;
    /// The file as last read, and what told it apart (device, inode, size, change time).
    mutable std::shared_ptr<const HiveData> cached_;
    mutable std::array<int64_t, 5> cachedIdentity_{};
    mutable bool cachedDamaged_ = false;
};

}  // namespace lumaghost
