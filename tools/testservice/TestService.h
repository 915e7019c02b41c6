#pragma once

#include "Fault.h"
#include "RequestLog.h"
#include "Scenario.h"
#include "ServiceApi.h"
#include "ServiceCertificates.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class HttpListener;
class QHttpServerRequest;
class QTcpSocket;
struct HttpReply;

// The stand-in for the service: the /v1/ API over HTTPS on one loopback address per
// API host (127.0.0.1, 127.0.0.2, ...), and the settings package plus a control API
// over plain HTTP on 127.0.0.1. Runs on the thread's event loop, so tests use it
// in-process next to the client.
class TestService final : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString stateDir;      // CA and server certificate files live here
        int hostCount = 5;     // 1 to 9
        quint16 firstPort = 0; // host i listens on firstPort + i; 0 = ephemeral ports
        quint16 packagePort = 0;
        Scenario scenario = Scenario::demo();
        QString requestLogFile; // JSON lines, appended; empty = in memory only
    };

    explicit TestService(QObject* parent = nullptr);
    ~TestService() override;

    bool start(const Options& options);
    void stop();
    bool isRunning() const { return m_apiListener != nullptr; }
    QString errorString() const { return m_error; }

    QStringList baseUrls() const { return m_baseUrls; }
    QString caFile() const { return m_certificates.caFile(); }
    QString packageUrl() const;
    QString controlUrl() const;

    Scenario& scenario() { return m_scenario; }
    void setScenario(const Scenario& scenario) { m_scenario = scenario; }
    // path "*" spoils every API operation; an exact path wins over "*".
    void setFault(const QString& path, const Fault& fault) {
        m_scenario.faults.insert(path, fault);
    }
    void clearFaults() { m_scenario.faults.clear(); }

    // Body bytes the "huge" fault has handed to its clients so far; each such answer
    // stops at kHugeBodyLimit at the latest.
    qint64 hugeBodyBytes() const { return m_hugeBodyBytes; }
    static constexpr qint64 kHugeBodyLimit = qint64(256) << 20;

    QList<LoggedRequest> requests() const { return m_log.entries(); }
    QList<LoggedRequest> requests(const QString& path) const;
    void clearRequests() { m_log.clear(); }

signals:
    void requestReceived(const LoggedRequest& request);

private:
    void handleApi(const QHttpServerRequest& request, QTcpSocket* socket);
    void handlePlain(const QHttpServerRequest& request, QTcpSocket* socket);
    void handleControl(const QHttpServerRequest& request, QTcpSocket* socket);
    std::optional<Fault> takeFault(const QString& path, int hostIndex);
    LoggedRequest record(const QHttpServerRequest& request, int hostIndex);
    void answer(QTcpSocket* socket, const HttpReply& reply, bool keepAlive);
    void streamHugeBody(QTcpSocket* socket);

    QString m_error;
    Scenario m_scenario;
    ServiceApi m_api{m_scenario};
    ServiceCertificates m_certificates;
    RequestLog m_log;
    QByteArray m_package;
    QStringList m_baseUrls;
    quint16 m_packagePort = 0;
    qint64 m_hugeBodyBytes = 0;
    std::unique_ptr<HttpListener> m_apiListener; // one listen() per API host address
    std::unique_ptr<HttpListener> m_plainListener;
};
