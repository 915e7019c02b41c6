#pragma once

#include "api/ApiReply.h"
#include "api/ApiTransport.h"

#include <QHash>
#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QThread>
#include <QUrl>
#include <atomic>
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

    // What to send next from a reply sent ahead, made on the network thread (so from the
    // reply alone): the fields, the token the form carries and the cookies it goes with.
    struct FollowUp {
        QString path;
        ApiFields fields;
        QString csrfToken;
        QList<QNetworkCookie> cookies;
    };
    using FollowUpMaker = std::function<std::optional<FollowUp>(const ApiReply&)>;

    // Sends a GET without fields now, for a step that is sure to come and is still being
    // prepared, and its follow-up as soon as the reply is in. A step's send() takes a
    // reply sent ahead when its request is the very one sent; otherwise it sends its own.
    void sendAhead(const QString& path, FollowUpMaker followUp = {});

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
    struct Ahead {
        quint64 id = 0;
        QUrl url;
        QByteArray body;
    };

    void expectAhead(const QString& path, const Ahead& ahead);
    bool takeAhead(const QString& path, const QUrl& url, const std::optional<QByteArray>& body,
                   const Completion& completion);
    void fetchAhead(ApiTransport& transport, quint64 id, const QString& base, const QUrl& url,
                    const std::optional<QByteArray>& body, const FollowUpMaker& followUp);
    void sendFollowUp(ApiTransport& transport, const QString& base,
                      const ApiTransport::Outcome& outcome, const FollowUpMaker& followUp);
    // Hands an outcome to the main thread, to the completion filed under id.
    void deliver(quint64 id, const ApiTransport::Outcome& outcome);
    // Runs work on the network thread.
    void onNetworkThread(std::function<void(ApiTransport&)> work);

    std::unique_ptr<QNetworkCookieJar> m_cookieJar;
    QHash<quint64, Completion> m_pending;
    QHash<QString, Ahead> m_ahead;                        // sent ahead, not yet asked for
    QHash<quint64, ApiTransport::Outcome> m_arrivedAhead; // and already answered
    std::atomic<quint64> m_lastRequestId = 0;             // follow-ups are numbered there
    QThread m_networkThread;
    ApiTransport* m_transport;
    int m_consecutiveFailures = 0;
};
