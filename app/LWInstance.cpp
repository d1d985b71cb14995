#include "LWInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether `folder` is a real folder (not a link) of this user that nobody else may enter.
bool isPrivate(const QString& folder) {
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Whether the other end of a connected local socket runs as this user.
bool peerIsThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (descriptor < 0 ||
        ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == ::geteuid();
}

} // namespace

QString LWInstance::privateFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && isPrivate(runtime))
        return runtime;
    const QString own =
        QDir::tempPath() + QStringLiteral("/lorowen-pro-%1").arg(qulonglong(::geteuid()));
    const QByteArray path = QFile::encodeName(own);
    // mkdir does not follow a link or reuse a folder: one already there is checked as it is.
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivate(own) ? own : QString();
}

QString LWInstance::socketPath() {
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/lorowen-pro.socket");
}

bool LWInstance::forward(const QString& path, const QString& socketName) {
    if (socketName.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketName);
    if (!socket.waitForConnected(500))
        return false;
    if (!peerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    socket.write(path.toUtf8() + '\n');
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

LWInstance::LWInstance(QObject* parent) : QObject(parent) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            if (!peerIsThisUser(peer->socketDescriptor())) {
                peer->abort();
                peer->deleteLater();
                continue;
            }
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                while (peer->canReadLine())
                    emit requested(QString::fromUtf8(peer->readLine()).trimmed());
            });
        }
    });
}

bool LWInstance::listen(const QString& socketName) {
    if (socketName.isEmpty())
        return false;
    QLocalServer::removeServer(socketName); // a stale socket of a crashed run
    return m_server.listen(socketName);
}
