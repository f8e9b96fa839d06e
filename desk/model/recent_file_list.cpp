// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/recent_file_list.h"

#include <cstdio>

namespace lumaghost {

RecentFileList::RecentFileList(std::string_view section, std::string entryFormat, int size,
                               int maxDisplayLength)
    : section_(section),
      entryFormat_(std::move(entryFormat)),
      size_(size),
      maxDisplayLength_(maxDisplayLength) {}

std::string RecentFileList::entryName(int index) const {
    char name[64];
    std::snprintf(name, sizeof(name), entryFormat_.c_str(), index + 1);
    return name;
}

void RecentFileList::add(const QString &path) {
    if (path.isEmpty())
        return;
    paths_.removeAll(path);
    paths_.prepend(path);
    while (paths_.size() > size_)
        paths_.removeLast();
}

void RecentFileList::remove(int index) {
    if (index >= 0 && index < paths_.size())
        paths_.removeAt(index);
}

void RecentFileList::read(const SettingsSnapshot &settings) {
    paths_.clear();
    for (int i = 0; i < size_; ++i) {
        QString path = QString::fromStdString(settings.readString(section_, entryName(i), ""));
        // A gap in the numbering closes up; a repeated path is listed once.
        if (!path.isEmpty() && !paths_.contains(path))
            paths_.append(path);
    }
}

bool RecentFileList::write(SettingsStore &settings) const {
    return settings.modify([this](HiveData &data) {
        const std::string key = SettingsStore::sectionKey(section_);
        for (int i = 0; i < size_; ++i) {
            if (i < paths_.size())
                data.setValue(key, entryName(i), RegValue::string(paths_[i].toStdString()));
            else
                data.deleteValue(key, entryName(i));
        }
    });
}

QString RecentFileList::menuText(int index) const {
    QString shown = abbreviatePath(paths_[index], maxDisplayLength_);
    shown.replace(u'&', QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

QString abbreviatePath(const QString &path, int maxLength) {
    if (path.size() <= maxLength)
        return path;
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return path;
    const QString lead = path.startsWith(u'/') ? QStringLiteral("/...") : QStringLiteral("...");
    QString tail;
    QString best;
    for (qsizetype i = parts.size() - 1; i >= 0; --i) {
        tail = u'/' + parts[i] + tail;
        if (lead.size() + tail.size() > maxLength)
            break;
        best = lead + tail;
    }
    return best.isEmpty() ? parts.last() : best;
}

}  // namespace lumaghost
