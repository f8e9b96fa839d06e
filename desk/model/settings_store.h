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

/// A section of the store. Its tag binds the named values read from it: a value of one section
/// read from another does not compile.
template <typename Tag>
struct Section {
    const char *name;
    constexpr operator std::string_view() const { return name; }
};

/// A DWORD value of section `Tag`, with its default.
template <typename Tag>
struct IntValue {
    const char *name;
    int defaultValue;
};

/// A value of section `Tag` whose default its reader gives.
template <typename Tag>
struct ValueName {
    const char *name;
};

// Sections.
inline constexpr Section<struct SettingsSection> kSettings{"Settings"};
inline constexpr Section<struct MainSection> kMain{"Main"};
inline constexpr Section<struct RecentFileSection> kRecentFileList{"Recent File List"};
inline constexpr Section<struct SequenceFileSection> kSequenceFiles{"lgs files"};
inline constexpr Section<struct MovieFileSection> kMovieFiles{"movie files"};
inline constexpr Section<struct RecentDirectorySection> kRecentDirectory{"Recent Directory"};

// Section "Settings".
using SettingsInt = IntValue<SettingsSection>;
inline constexpr SettingsInt kAutoSaveSequenceForNext{"AutoSaveSequenceForNext", 0};
inline constexpr SettingsInt kServiceAutoStart{"ServiceAutoStart", 1};
inline constexpr SettingsInt kAutoSetLastImage{"AutoSetLastImage", 1};
inline constexpr SettingsInt kMiniSizeToSystemTray{"MiniSizeToSystemTray", 1};
inline constexpr SettingsInt kStretch{"Stretch", 1};
inline constexpr SettingsInt kKeepRatio{"KeepRatio", 1};
inline constexpr SettingsInt kCenter{"Center", 1};
// Default: the system's language at start-up; where Setup and the view read it, the language in
// use (a first Setup, confirmed or not, keeps the language the session chose).
inline constexpr ValueName<SettingsSection> kLanguage{"Language"};
inline constexpr ValueName<SettingsSection> kLanguageDir{"LanguageDir"};
inline constexpr char kLanguageDirDefault[] = "Language";
inline constexpr SettingsInt kPicStretch{"PicStretch", 1};
inline constexpr SettingsInt kPicKeepRatio{"PicKeepRatio", 1};
inline constexpr SettingsInt kPicCenter{"PicCenter", 1};
inline constexpr SettingsInt kPicLoop{"PicLoop", 0};
inline constexpr SettingsInt kPicDisplayTime{"PicDisplayTime", 10};
inline constexpr SettingsInt kPlaySoundTrack{"PlaySoundTrack", 0};
inline constexpr SettingsInt kPlaySoundTrackVolume{"PlaySoundTrackVolume", 0};

// Section "Main": the main window's place.
using MainInt = IntValue<MainSection>;
inline constexpr MainInt kLastX{"LastX", 40};
inline constexpr MainInt kLastY{"LastY", 40};
inline constexpr MainInt kLastCx{"LastCx", 580};
inline constexpr MainInt kLastCy{"LastCy", 460};

}  // namespace settings

/// The reads of named values, each from its own section, for a `Reader` with the reads by
/// section and name.
template <typename Reader>
class NamedValueReads {
public:
    template <typename Tag>
    int readInt(settings::Section<Tag> section, const settings::IntValue<Tag> &value) const {
        return reader().readInt(std::string_view(section), value.name, value.defaultValue);
    }
    template <typename Tag>
    int readInt(settings::Section<Tag> section, settings::ValueName<Tag> value,
                int defaultValue) const {
        return reader().readInt(std::string_view(section), value.name, defaultValue);
    }
    template <typename Tag>
    std::string readString(settings::Section<Tag> section, settings::ValueName<Tag> value,
                           std::string_view defaultValue) const {
        return reader().readString(std::string_view(section), value.name, defaultValue);
    }

private:
    const Reader &reader() const { return static_cast<const Reader &>(*this); }
};

/// The values of the store as read at one moment; copies share them.
class SettingsSnapshot : public NamedValueReads<SettingsSnapshot> {
public:
    explicit SettingsSnapshot(std::shared_ptr<const HiveData> data) : data_(std::move(data)) {}

    using NamedValueReads::readInt;
    using NamedValueReads::readString;
    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string readString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;

private:
    std::shared_ptr<const HiveData> data_;
};

class SettingsStore : public NamedValueReads<SettingsStore> {
public:
    /// A store on `hive`; what cannot be read is reported on `errors`, once per file.
    SettingsStore(RegistryHive hive, std::ostream &errors);

    using NamedValueReads::readInt;
    using NamedValueReads::readString;
    const std::filesystem::path &file() const { return hive_.file(); }

    /// The whole store. The file is read again only once it has changed since the last read;
    /// a malformed line takes its values' defaults and leaves every other value as stored.
    SettingsSnapshot snapshot() const;
    /// How many times the file was read (parsed) so far.
    int fileReads() const;

    int readInt(std::string_view section, std::string_view name, int defaultValue) const;
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
