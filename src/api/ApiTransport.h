#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkCookieJar;

// The HTTPS side of the API client. It lives on a thread of its own: Qt hands a finished
// TLS handshake to the thread of the access manager and waits for it there, so a main
// thread busy painting or building a window would hold every request back.
class ApiTransport final : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        bool responded = false; // an HTTP status came back
        bool oversized = false; // cut off at the bound
        QByteArray body;
        QString error;
        QString host;
    };
    using Done = std::function<void(const Outcome&)>;

    // The jar is shared with the main thread and must be safe to use from both.
    ApiTransport(QNetworkCookieJar& jar, int transferTimeoutMs, qint64 maxBodyBytes);
    ~ApiTransport() override;

    // Loads the TLS backend and its default configuration, so the first request does not.
    void prepare();
    // Parsed here, where the TLS backend lives; the caller has checked the text looks
    // like PEM.
    void addCaCertificates(const QByteArray& pem);
    void addCaCertificates(const QList<QSslCertificate>& certificates);

    // A GET without a body, a form POST with one. done runs on this thread.
    void fetch(QNetworkRequest request, const std::optional<QByteArray>& form, Done done);

private:
    QNetworkAccessManager* m_network;
    // Made once, when the first certificate is added; the default one until then.
    std::optional<QSslConfiguration> m_ssl;
    qint64 m_maxBodyBytes;
};
