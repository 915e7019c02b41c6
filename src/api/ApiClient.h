#pragma once

#include "api/ApiReply.h"
#include "api/ApiTransport.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QNetworkCookieJar;

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
// sends again. The network itself runs on a thread of the client's own.
class ApiClient final : public QObject {
    Q_OBJECT
public:
    explicit ApiClient(QObject* parent = nullptr);
    ~ApiClient() override;

    // Extra certificate authorities trusted next to the system's; verification stays on.
    void addTrustedCertificates(const QList<QSslCertificate>& certificates);
    // False when the file holds no PEM certificate; it is parsed on the network thread.
    bool addTrustedCaFile(const QString& path);

    // Safe to change from the main thread while requests run.
    QNetworkCookieJar& cookieJar();

    // fields is called for every attempt, so a resend carries the values of that moment.
    // retry, when given, replaces the plain resend (an operation that re-reads a form).
    void send(const QString& path, std::function<ApiFields()> fields, ApiReplyHandler onReply,
              std::function<void()> retry = {});

    // Sends a GET without fields now, for a step that is sure to come and is still being
    // prepared; that step's send() of the same path takes this reply instead of sending.
    void sendAhead(const QString& path);

    // The pause before the next resend; 0 until a whole round of hosts has failed.
    int currentBackoffMs() const;

signals:
    void requestFailed(const QString& path);

private:
    using Completion = std::function<void(const ApiTransport::Outcome&)>;

    void start(const QString& path, const std::function<ApiFields()>& fields,
               const ApiReplyHandler& onReply, const std::function<void()>& retry);
    void finish(const ApiTransport::Outcome& outcome, const QString& path,
                const std::function<ApiFields()>& fields, const ApiReplyHandler& onReply,
                const std::function<void()>& retry);
    void scheduleRetry(std::function<void()> resend);
    // Sends the request; its outcome goes to the completion filed under the id returned.
    quint64 dispatch(const QString& path, const std::optional<QByteArray>& body);
    bool takeAhead(const QString& path, Completion completion);
    // Runs work on the network thread.
    void onNetworkThread(std::function<void(ApiTransport&)> work);

    std::unique_ptr<QNetworkCookieJar> m_cookieJar;
    QHash<quint64, Completion> m_pending;
    QHash<QString, quint64> m_ahead;                      // sent ahead, not yet asked for
    QHash<quint64, ApiTransport::Outcome> m_arrivedAhead; // and already answered
    quint64 m_lastRequestId = 0;
    QThread m_networkThread;
    ApiTransport* m_transport;
    int m_consecutiveFailures = 0;
};
