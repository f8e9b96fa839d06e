// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/desk_paths.h"

#include <QDir>
#include <QFileInfo>

namespace lumaghost {

DeskPaths::DeskPaths(QString applicationFolder)
    : applicationFolder_(std::move(applicationFolder)) {}

QStringList DeskPaths::dataFolders() const {
    return {applicationFolder_,
            QDir::cleanPath(applicationFolder_ + QStringLiteral("/../share/lumaghost"))};
}

QString DeskPaths::languageParent(const QString &subDir) const {
    for (const QString &folder : dataFolders()) {
        if (QFileInfo(folder + u'/' + subDir).isDir())
            return folder;
    }
    return applicationFolder_;
}

QString DeskPaths::setupFolder() const {
    for (const QString &folder : dataFolders()) {
        if (QFileInfo(folder + QStringLiteral("/lumasetup")).isExecutable() &&
            QFileInfo(folder + QStringLiteral("/Lumacam.inf")).isFile())
            return folder;
    }
    return QString();
}

QString DeskPaths::findHelpFile(int languageId, QString *tried) const {
    const QStringList names = {QStringLiteral("Lumaghost%1.html").arg(languageId),
                               QStringLiteral("Lumaghost.html")};
    QString last;
    for (const QString &name : names) {
        for (const QString &folder : dataFolders()) {
            last = folder + u'/' + name;
            if (QFileInfo(last).isFile())
                return last;
        }
    }
    if (tried)
        *tried = last;
    return QString();
}

}  // namespace lumaghost
