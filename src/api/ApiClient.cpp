#include "api/ApiClient.h"

#include "api/ApiHosts.h"
#include "app/AppState.h"

#include <QLoggingCategory>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <memory>

Q_LOGGING_CATEGORY(lcApi, "orvel.api")

namespace {
constexpr int kHostCount = 5;
constexpr int kFirstBackoffMs = 250;
constexpr int kMaxBackoffMs = 4000;
// The platform client gives up after a minute; without it a silent host would hang a step.
constexpr int kTransferTimeoutMs = 60000;
constexpr const char* kOversized = "orvelOversized";
constexpr qint64 kReadAheadBytes = qint64(1) << 20;

bool isGet(const QString& path) {
    return path == QLatin1String(ApiPath::initSession);
}

bool carriesCsrf(const QString& path) {
    return path != QLatin1String(ApiPath::initSession) &&
           path != QLatin1String(ApiPath::getUserInfo);
}

QByteArray formEncode(const ApiFields& fields) {
    QUrlQuery query;
    for (const auto& [name, value] : fields)
        query.addQueryItem(QString::fromUtf8(QUrl::toPercentEncoding(name)),
                           QString::fromUtf8(QUrl::toPercentEncoding(value)));
    return query.query(QUrl::FullyEncoded).toUtf8();
}
} // namespace

ApiClient::ApiClient(QObject* parent) : QObject(parent), m_network(this) {
    m_network.setTransferTimeout(kTransferTimeoutMs);
}

void ApiClient::addTrustedCertificates(const QList<QSslCertificate>& certificates) {
    m_extraCertificates << certificates;
}

bool ApiClient::addTrustedCaFile(const QString& path) {
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path, QSsl::Pem);
    if (certificates.isEmpty())
        return false;
    addTrustedCertificates(certificates);
    return true;
}

QNetworkCookieJar& ApiClient::cookieJar() {
    return *m_network.cookieJar();
}

int ApiClient::currentBackoffMs() const {
    const int roundsBeyond = m_consecutiveFailures - kHostCount;
    if (roundsBeyond < 0)
        return 0;
    const int shift = std::min(roundsBeyond, 5);
    return std::min(kFirstBackoffMs << shift, kMaxBackoffMs);
}

void ApiClient::send(const QString& path, std::function<ApiFields()> fields,
                     ApiReplyHandler onReply, std::function<void()> retry) {
    start(path, fields, onReply, retry);
}

void ApiClient::start(const QString& path, const std::function<ApiFields()>& fields,
                      const ApiReplyHandler& onReply, const std::function<void()>& retry) {
    ApiFields form;
    if (carriesCsrf(path))
        form.append({QStringLiteral("csrfmiddlewaretoken"), appState().csrfToken});
    if (fields)
        form.append(fields());

    QNetworkRequest request(QUrl(appState().apiBaseURL + path));
    if (!m_extraCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(m_extraCertificates);
        request.setSslConfiguration(ssl);
    }

    QNetworkReply* reply = nullptr;
    if (isGet(path)) {
        reply = m_network.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        reply = m_network.post(request, formEncode(form));
    }
    // The body is read as it arrives, the network at most a little ahead of it: an endless
    // body is cut off at the bound instead of being buffered whole.
    reply->setReadBufferSize(kReadAheadBytes);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, this, [reply, body] {
        body->append(reply->readAll());
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (std::max<qint64>(declared, body->size()) > ApiReply::maxBodyBytes) {
            reply->setProperty(kOversized, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, body, path, fields, onReply, retry] {
                body->append(reply->readAll());
                finish(reply, *body, path, fields, onReply, retry);
            });
}

void ApiClient::finish(QNetworkReply* reply, const QByteArray& body, const QString& path,
                       const std::function<ApiFields()>& fields, const ApiReplyHandler& onReply,
                       const std::function<void()>& retry) {
    reply->deleteLater();
    const bool oversized = reply->property(kOversized).toBool();
    // A status code means a response arrived; its value is the operation's business.
    const bool responded =
        !oversized && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    std::optional<ApiReply> parsed;
    if (responded)
        parsed = ApiReply::parse(body);

    if (parsed) {
        m_consecutiveFailures = 0;
        onReply(*parsed);
        return;
    }

    qCInfo(lcApi) << "request failed" << path << "at" << reply->url().host()
                  << (oversized   ? QStringLiteral("(body is larger than allowed)")
                      : responded ? QStringLiteral("(body is not JSON or nests too deep)")
                                  : reply->errorString());
    ++m_consecutiveFailures;
    emit requestFailed(path);
    switchApiHost();
    if (retry)
        scheduleRetry(retry);
    else
        scheduleRetry([this, path, fields, onReply] { start(path, fields, onReply, {}); });
}

void ApiClient::scheduleRetry(std::function<void()> resend) {
    const int pause = currentBackoffMs();
    if (pause == 0) {
        resend();
        return;
    }
    QTimer::singleShot(pause, this, std::move(resend));
}
