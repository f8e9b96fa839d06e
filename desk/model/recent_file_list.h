// SPDX-License-Identifier: LGPL-2.1-or-later
// A recent-file list of the settings store: up to eight paths, newest first, each shown in a
// menu with at most 30 characters of its path.
#pragma once

#include <string>

#include <QString>
#include <QStringList>

#include "desk/model/settings_store.h"

namespace lumaghost {

class RecentFileList {
public:
    /// Entries are the values `entryFormat` with 1, 2, ... ("File%d") of `section`.
    RecentFileList(std::string_view section, std::string entryFormat, int size = 8,
                   int maxDisplayLength = 30);

    const std::string &section() const { return section_; }
    int size() const { return size_; }
    int count() const { return int(paths_.size()); }
    bool isEmpty() const { return paths_.isEmpty(); }
    const QString &at(int index) const { return paths_[index]; }
    const QStringList &paths() const { return paths_; }

    /// Puts `path` on top; an equal entry further down moves up, the oldest beyond the size
    /// is dropped.
    void add(const QString &path);
    void remove(int index);

    void read(const SettingsSnapshot &settings);
    /// Writes the entries and removes the values of the empty places.
    bool write(SettingsStore &settings) const;

    /// The entry's menu text: "&1 " and its path shortened to the display length, '&' doubled.
    QString menuText(int index) const;
    /// The value name of entry `index` (0-based).
    std::string entryName(int index) const;

private:
    std::string section_;
    std::string entryFormat_;
    int size_;
    int maxDisplayLength_;
    QStringList paths_;
};

/// A path shortened to `maxLength` characters: whole when it fits, else "/..." and as many of
/// its last components as fit, else its file name alone.
QString abbreviatePath(const QString &path, int maxLength);

}  // namespace lumaghost
