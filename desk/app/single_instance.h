// SPDX-License-Identifier: LGPL-2.1-or-later
// One Lumadesk per desktop: the first start holds a lock file in the user's runtime directory and
// listens on a local socket beside it; a later start hands its files to the first one, which
// opens them and comes to the front, and ends without showing anything.
#pragma once

#include <memory>

#include <QHash>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

namespace lumaghost {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        First,   // holds the lock and listens
        Second,  // another start holds the lock
        Alone,   // no private directory for the lock: runs without the rule
    };

    /// `directory` holds the lock and the socket, both named after `name`.
    SingleInstance(QString directory, QString name, QObject *parent = nullptr);
    ~SingleInstance() override;

    /// $XDG_RUNTIME_DIR, else a private lumadesk-<uid> folder in the temporary directory
    /// (created with mode 0700); empty when neither is safe to use.
    static QString defaultDirectory();
    /// "lumadesk", plus the display's name where one is set: one instance per desktop.
    static QString defaultName();

    /// Takes the lock, or finds it taken. The first start listens from here on.
    Role start();
    Role role() const { return role_; }

    /// A second start: hands `files` to the first and waits up to `timeoutMs` for it to
    /// confirm. False when the first did not answer.
    bool handOff(const QStringList &files, int timeoutMs) const;

    QString socketPath() const;

signals:
    /// A later start asked this one to come to the front and open `files`.
    void activationRequested(const QStringList &files);

private:
    void acceptConnections();

    QString directory_;
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    QHash<QObject *, QByteArray> pending_;  // requests still arriving, by socket
    Role role_ = Role::Alone;
};

}  // namespace lumaghost
