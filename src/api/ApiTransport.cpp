#include "api/ApiTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <algorithm>
#include <memory>

namespace {
constexpr qint64 kReadAheadBytes = qint64(1) << 20;
} // namespace

ApiTransport::ApiTransport(QNetworkCookieJar& jar, int transferTimeoutMs, qint64 maxBodyBytes)
    : m_network(new QNetworkAccessManager(this)), m_maxBodyBytes(maxBodyBytes) {
    m_network->setTransferTimeout(transferTimeoutMs);
    m_network->setCookieJar(&jar);
    // The jar belongs to the client on the main thread, not to this manager.
    jar.setParent(nullptr);
}

ApiTransport::~ApiTransport() = default;

void ApiTransport::prepare() {
    QSslConfiguration::defaultConfiguration();
}

void ApiTransport::addCaCertificates(const QByteArray& pem) {
    addCaCertificates(QSslCertificate::fromData(pem, QSsl::Pem));
}

void ApiTransport::addCaCertificates(const QList<QSslCertificate>& certificates) {
    if (!m_ssl)
        m_ssl = QSslConfiguration::defaultConfiguration();
    m_ssl->addCaCertificates(certificates);
}

void ApiTransport::fetch(QNetworkRequest request, const std::optional<QByteArray>& form,
                         Done done) {
    if (m_ssl)
        request.setSslConfiguration(*m_ssl);
    QNetworkReply* reply = form ? m_network->post(request, *form) : m_network->get(request);
    // The body is read as it arrives, the network at most a little ahead of it: an endless
    // body is cut off at the bound instead of being buffered whole.
    reply->setReadBufferSize(kReadAheadBytes);
    auto outcome = std::make_shared<Outcome>();
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, outcome] {
        outcome->body.append(reply->readAll());
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (std::max<qint64>(declared, outcome->body.size()) > m_maxBodyBytes) {
            outcome->oversized = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, outcome, done = std::move(done)] {
        reply->deleteLater();
        outcome->body.append(reply->readAll());
        // A status code means a response arrived; its value is the operation's business.
        outcome->responded = !outcome->oversized &&
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        outcome->error = reply->errorString();
        outcome->host = reply->url().host();
        done(*outcome);
    });
}
