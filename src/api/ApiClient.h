#pragma once

#include "api/ApiReply.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <functional>
#include <utility>

class QNetworkCookieJar;
class QNetworkReply;
class QTimer;

using ApiFields = QList<std::pair<QString, QString>>;
using ApiReplyHandler = std::function<void(const ApiReply&)>;

namespace ApiPath {
inline constexpr const char* initSession = "/v1/app_init_session";
inline constexpr const char* osxVersion = "/v1/app_osx_version";
inline constexpr const char* sessionKey = "/v1/app_session_key";
inline constexpr const char* newServerList = "/v1/app_new_server_list";
inline constexpr const char* newCheckServer = "/v1/app_new_check_server";
inline constexpr const char* stableServer = "/v1/app_stable_server";
inline constexpr const char* reportFailedServer = "/v1/app_report_failed_server";
inline constexpr const char* getUserInfo = "/v1/app_get_userinfo";
inline constexpr const char* changePassword = "/v1/app_change_password";
} // namespace ApiPath

// The one client of the service API. Every operation goes through send(): the URL is
// read at send time, replies arrive on the main thread, and a failed reply (nothing
// came back, or the body is not JSON or is out of bounds) moves to the next host and
// sends again.
class ApiClient final : public QObject {
    Q_OBJECT
public:
    explicit ApiClient(QObject* parent = nullptr);

    // Extra certificate authorities trusted next to the system's; verification stays on.
    void addTrustedCertificates(const QList<QSslCertificate>& certificates);
    bool addTrustedCaFile(const QString& path);

    QNetworkCookieJar& cookieJar();
    QNetworkAccessManager& network() { return m_network; }

    // fields is called for every attempt, so a resend carries the values of that moment.
    // retry, when given, replaces the plain resend (an operation that re-reads a form).
    void send(const QString& path, std::function<ApiFields()> fields, ApiReplyHandler onReply,
              std::function<void()> retry = {});

    // The pause before the next resend; 0 until a whole round of hosts has failed.
    int currentBackoffMs() const;

signals:
    void requestFailed(const QString& path);

private:
    void start(const QString& path, const std::function<ApiFields()>& fields,
               const ApiReplyHandler& onReply, const std::function<void()>& retry);
    void finish(QNetworkReply* reply, const QByteArray& body, const QString& path,
                const std::function<ApiFields()>& fields, const ApiReplyHandler& onReply,
                const std::function<void()>& retry);
    void scheduleRetry(std::function<void()> resend);

    QNetworkAccessManager m_network;
    QList<QSslCertificate> m_extraCertificates;
    int m_consecutiveFailures = 0;
};
