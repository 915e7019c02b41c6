#pragma once

#include <QJsonObject>
#include <QObject>
#include <functional>

class ClientControl;
class QLocalSocket;
class ServerShortcuts;
class SingleInstance;

// Answers the command line's requests arriving on the single-instance socket.
class ControlServer final : public QObject {
    Q_OBJECT
public:
    ControlServer(SingleInstance& instance, ClientControl& controller, ServerShortcuts& shortcuts,
                  QObject* parent = nullptr);

    // The answer to one request line; connect and disconnect answer once the tunnel has
    // settled, through `answer`.
    void handle(const QByteArray& line, const std::function<void(const QJsonObject&)>& answer);

    static QJsonObject statusObject(const ClientControl& controller);

private:
    void onRequest(QLocalSocket* peer, const QByteArray& line);
    QJsonObject serversObject() const;
    void answerConnect(const QJsonObject& request,
                       const std::function<void(const QJsonObject&)>& answer);
    void answerDisconnect(const std::function<void(const QJsonObject&)>& answer);

    ClientControl& m_controller;
    ServerShortcuts& m_shortcuts;
};
