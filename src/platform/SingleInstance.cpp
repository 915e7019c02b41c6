#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "orvel.instance")

namespace {
constexpr int kConnectTimeoutMs = 500;
// A request is a short JSON line; anything longer is not one of ours.
constexpr qint64 kMaxLineBytes = qint64{64} * 1024;
const QByteArray kReopen = "reopen";
// Set on a peer while the rest of an over-long line is being dropped.
const char* const kSkipping = "orvelSkippingLine";

bool peerIsThisUser(const QLocalSocket& peer) {
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(static_cast<int>(peer.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                     &credentials, &length) != 0)
        return false;
    return credentials.uid == ::getuid();
}

// Drops what arrived of the current line; true once its line feed went too.
bool skipPastLineEnd(QLocalSocket& peer) {
    const QByteArray buffered = peer.peek(peer.bytesAvailable());
    const qsizetype lineFeed = buffered.indexOf('\n');
    peer.skip(lineFeed < 0 ? buffered.size() : lineFeed + 1);
    return lineFeed >= 0;
}
} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), m_path(std::move(socketPath)) {}

QString SingleInstance::privateFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info {};
    // lstat: a link planted by someone else must not lead the socket elsewhere.
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        qCWarning(lcInstance) << path << "is not a private folder of this user; no socket";
        return {};
    }
    return path;
}

QString SingleInstance::defaultSocketPath() {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder = base.isEmpty()
                         ? QDir::tempPath() + QStringLiteral("/orvelvpn-%1").arg(::getuid())
                         : base + QStringLiteral("/orvelvpn");
    folder = privateFolder(folder);
    if (folder.isEmpty())
        return {};
    const QByteArray home = QDir::homePath().toUtf8();
    return folder +
           QStringLiteral("/instance-%1.sock")
               .arg(QString::fromLatin1(
                   QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12)));
}

bool SingleInstance::claim() {
    if (m_path.isEmpty())
        return true;
    if (notifyRunning())
        return false;
    // A socket left by a crashed run would block listen().
    QLocalServer::removeServer(m_path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_path)) {
        qCWarning(lcInstance) << "cannot listen on" << m_path << m_server.errorString();
        return true;
    }
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptPeers);
    return true;
}

void SingleInstance::acceptPeers() {
    while (QLocalSocket* peer = m_server.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        if (!peerIsThisUser(*peer)) {
            qCWarning(lcInstance) << "refused a peer of another user";
            peer->abort();
            peer->deleteLater();
            continue;
        }
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { readRequests(peer); });
    }
}

void SingleInstance::readRequests(QLocalSocket* peer) {
    while (peer->bytesAvailable() > 0) {
        if (peer->property(kSkipping).toBool()) {
            if (!skipPastLineEnd(*peer))
                return;
            peer->setProperty(kSkipping, false);
            continue;
        }
        if (!peer->canReadLine() && peer->bytesAvailable() <= kMaxLineBytes)
            return;
        // Up to one byte past the limit: a line that fits ends with its line feed.
        const QByteArray line = peer->readLine(kMaxLineBytes + 2);
        if (!line.endsWith('\n')) {
            // Refused whole: cut into pieces, its tail would be read as requests of its own.
            peer->setProperty(kSkipping, true);
            emit lineTooLong(peer);
            continue;
        }
        const QByteArray request = line.trimmed();
        if (request == kReopen) {
            emit reopenRequested();
            peer->disconnectFromServer();
            return;
        }
        if (!request.isEmpty())
            emit commandReceived(peer, request);
    }
}

bool SingleInstance::notifyRunning() {
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kReopen + '\n');
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}
