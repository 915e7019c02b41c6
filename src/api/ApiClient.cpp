#include "api/ApiClient.h"

#include "api/ApiHosts.h"
#include "app/AppState.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrlQuery>
#include <algorithm>

Q_LOGGING_CATEGORY(lcApi, "orvel.api")

namespace {
constexpr int kHostCount = 5;
constexpr int kFirstBackoffMs = 250;
constexpr int kMaxBackoffMs = 4000;
// The platform client gives up after a minute; without it a silent host would hang a step.
constexpr int kTransferTimeoutMs = 60000;

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

// The session cookies are set on the main thread and read on the network thread.
class SharedCookieJar final : public QNetworkCookieJar {
public:
    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override {
        const QMutexLocker lock(&m_mutex);
        return QNetworkCookieJar::cookiesForUrl(url);
    }
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override {
        const QMutexLocker lock(&m_mutex);
        return QNetworkCookieJar::setCookiesFromUrl(cookies, url);
    }

private:
    mutable QMutex m_mutex;
};
} // namespace

ApiClient::ApiClient(QObject* parent)
    : QObject(parent), m_cookieJar(std::make_unique<SharedCookieJar>()),
      m_transport(new ApiTransport(*m_cookieJar, kTransferTimeoutMs, ApiReply::maxBodyBytes)) {
    m_networkThread.setObjectName(QStringLiteral("orvel-api"));
    m_transport->moveToThread(&m_networkThread);
    connect(&m_networkThread, &QThread::finished, m_transport, &QObject::deleteLater);
    m_networkThread.start();
    onNetworkThread([](ApiTransport& transport) { transport.prepare(); });
}

ApiClient::~ApiClient() {
    m_networkThread.quit();
    m_networkThread.wait();
}

void ApiClient::onNetworkThread(std::function<void(ApiTransport&)> work) {
    QMetaObject::invokeMethod(
        m_transport, [transport = m_transport, work = std::move(work)] { work(*transport); },
        Qt::QueuedConnection);
}

void ApiClient::addTrustedCertificates(const QList<QSslCertificate>& certificates) {
    onNetworkThread(
        [certificates](ApiTransport& transport) { transport.addCaCertificates(certificates); });
}

bool ApiClient::addTrustedCaFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pem = file.readAll();
    if (!pem.contains("-----BEGIN CERTIFICATE-----"))
        return false;
    onNetworkThread([pem](ApiTransport& transport) { transport.addCaCertificates(pem); });
    return true;
}

QNetworkCookieJar& ApiClient::cookieJar() {
    return *m_cookieJar;
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

void ApiClient::sendAhead(const QString& path) {
    Q_ASSERT(isGet(path));
    const quint64 id = dispatch(path, {});
    m_ahead.insert(path, id);
    m_pending.insert(id, [this, id](const ApiTransport::Outcome& outcome) {
        m_arrivedAhead.insert(id, outcome);
    });
}

// A reply sent ahead is handed over as any reply is: from the event loop, never inside
// send().
bool ApiClient::takeAhead(const QString& path, Completion completion) {
    const auto ahead = m_ahead.constFind(path);
    if (ahead == m_ahead.cend())
        return false;
    const quint64 id = *ahead;
    m_ahead.erase(ahead);
    if (const auto arrived = m_arrivedAhead.constFind(id); arrived != m_arrivedAhead.cend()) {
        QMetaObject::invokeMethod(
            this, [completion, outcome = *arrived] { completion(outcome); }, Qt::QueuedConnection);
        m_arrivedAhead.erase(arrived);
    } else {
        m_pending.insert(id, std::move(completion));
    }
    return true;
}

void ApiClient::start(const QString& path, const std::function<ApiFields()>& fields,
                      const ApiReplyHandler& onReply, const std::function<void()>& retry) {
    Completion completion = [this, path, fields, onReply,
                             retry](const ApiTransport::Outcome& outcome) {
        finish(outcome, path, fields, onReply, retry);
    };
    if (takeAhead(path, completion))
        return;
    ApiFields form;
    if (carriesCsrf(path))
        form.append({QStringLiteral("csrfmiddlewaretoken"), appState().csrfToken});
    if (fields)
        form.append(fields());
    std::optional<QByteArray> body;
    if (!isGet(path))
        body = formEncode(form);
    // The handlers stay on this thread; the network thread only hands the outcome back.
    m_pending.insert(dispatch(path, body), std::move(completion));
}

quint64 ApiClient::dispatch(const QString& path, const std::optional<QByteArray>& body) {
    QNetworkRequest request(QUrl(appState().apiBaseURL + path));
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
    const quint64 id = ++m_lastRequestId;
    onNetworkThread([this, id, request, body](ApiTransport& transport) {
        transport.fetch(request, body, [this, id](const ApiTransport::Outcome& outcome) {
            QMetaObject::invokeMethod(
                this, [this, id, outcome] { m_pending.take(id)(outcome); }, Qt::QueuedConnection);
        });
    });
    return id;
}

void ApiClient::finish(const ApiTransport::Outcome& outcome, const QString& path,
                       const std::function<ApiFields()>& fields, const ApiReplyHandler& onReply,
                       const std::function<void()>& retry) {
    std::optional<ApiReply> parsed;
    if (outcome.responded)
        parsed = ApiReply::parse(outcome.body);

    if (parsed) {
        m_consecutiveFailures = 0;
        onReply(*parsed);
        return;
    }

    qCInfo(lcApi) << "request failed" << path << "at" << outcome.host
                  << (outcome.oversized   ? QStringLiteral("(body is larger than allowed)")
                      : outcome.responded ? QStringLiteral("(body is not JSON or nests too deep)")
                                          : outcome.error);
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
