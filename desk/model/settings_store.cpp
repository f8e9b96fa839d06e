// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/settings_store.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <system_error>

#include <stdio.h>

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

const RegValue *findValue(const HiveData &data, std::string_view section, std::string_view name) {
    return data.value(SettingsStore::sectionKey(section), name);
}

}  // namespace

int SettingsSnapshot::readInt(std::string_view section, std::string_view name,
                              int defaultValue) const {
    const RegValue *value = findValue(data_, section, name);
    if (!value || value->type != RegType::Dword)
        return defaultValue;
    return static_cast<int32_t>(value->dword);
}

std::string SettingsSnapshot::readString(std::string_view section, std::string_view name,
                                         std::string_view defaultValue) const {
    const RegValue *value = findValue(data_, section, name);
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

HiveData SettingsStore::load() const {
    HiveData data;
    std::string error;
    if (hive_.read(data, &error).failed()) {
        if (!reported_) {
            reported_ = true;
            errors_ << "Lumadesk: " << error << "; its settings take their defaults, and "
                    << damagedCopyPath().filename().string()
                    << " keeps the file at the first change" << std::endl;
        }
        return HiveData();
    }
    return data;
}

SettingsSnapshot SettingsStore::snapshot() const {
    return SettingsSnapshot(load());
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

bool SettingsStore::keepDamagedFile() {
    HiveData data;
    if (hive_.read(data).succeeded())
        return true;
    (void)load();  // reports the file once
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
    return true;
}

bool SettingsStore::modify(const std::function<void(HiveData &)> &change) {
    if (!keepDamagedFile())
        return false;
    return hive_
        .modify([&change](HiveData &data) {
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
