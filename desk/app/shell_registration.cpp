#include "desk/app/shell_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace lumaghost {

namespace {

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

}  // namespace

QString userDataHome() {
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return home;
    return QDir::homePath() + QStringLiteral("/.local/share");
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
    const QString package = mimeDir + QStringLiteral("/packages/lumadesk-lgs.xml");
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
    writeIfChanged(dataHome + QStringLiteral("/applications/lumadesk.desktop"), entry.toUtf8(),
                   result);
    writeIfChanged(dataHome + QStringLiteral("/icons/hicolor/scalable/apps/lumadesk.svg"),
                   resourceBytes(QStringLiteral(":/icons/lumadesk.svg")), result);

    // The database is rebuilt only when it may lack the type; the tool is optional.
    const QFileInfo cache(mimeDir + QStringLiteral("/mime.cache"));
    const bool stale = packageChanged || !cache.exists() ||
                       cache.lastModified() < QFileInfo(package).lastModified();
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (stale && !tool.isEmpty() && QFileInfo::exists(package)) {
        QProcess update;
        update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        update.setStandardOutputFile(QProcess::nullDevice());
        update.start(tool, {mimeDir});
        update.waitForFinished(30000);
    }
    return result;
}

}  // namespace lumaghost
