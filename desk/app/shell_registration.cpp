// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/shell_registration.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace lumaghost {

namespace {

// Under the data home.
const QString kEntryFile = QStringLiteral("/applications/lumadesk.desktop");
const QString kPackageFile = QStringLiteral("/mime/packages/lumadesk-lgs.xml");
const QString kIconFile = QStringLiteral("/icons/hicolor/scalable/apps/lumadesk.svg");
// The key that marks a desktop entry as one of ours.
const QString kOwnerKey = QStringLiteral("X-Lumadesk-FileType=");

QByteArray resourceBytes(const QString &name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `bytes` to `path` unless it holds them already.
bool writeIfChanged(const QString &path, const QByteArray &bytes, ShellRegistrationResult &result) {
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
        return true;
    current.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        result.ok = false;
        result.error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    result.changed = true;
    return true;
}

// Rebuilds the MIME database under `mimeDir`; the tool is optional.
void refreshMimeDatabase(const QString &mimeDir) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (tool.isEmpty())
        return;
    QProcess update;
    update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    update.setStandardOutputFile(QProcess::nullDevice());
    update.start(tool, {mimeDir});
    update.waitForFinished(30000);
}

// The program a desktop entry of ours names in TryExec (unescaped); empty when the entry is not
// ours or names none.
QString ownEntryProgram(const QString &entry) {
    QString program;
    bool ours = false;
    for (const QString &line : entry.split(u'\n')) {
        if (line.startsWith(kOwnerKey))
            ours = true;
        else if (line.startsWith(QStringLiteral("TryExec=")))
            program = line.mid(8).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }
    return ours ? program : QString();
}

bool sameFile(const QString &a, const QString &b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

QString userDataHome() {
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return home;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QStringList systemDataDirs() {
    QStringList dirs;
    for (const QString &dir :
         qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs << dir;
    }
    if (dirs.isEmpty())
        dirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    return dirs;
}

bool installedInDataDirs(const QString &program, const QStringList &dataDirs) {
    const QDir bin = QFileInfo(program).absoluteDir();
    if (bin.dirName() != QStringLiteral("bin"))
        return false;
    const QString share =
        QFileInfo(bin.absolutePath() + QStringLiteral("/../share")).canonicalFilePath();
    if (share.isEmpty() || !QFileInfo::exists(share + kEntryFile))
        return false;
    return std::any_of(dataDirs.begin(), dataDirs.end(), [&](const QString &dir) {
        return QFileInfo(dir).canonicalFilePath() == share;
    });
}

QString desktopExecQuote(const QString &program) {
    bool plain = !program.isEmpty();
    for (QChar c : program) {
        if (!(c.isLetterOrNumber() || QStringLiteral("/._+-,@").contains(c)))
            plain = false;
    }
    if (plain)
        return program;
    // Inside quotes '"', '`', '$' and '\' take a backslash; the key's string value then
    // doubles every backslash once more.
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

/// \brief Writes the sequence type's MIME package, desktop entry and icon for the user.
ShellRegistrationResult registerSequenceFileType(const QString &dataHome, const QString &program) {
    ShellRegistrationResult result;
    const QString mimeDir = dataHome + QStringLiteral("/mime");
    const QString package = dataHome + kPackageFile;
    bool packageChanged = false;
    {
        ShellRegistrationResult step;
        writeIfChanged(package, resourceBytes(QStringLiteral(":/desktop/lumadesk-lgs.xml")), step);
        packageChanged = step.changed;
        if (!step.ok)
            result = step;
        result.changed |= step.changed;
    }

    QString entry =
        QString::fromUtf8(resourceBytes(QStringLiteral(":/desktop/lumadesk.desktop.in")));
    QString tryExec = program;
    tryExec.replace(u'\\', QStringLiteral("\\\\"));
    entry.replace(QStringLiteral("@EXEC@"), desktopExecQuote(program));
    entry.replace(QStringLiteral("@TRYEXEC@"), tryExec);
    writeIfChanged(dataHome + kEntryFile, entry.toUtf8(), result);
    writeIfChanged(dataHome + kIconFile, resourceBytes(QStringLiteral(":/icons/lumadesk.svg")),
                   result);

    // The database is rebuilt only when it may lack the type.
    const QFileInfo cache(mimeDir + QStringLiteral("/mime.cache"));
    const bool stale = packageChanged || !cache.exists() ||
                       cache.lastModified() < QFileInfo(package).lastModified();
    if (stale && QFileInfo::exists(package))
        refreshMimeDatabase(mimeDir);
    return result;
}

/// \brief Removes the user's entry, MIME package and icon of a program that is gone or
/// installed.
ShellRegistrationResult removeStaleRegistration(const QString &dataHome,
                                                const QString &installedProgram) {
    ShellRegistrationResult result;
    const QString entryPath = dataHome + kEntryFile;
    const QString program = ownEntryProgram(QString::fromUtf8(resourceBytes(entryPath)));
    if (program.isEmpty())
        return result;
    if (QFileInfo::exists(program) &&
        (installedProgram.isEmpty() || !sameFile(program, installedProgram)))
        return result;
    for (const QString &path : {entryPath, dataHome + kPackageFile, dataHome + kIconFile}) {
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.remove()) {
            result.ok = false;
            result.error = path + QStringLiteral(": ") + file.errorString();
        } else {
            result.changed = true;
        }
    }
    refreshMimeDatabase(dataHome + QStringLiteral("/mime"));
    return result;
}

ShellRegistrationResult updateSequenceFileType(const QString &dataHome, const QStringList &dataDirs,
                                               const QString &program) {
    // Outside an installed prefix the entry written names this program, whatever stood there.
    if (installedInDataDirs(program, dataDirs))
        return removeStaleRegistration(dataHome, program);
    return registerSequenceFileType(dataHome, program);
}

}  // namespace lumaghost
