#include "TestService.h"

#include "HttpListener.h"
#include "HttpReply.h"
#include "SettingsPackage.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

const QString kPackagePath = QStringLiteral("/users/client/api/app/mac/files/settings.zip");
const QString kControlPrefix = QStringLiteral("/_control/");
const QString kAnyPath = QStringLiteral("*");

QString methodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QStringLiteral("GET");
    case QHttpServerRequest::Method::Post:
        return QStringLiteral("POST");
    case QHttpServerRequest::Method::Put:
        return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete:
        return QStringLiteral("DELETE");
    case QHttpServerRequest::Method::Head:
        return QStringLiteral("HEAD");
    default:
        return QStringLiteral("OTHER");
    }
}

// application/x-www-form-urlencoded: "+" is a space, so a client must send a literal
// plus sign as %2B, as a real service would require.
QMap<QString, QString> decodeForm(const QByteArray& encoded) {
    QMap<QString, QString> fields;
    for (const QByteArray& pair : encoded.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        QByteArray name = equals < 0 ? pair : pair.left(equals);
        QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
        name.replace('+', ' ');
        value.replace('+', ' ');
        fields.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(name)),
                      QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return fields;
}

QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    QByteArray joined;
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!joined.isEmpty())
            joined += "; ";
        joined += value;
    }
    return joined;
}

QMap<QString, QString> parseCookies(const QByteArray& cookieHeader) {
    QMap<QString, QString> cookies;
    for (const QByteArray& part : cookieHeader.split(';')) {
        const QByteArray item = part.trimmed();
        const qsizetype equals = item.indexOf('=');
        if (equals > 0)
            cookies.insert(QString::fromUtf8(item.left(equals)),
                           QString::fromUtf8(item.mid(equals + 1)));
    }
    return cookies;
}

bool wantsKeepAlive(const QHttpServerRequest& request) {
    return header(request, "Connection").compare("close", Qt::CaseInsensitive) != 0;
}

QByteArray deepJson() {
    constexpr int depth = 10000;
    return "{\"result\":\"200\",\"deep\":" + QByteArray(depth, '[') + QByteArray(depth, ']') + '}';
}

QByteArray okJson() {
    return QByteArrayLiteral("{\"ok\":true}");
}

QByteArray errorJson(const QString& message) {
    return "{\"error\":\"" + message.toUtf8().replace('\\', "\\\\").replace('"', "\\\"") + "\"}";
}

} // namespace

TestService::TestService(QObject* parent) : QObject(parent) {
    qRegisterMetaType<LoggedRequest>();
}

TestService::~TestService() = default;

bool TestService::start(const Options& options) {
    stop();
    m_error.clear();
    if (options.hostCount < 1 || options.hostCount > 9) {
        m_error = QStringLiteral("hostCount must be 1 to 9 (the certificate names 127.0.0.1-9)");
        return false;
    }
    if (options.stateDir.isEmpty() || !m_certificates.ensure(options.stateDir)) {
        m_error = options.stateDir.isEmpty() ? QStringLiteral("no state folder given")
                                             : m_certificates.errorString();
        return false;
    }
    QString packageError;
    m_package = SettingsPackage::build(&packageError);
    if (m_package.isEmpty()) {
        m_error = QStringLiteral("settings package: ") + packageError;
        return false;
    }
    m_scenario = options.scenario;
    m_api.clearSessions();
    m_log.clear();
    m_log.setFile(options.requestLogFile);

    m_apiListener =
        std::make_unique<HttpListener>([this](const QHttpServerRequest& request,
                                              QTcpSocket* socket) { handleApi(request, socket); });
    m_apiListener->sslSetup(m_certificates.serverCertificate(), m_certificates.serverKey());
    for (int i = 0; i < options.hostCount; ++i) {
        const QHostAddress address(QStringLiteral("127.0.0.%1").arg(i + 1));
        const quint16 wanted = options.firstPort ? quint16(options.firstPort + i) : 0;
        const quint16 port = m_apiListener->listen(address, wanted);
        if (port == 0) {
            m_error = QStringLiteral("cannot listen on %1:%2").arg(address.toString()).arg(wanted);
            stop();
            return false;
        }
        m_baseUrls.append(QStringLiteral("https://%1:%2").arg(address.toString()).arg(port));
    }

    m_plainListener = std::make_unique<HttpListener>(
        [this](const QHttpServerRequest& request, QTcpSocket* socket) {
            handlePlain(request, socket);
        });
    m_packagePort = m_plainListener->listen(QHostAddress::LocalHost, options.packagePort);
    if (m_packagePort == 0) {
        m_error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(options.packagePort);
        stop();
        return false;
    }
    return true;
}

