// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace lumaghost {

namespace {

// A request: "LUMADESK", then each file, each ended by a NUL, then one more NUL.
constexpr char kRequestTag[] = "LUMADESK";
constexpr qsizetype kMaxRequestBytes = 64 * 1024;
constexpr char kConfirmation = 'K';

QByteArray encodeRequest(const QStringList &files) {
    QByteArray request(kRequestTag, sizeof(kRequestTag));  // with its NUL
    for (const QString &file : files) {
        const QByteArray name = file.toUtf8().replace('\0', QByteArray());
        if (name.isEmpty())
            continue;  // an empty name would read as the end
        request += name;
        request += '\0';
    }
    request += '\0';
    return request;
}

// The files of a complete request; false while it is incomplete or when it is no request.
bool decodeRequest(const QByteArray &request, QStringList &files, bool &valid) {
    const QByteArray tag(kRequestTag, sizeof(kRequestTag));
    if (request.size() < tag.size()) {
        valid = tag.startsWith(request);
        return false;
    }
    valid = request.startsWith(tag);
    const QByteArray body = request.mid(tag.size());
    if (!valid || !(body == QByteArray(1, '\0') || body.endsWith(QByteArray(2, '\0'))))
        return false;
    files.clear();
    for (const QByteArray &part : body.split('\0')) {
        if (!part.isEmpty())
            files.append(QString::fromUtf8(part));
    }
    return true;
}

// A directory only this user can enter: the lock and socket in it cannot be taken by others.
bool isPrivateDirectory(const QString &path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

SingleInstance::SingleInstance(QString directory, QString name, QObject *parent)
    : QObject(parent), directory_(std::move(directory)), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

QString SingleInstance::defaultDirectory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    const QString fallback = QDir::tempPath() + QStringLiteral("/lumadesk-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return isPrivateDirectory(fallback) ? fallback : QString();
}

QString SingleInstance::defaultName() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    QString name = QStringLiteral("lumadesk");
    if (!display.isEmpty()) {
        for (QChar &c : display) {
            if (!c.isLetterOrNumber() && c != u'.' && c != u'-')
                c = u'_';
        }
        name += u'-' + display;
    }
    return name;
}

QString SingleInstance::socketPath() const {
    return directory_ + u'/' + name_ + QStringLiteral(".socket");
}

SingleInstance::Role SingleInstance::start() {
    if (directory_.isEmpty()) {
        role_ = Role::Alone;
        return role_;
    }
    lock_ = std::make_unique<QLockFile>(directory_ + u'/' + name_ + QStringLiteral(".lock"));
    // A lock is stale only when the process that took it is gone.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        role_ = lock_->error() == QLockFile::LockFailedError ? Role::Second : Role::Alone;
        lock_.reset();
        return role_;
    }
    role_ = Role::First;
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath())) {
        // A socket left by a start that ended without closing it: the lock says it is ours.
        QLocalServer::removeServer(socketPath());
        (void)server_.listen(socketPath());
    }
    return role_;
}

bool SingleInstance::handOff(const QStringList &files, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The first start may still be on its way to listening.
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(encodeRequest(files));
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kConfirmation;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QByteArray &request = pending_[socket];
            request += socket->readAll();
            QStringList files;
            bool valid = true;
            const bool complete = decodeRequest(request, files, valid);
            if (!valid || (!complete && request.size() > kMaxRequestBytes)) {
                pending_.remove(socket);
                socket->abort();
                return;
            }
            if (!complete)
                return;  // the rest is still on its way
            pending_.remove(socket);
            // Confirmed first: the second start ends at once, whatever opening the files asks.
            socket->putChar(kConfirmation);
            socket->flush();
            socket->disconnectFromServer();
            emit activationRequested(files);
        });
        connect(socket, &QObject::destroyed, this, [this, socket] { pending_.remove(socket); });
    }
}

}  // namespace lumaghost
