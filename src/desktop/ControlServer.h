#pragma once

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <optional>

class ClientControl;
class QLocalSocket;
class ServerShortcuts;
class SettingsCatalog;
class SingleInstance;

// Answers the command line's requests arriving on the single-instance socket.
class ControlServer final : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(const QJsonObject&)>;

    ControlServer(SingleInstance& instance, ClientControl& controller, ServerShortcuts& shortcuts,
                  SettingsCatalog& settings, QObject* parent = nullptr);

    // The answer to one request line; connect and disconnect answer once the tunnel has
    // settled, watch once and then on every change, through `answer`. `peer` keeps a
    // watch going while it lives.
    void handle(const QByteArray& line, const Answer& answer, QObject* peer = nullptr);

    static QJsonObject statusObject(const ClientControl& controller);

private:
    void onRequest(QLocalSocket* peer, const QByteArray& line);
    QJsonObject serversObject() const;
    void answerConnect(const QString& protocol, const std::optional<QString>& server,
                       const QString& refused, const Answer& answer);
    void answerDisconnect(const Answer& answer);
    void answerGet(const QJsonObject& request, const Answer& answer) const;
    void answerSet(const QJsonObject& request, const Answer& answer);
    void watch(const Answer& answer, QObject* peer);

    ClientControl& m_controller;
    ServerShortcuts& m_shortcuts;
    SettingsCatalog& m_settings;
};
