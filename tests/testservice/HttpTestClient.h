#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <nlohmann/json.hpp>
#include <utility>

// A blocking HTTP(S) client for the tests: runs the shared event loop until the answer,
// so the in-process service gets to answer too.
class HttpTestClient {
public:
    struct Response {
        int status = 0; // 0 when no HTTP answer arrived
        QByteArray body;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        qint64 elapsedMs = 0;

        nlohmann::json json() const {
            return nlohmann::json::parse(body.constBegin(), body.constEnd(), nullptr, false);
        }
        std::string field(const char* name) const {
            const nlohmann::json value = json();
            return value.is_object() && value.contains(name) && value[name].is_string()
                       ? value[name].get<std::string>()
                       : std::string("<missing>");
        }
    };

    explicit HttpTestClient(const QString& caFile = {}) {
        m_ssl = QSslConfiguration::defaultConfiguration();
        if (!caFile.isEmpty()) {
            QFile file(caFile);
            if (file.open(QIODevice::ReadOnly))
                m_ssl.addCaCertificates(QSslCertificate::fromData(file.readAll()));
        }
    }

    Response get(const QString& url) { return run(request(url), nullptr); }

    Response post(const QString& url, const QList<std::pair<QString, QString>>& form) {
        QByteArray body;
        for (const auto& [name, value] : form) {
            if (!body.isEmpty())
                body += '&';
            body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        }
        QNetworkRequest req = request(url);
        req.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
        return run(req, &body);
    }

    Response postRaw(const QString& url, const QByteArray& body) {
        QNetworkRequest req = request(url);
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        return run(req, &body);
    }

    QNetworkCookieJar& cookies() { return *m_network.cookieJar(); }

private:
    QNetworkRequest request(const QString& url) const {
        QNetworkRequest req{QUrl(url)};
        req.setSslConfiguration(m_ssl);
        req.setTransferTimeout(10000);
        return req;
    }

    Response run(const QNetworkRequest& req, const QByteArray* body) {
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply = body ? m_network.post(req, *body) : m_network.get(req);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(15000, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        Response response;
        response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        response.body = reply->readAll();
        response.error = reply->error();
        response.elapsedMs = clock.elapsed();
        reply->deleteLater();
        return response;
    }

    QNetworkAccessManager m_network;
    QSslConfiguration m_ssl;
};
