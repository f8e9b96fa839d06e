// SPDX-License-Identifier: LGPL-2.1-or-later
// The .lgs file type for the user's desktop: a shared-mime-info package naming the type
// (Lumadesk.Document), a desktop entry that opens it with this program, and the icon. Written
// at every start of a program outside an installed prefix (a build tree); files already up to
// date are left alone. An installed program leaves the type to its prefix's own files.
#pragma once

#include <QString>
#include <QStringList>

namespace lumaghost {

inline constexpr char kSequenceMimeType[] = "application/x-lumadesk-sequence";

struct ShellRegistrationResult {
    bool ok = true;
    bool changed = false;  // a file was written
    QString error;         // names the file that could not be written
};

/// $XDG_DATA_HOME, else ~/.local/share.
QString userDataHome();

/// $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
QStringList systemDataDirs();

/// Whether `program` lies in PREFIX/bin of a prefix whose PREFIX/share is one of `dataDirs`
/// and holds the desktop entry: the desktop finds the type in that prefix's own files.
bool installedInDataDirs(const QString &program, const QStringList &dataDirs);

/// An Exec= key's program: as it is when it needs no quoting, else quoted as the Desktop
/// Entry format (freedesktop.org) asks.
QString desktopExecQuote(const QString &program);

/// Registers the type under `dataHome` (mime/packages, applications, icons) for `program`,
/// and refreshes the MIME database with update-mime-database, where it is installed, when the
/// package changed or the database lacks it.
ShellRegistrationResult registerSequenceFileType(const QString &dataHome, const QString &program);

/// Removes the user's registration under `dataHome` when its desktop entry is ours and its
/// program no longer exists or is `installedProgram` (whose prefix registers the type itself,
/// so the user's entry would only hide the installed one); `changed` tells whether it did.
ShellRegistrationResult removeStaleRegistration(const QString &dataHome,
                                                const QString &installedProgram = QString());

/// At a start: the stale registration removed, then the type registered for `program` unless
/// it is installed in one of `dataDirs`.
ShellRegistrationResult updateSequenceFileType(const QString &dataHome, const QStringList &dataDirs,
                                               const QString &program);

}  // namespace lumaghost
