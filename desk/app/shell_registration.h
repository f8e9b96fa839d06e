// The .lgs file type for the user's desktop: a shared-mime-info package naming the type
// (Lumadesk.Document), a desktop entry that opens it with this program, and the icon. Written
// at every start; files already up to date are left alone.
#pragma once

#include <QString>

namespace lumaghost {

inline constexpr char kSequenceMimeType[] = "application/x-lumadesk-sequence";

struct ShellRegistrationResult {
    bool ok = true;
    bool changed = false;  // a file was written
    QString error;         // names the file that could not be written
};

/// $XDG_DATA_HOME, else ~/.local/share.
QString userDataHome();

/// An Exec= key's program: as it is when it needs no quoting, else quoted as the Desktop
/// Entry format (freedesktop.org) asks.
QString desktopExecQuote(const QString &program);

/// Registers the type under `dataHome` (mime/packages, applications, icons) for `program`,
/// and refreshes the MIME database with update-mime-database, where it is installed, when the
/// package changed or the database lacks it.
ShellRegistrationResult registerSequenceFileType(const QString &dataHome, const QString &program);

}  // namespace lumaghost