void TestService::stop() {
    m_apiListener.reset();
    m_plainListener.reset();
    m_baseUrls.clear();
    m_packagePort = 0;
}

QString TestService::packageUrl() const {
    return m_packagePort
               ? QStringLiteral("http://127.0.0.1:%1%2").arg(m_packagePort).arg(kPackagePath)
               : QString();
}

QString TestService::controlUrl() const {
    return m_packagePort ? QStringLiteral("http://127.0.0.1:%1/_control").arg(m_packagePort)
                         : QString();
}

QList<LoggedRequest> TestService::requests(const QString& path) const {
    QList<LoggedRequest> matching;
    for (const LoggedRequest& request : m_log.entries()) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

LoggedRequest TestService::record(const QHttpServerRequest& request, int hostIndex) {
    LoggedRequest entry;
    entry.path = request.url().path();
    entry.method = methodName(request.method());
    entry.hostIndex = hostIndex;
    entry.form = request.method() == QHttpServerRequest::Method::Post
                     ? decodeForm(request.body())
                     : decodeForm(request.url().query(QUrl::FullyEncoded).toUtf8());
    entry.cookies = parseCookies(header(request, "Cookie"));
    entry.time = QDateTime::currentDateTime();
    m_log.append(entry);
    emit requestReceived(entry);
    return entry;
}

std::optional<Fault> TestService::takeFault(const QString& path, int hostIndex) {
    for (const QString& key : {path, kAnyPath}) {
        const auto it = m_scenario.faults.find(key);
        if (it == m_scenario.faults.end() || !it->appliesToHost(hostIndex))
            continue;
        if (key == kAnyPath && !ServiceApi::isApiPath(path))
            continue;
        const Fault fault = *it;
        if (it->remaining > 0 && --it->remaining == 0)
            m_scenario.faults.erase(it);
        return fault;
    }
    return std::nullopt;
}

void TestService::handleApi(const QHttpServerRequest& request, QTcpSocket* socket) {
    const int hostIndex = int(socket->localAddress().toIPv4Address() & 0xff) - 1;
    const LoggedRequest entry = record(request, hostIndex);
    const bool keepAlive = wantsKeepAlive(request);
    const std::optional<Fault> fault = takeFault(entry.path, hostIndex);
    if (fault) {
        switch (fault->kind) {
        case Fault::Kind::Drop:
            socket->abort();
            return;
        case Fault::Kind::Html:
            answer(socket, HttpReply::html(502, "502 Bad Gateway"), keepAlive);
            return;
        case Fault::Kind::Http500Json:
            answer(socket, HttpReply::json("{\"result\":\"500\"}", 500), keepAlive);
            return;
        case Fault::Kind::Huge:
            streamHugeBody(socket);
            return;
        case Fault::Kind::Deep:
            answer(socket, HttpReply::json(deepJson()), keepAlive);
            return;
        case Fault::Kind::Delay: {
            // The answer is made when it is sent, so scenario edits made meanwhile count.
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(fault->delayMs, this, [this, guarded, entry, keepAlive] {
                if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
                    answer(guarded,
                           m_api.handle(entry.path, entry.method, entry.form, entry.cookies),
                           keepAlive);
            });
            return;
        }
        }
    }
    answer(socket, m_api.handle(entry.path, entry.method, entry.form, entry.cookies), keepAlive);
}

void TestService::handlePlain(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    const bool keepAlive = wantsKeepAlive(request);
    if (path.startsWith(kControlPrefix)) {
        handleControl(request, socket);
        return;
    }
    if (path != kPackagePath) {
        answer(socket, HttpReply::html(404, "404 Not Found"), keepAlive);
        return;
    }
    record(request, -1);
    const std::optional<Fault> fault = takeFault(path, -1);
    HttpReply reply;
    reply.contentType = "application/zip";
    reply.body = m_package;
    if (fault) {
        switch (fault->kind) {
        case Fault::Kind::Drop:
            socket->abort();
            return;
        case Fault::Kind::Html:
            reply = HttpReply::html(500, "500 Internal Server Error");
            break;
        case Fault::Kind::Http500Json:
            reply = HttpReply::json("{\"result\":\"500\"}", 500);
            break;
        case Fault::Kind::Huge:
            streamHugeBody(socket);
            return;
        case Fault::Kind::Deep:
            reply = HttpReply::json(deepJson());
            break;
        case Fault::Kind::Delay: {
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(fault->delayMs, this, [this, guarded, reply, keepAlive] {
                if (guarded && guarded->state() == QAbstractSocket::ConnectedState)
                    answer(guarded, reply, keepAlive);
            });
            return;
        }
        }
    }
    answer(socket, reply, keepAlive);
}

void TestService::handleControl(const QHttpServerRequest& request, QTcpSocket* socket) {
    const bool keepAlive = wantsKeepAlive(request);
    if (!request.remoteAddress().isLoopback()) {
        answer(socket, HttpReply::json(errorJson(QStringLiteral("loopback only")), 403), false);
        return;
    }
    const QString action = request.url().path().mid(kControlPrefix.size());
    const bool isPost = request.method() == QHttpServerRequest::Method::Post;
    QString error;
    if (action == QLatin1String("requests") && !isPost) {
        answer(socket, HttpReply::json(RequestLog::toJsonArray(m_log.entries())), keepAlive);
    } else if (action == QLatin1String("scenario") && isPost) {
        const std::optional<Scenario> scenario = Scenario::fromJson(request.body(), &error);
        if (scenario)
            m_scenario = *scenario;
        answer(socket,
               scenario ? HttpReply::json(okJson()) : HttpReply::json(errorJson(error), 400),
               keepAlive);
    } else if (action == QLatin1String("fault") && isPost) {
        const auto fault = Scenario::faultFromJson(request.body(), &error);
        if (fault)
            setFault(fault->first, fault->second);
        answer(socket, fault ? HttpReply::json(okJson()) : HttpReply::json(errorJson(error), 400),
               keepAlive);
    } else if (action == QLatin1String("clear-faults") && isPost) {
        clearFaults();
        answer(socket, HttpReply::json(okJson()), keepAlive);
    } else if (action == QLatin1String("reset-log") && isPost) {
        clearRequests();
        answer(socket, HttpReply::json(okJson()), keepAlive);
    } else {
        answer(socket, HttpReply::json(errorJson(QStringLiteral("unknown control call")), 404),
               keepAlive);
    }
}

void TestService::streamHugeBody(QTcpSocket* socket) {
    // Without a length the body ends when the connection does: only a client that counts
    // while it reads can refuse it early. Paced by the socket, so the service never holds
    // more than a piece of it.
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n"
                  "{\"result\":\"200\",\"data\":[");
    const QByteArray piece = '"' + QByteArray(64 * 1024 - 3, 'x') + "\",";
    auto* tls = qobject_cast<QSslSocket*>(socket);
    auto sent = std::make_shared<qint64>(0); // shared by both connections below
    auto sendMore = [this, socket, tls, piece, sent] {
        if (*sent < 0 || socket->bytesToWrite() > 0 || (tls && tls->encryptedBytesToWrite() > 0))
            return;
        if (*sent + piece.size() > kHugeBodyLimit) {
            *sent = -1;
            socket->write("\"\"]}");
            socket->disconnectFromHost();
            return;
        }
        socket->write(piece);
        *sent += piece.size();
        m_hugeBodyBytes += piece.size();
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, sendMore);
    if (tls)
        connect(tls, &QSslSocket::encryptedBytesWritten, tls, sendMore);
    sendMore();
}

void TestService::answer(QTcpSocket* socket, const HttpReply& reply, bool keepAlive) {
    socket->write(reply.serialize(keepAlive));
    if (!keepAlive)
        socket->disconnectFromHost();
}
