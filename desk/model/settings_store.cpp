// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/settings_store.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <system_error>

#include <stdio.h>
#include <sys/stat.h>

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

const RegValue *findValue(const HiveData &data, std::string_view section, std::string_view name) {
    return data.value(SettingsStore::sectionKey(section), name);
}

}  // namespace

int SettingsSnapshot::readInt(std::string_view section, std::string_view name,
                              int defaultValue) const {
    const RegValue *value = findValue(*data_, section, name);
    if (!value || value->type != RegType::Dword)
        return defaultValue;
    return static_cast<int32_t>(value->dword);
}

std::string SettingsSnapshot::readString(std::string_view section, std::string_view name,
                                         std::string_view defaultValue) const {
    const RegValue *value = findValue(*data_, section, name);
    if (!value || (value->type != RegType::String && value->type != RegType::ExpandString))
        return std::string(defaultValue);
    return value->text;
}

SettingsStore::SettingsStore(RegistryHive hive, std::ostream &errors)
    : hive_(std::move(hive)), errors_(errors) {}

std::string SettingsStore::sectionKey(std::string_view section) {
    std::string key = kDeskSettingsKey;
    if (!section.empty()) {
        key += '\\';
        key += section;
    }
    return key;
}

HiveData SettingsStore::load(bool &damaged) const {
    HiveData data;
    std::string error;
    const HResult read = hive_.readReadable(data, &error);
    damaged = read != S_OK;
    if (damaged && !reported_) {
        reported_ = true;
        errors_ << "Lumadesk: " << error
                << (read.failed() ? "; its settings take their defaults, and "
                                  : "; the values there take their defaults, and ")
                << damagedCopyPath().filename().string() << " keeps the file at the first change"
                << std::endl;
    }
    ++reads_;
    return read.failed() ? HiveData() : data;
}

std::shared_ptr<const HiveData> SettingsStore::current(bool &damaged) const {
    // The file is replaced, never written in place: a new inode or a new time tells a change.
    struct stat st;
    std::array<int64_t, 5> identity{-1, -1, -1, -1, -1};
    if (::stat(hive_.file().c_str(), &st) == 0)
        identity = {int64_t(st.st_dev), int64_t(st.st_ino), int64_t(st.st_size),
                    int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
    std::lock_guard lock(mutex_);
    if (!cached_ || identity != cachedIdentity_) {
        cached_ = std::make_shared<const HiveData>(load(cachedDamaged_));
        cachedIdentity_ = identity;
    }
    damaged = cachedDamaged_;
    return cached_;
}

SettingsSnapshot SettingsStore::snapshot() const {
    bool damaged = false;
    return SettingsSnapshot(current(damaged));
}

int SettingsStore::fileReads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

int SettingsStore::readInt(std::string_view section, std::string_view name,
                           int defaultValue) const {
    return snapshot().readInt(section, name, defaultValue);
}

std::string SettingsStore::readString(std::string_view section, std::string_view name,
                                      std::string_view defaultValue) const {
    return snapshot().readString(section, name, defaultValue);
}

fs::path SettingsStore::damagedCopyPath() const {
    fs::path copy = hive_.file();
    copy += ".damaged";
    return copy;
}

bool SettingsStore::keepDamagedFile(std::optional<HiveData> &salvaged) {
    bool damaged = false;
    const std::shared_ptr<const HiveData> readable = current(damaged);
    if (!damaged)
        return true;
    // An older copy is kept too: each damaged file gets a name of its own.
    fs::path copy = damagedCopyPath();
    std::error_code ec;
    for (int n = 1; fs::exists(copy, ec) && n < 1000; ++n) {
        copy = damagedCopyPath();
        copy += "." + std::to_string(n);
    }
    if (::rename(hive_.file().c_str(), copy.c_str()) != 0) {
        errors_ << "Lumadesk: " << hive_.file().string()
                << " cannot be moved aside: " << std::strerror(errno) << std::endl;
        return false;
    }
    salvaged = *readable;
    return true;
}

bool SettingsStore::modify(const std::function<void(HiveData &)> &change) {
    std::optional<HiveData> salvaged;
    if (!keepDamagedFile(salvaged))
        return false;
    return hive_
        .modify([&change, &salvaged](HiveData &data) {
            // The damaged file's readable values go on in the new one.
            if (salvaged && data == HiveData())
                data = std::move(*salvaged);
            change(data);
            return S_OK;
        })
        .succeeded();
}

bool SettingsStore::writeInt(std::string_view section, std::string_view name, int value) {
    return writeInts(section, {{name, value}});
}

bool SettingsStore::writeString(std::string_view section, std::string_view name,
                                std::string value) {
    return modify([&](HiveData &data) {
        data.setValue(sectionKey(section), name, RegValue::string(std::move(value)));
    });
}

bool SettingsStore::writeInts(std::string_view section,
                              const std::vector<std::pair<std::string_view, int>> &values) {
    return modify([&](HiveData &data) {
        const std::string key = sectionKey(section);
        for (const auto &[name, value] : values)
            data.setValue(key, name, RegValue::fromDword(static_cast<uint32_t>(value)));
    });
}

}  // namespace lumaghost
