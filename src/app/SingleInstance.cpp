#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <unistd.h>

namespace {
constexpr int kConnectTimeoutMs = 500;
const QByteArray kReopen = "reopen\n";
} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {}

QString SingleInstance::defaultName() {
    // Per user and per home, so a demo or test run with its own home is its own client.
    const QByteArray home = QDir::homePath().toUtf8();
    return QStringLiteral("orvelvpn-%1-%2")
        .arg(getuid())
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12)));
}

bool SingleInstance::claim() {
    if (notifyRunning())
        return false;
    // A socket left by a crashed run would block listen().
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name))
        return true;
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().startsWith(kReopen.trimmed()))
                    emit reopenRequested();
                peer->disconnectFromServer();
            });
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
    });
    return true;
}

bool SingleInstance::notifyRunning() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kReopen);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}
