// SPDX-License-Identifier: LGPL-2.1-or-later
// Where Lumadesk finds its language packs and help pages. The design keeps them beside the
// program; so does the build tree (the build links programs/lumadesk/Language to res/lang and
// the help pages next to the program). Installed, they live in share/lumaghost beside bin/.
// Each is looked up first in the program's folder, then in ../share/lumaghost.
#pragma once

#include <QString>
#include <QStringList>

namespace lumaghost {

class DeskPaths {
public:
    explicit DeskPaths(QString applicationFolder);

    const QString &applicationFolder() const { return applicationFolder_; }
    /// The program's folder, then ../share/lumaghost.
    QStringList dataFolders() const;

    /// The folder that holds the language directory `subDir`: the first data folder that has
    /// it, else the program's folder (whose missing directory yields the "Unknown" pack).
    QString languageParent(const QString &subDir) const;

    /// The first data folder that holds the camera's installer and its device description
    /// (lumasetup and Lumacam.inf, as the package installs them); empty when none does.
    QString setupFolder() const;

    /// The help page for `languageId`: Lumaghost<id>.html, else Lumaghost.html, each looked
    /// up in the data folders. Empty when there is none; `tried` then names the last path
    /// tried (Lumaghost.html in share/lumaghost, where an installed Lumadesk looks).
    QString findHelpFile(int languageId, QString *tried = nullptr) const;

private:
    QString applicationFolder_;
};

}  // namespace lumaghost
