#include "api/ApiClient.h"

#include "api/ApiHosts.h"
#include "core/AppState.h"

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

ApiFields composeForm(const QString& path, const QString& csrfToken, const ApiFields& fields) {
    ApiFields form;
    if (carriesCsrf(path))
        form.append({QStringLiteral("csrfmiddlewaretoken"), csrfToken});
    form.append(fields);
    return form;
}

QNetworkRequest makeRequest(const QUrl& url, const std::optional<QByteArray>& body) {
    QNetworkRequest request(url);
    if (body)
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
    return request;
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

void ApiClient::sendAhead(const QString& path, FollowUpMaker followUp) {
    Q_ASSERT(isGet(path));
    const QString base = appState().apiBaseURL;
    const QUrl url(base + path);
    const quint64 id = ++m_lastRequestId;
    expectAhead(path, {id, url, {}});
    onNetworkThread([this, id, base, url, followUp = std::move(followUp)](ApiTransport& transport) {
        fetchAhead(transport, id, base, url, {}, followUp);
    });
}

// Runs on the network thread. A follow-up is filed before the outcome it comes from is
// handed over, so the step that asks for it finds it.
void ApiClient::fetchAhead(ApiTransport& transport, quint64 id, const QString& base,
                           const QUrl& url, const std::optional<QByteArray>& body,
                           const FollowUpMaker& followUp) {
    transport.fetch(makeRequest(url, body), body,
                    [this, &transport, id, base, followUp](const ApiTransport::Outcome& outcome) {
                        if (followUp)
                            sendFollowUp(transport, base, outcome, followUp);
                        deliver(id, outcome);
                    });
}

void ApiClient::sendFollowUp(ApiTransport& transport, const QString& base,
                             const ApiTransport::Outcome& outcome, const FollowUpMaker& followUp) {
    const std::optional<ApiReply> reply =
        outcome.responded ? ApiReply::parse(outcome.body) : std::nullopt;
    const std::optional<FollowUp> next = reply ? followUp(*reply) : std::nullopt;
    if (!next)
        return;
    const QUrl url(base + next->path);
    const QByteArray body = formEncode(composeForm(next->path, next->csrfToken, next->fields));
    const quint64 id = ++m_lastRequestId;
    QMetaObject::invokeMethod(
        this, [this, path = next->path, ahead = Ahead{id, url, body}] { expectAhead(path, ahead); },
        Qt::QueuedConnection);
    m_cookieJar->setCookiesFromUrl(next->cookies, QUrl(base));
    fetchAhead(transport, id, base, url, body, {});
}

void ApiClient::expectAhead(const QString& path, const Ahead& ahead) {
    m_ahead.insert(path, ahead);
    m_pending.insert(ahead.id, [this, id = ahead.id](const ApiTransport::Outcome& outcome) {
        m_arrivedAhead.insert(id, outcome);
    });
}

void ApiClient::deliver(quint64 id, const ApiTransport::Outcome& outcome) {
    QMetaObject::invokeMethod(
        this,
        [this, id, outcome] {
            if (const Completion completion = m_pending.take(id))
                completion(outcome);
        },
        Qt::QueuedConnection);
}

// Taken only when it is the very request the step would send now; a reply sent ahead is
// handed over as any reply is: from the event loop, never inside send().
bool ApiClient::takeAhead(const QString& path, const QUrl& url,
                          const std::optional<QByteArray>& body, const Completion& completion) {
    const std::optional<Ahead> ahead =
        m_ahead.contains(path) ? std::optional(m_ahead.take(path)) : std::nullopt;
    if (!ahead)
        return false;
    const auto arrived = m_arrivedAhead.constFind(ahead->id);
    if (ahead->url != url || ahead->body != body.value_or(QByteArray())) {
        m_pending.remove(ahead->id);
        if (arrived != m_arrivedAhead.cend())
            m_arrivedAhead.erase(arrived);
        return false;
    }
    if (arrived != m_arrivedAhead.cend()) {
        QMetaObject::invokeMethod(
            this, [completion, outcome = *arrived] { completion(outcome); }, Qt::QueuedConnection);
        m_arrivedAhead.erase(arrived);
    } else {
        m_pending.insert(ahead->id, completion);
    }
    return true;
}

void ApiClient::start(const QString& path, const std::function<ApiFields()>& fields,
                      const ApiReplyHandler& onReply, const std::function<void()>& retry) {
    std::optional<QByteArray> body;
    if (!isGet(path))
        body = formEncode(composeForm(path, appState().csrfToken, fields ? fields() : ApiFields()));
    const QUrl url(appState().apiBaseURL + path);
    // The handlers stay on this thread; the network thread only hands the outcome back.
    const Completion completion = [this, path, fields, onReply,
                                   retry](const ApiTransport::Outcome& outcome) {
        finish(outcome, path, fields, onReply, retry);
    };
    if (takeAhead(path, url, body, completion))
        return;
    const quint64 id = ++m_lastRequestId;
    m_pending.insert(id, completion);
    onNetworkThread([this, id, url, body](ApiTransport& transport) {
        transport.fetch(makeRequest(url, body), body,
                        [this, id](const ApiTransport::Outcome& outcome) { deliver(id, outcome); });
    });
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
