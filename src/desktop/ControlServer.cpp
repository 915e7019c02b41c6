#include "desktop/ControlServer.h"

#include "connection/ConnectionEvents.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "desktop/ClientControl.h"
#include "desktop/ControlProtocol.h"
#include "desktop/ServerShortcuts.h"
#include "platform/SingleInstance.h"
#include "servers/ServerList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcControl, "orvel.control")

namespace {
using Answer = std::function<void(const QJsonObject&)>;

QJsonObject success(QJsonObject fields = {}) {
    fields.insert(QStringLiteral("version"), ControlProtocol::kVersion);
    fields.insert(QStringLiteral("ok"), true);
    return fields;
}

QJsonObject failure(const QString& reason) {
    return {{QStringLiteral("version"), ControlProtocol::kVersion},
            {QStringLiteral("ok"), false},
            {QStringLiteral("error"), reason}};
}

// One JSON line back to the peer, unless it has gone meanwhile.
Answer answerOn(QLocalSocket* peer) {
    return [guard = QPointer<QLocalSocket>(peer)](const QJsonObject& reply) {
        if (!guard)
            return;
        guard->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
        guard->flush();
    };
}

// Waits for the first of several outcomes of an attempt, then answers once and goes.
class Outcome final : public QObject {
public:
    Outcome(Answer answer, int timeoutMs, const QString& timeoutReason)
        : m_answer(std::move(answer)) {
        QTimer::singleShot(timeoutMs, this,
                           [this, timeoutReason] { finish(failure(timeoutReason)); });
    }
    void finish(const QJsonObject& reply) {
        if (m_done)
            return;
        m_done = true;
        m_answer(reply);
        deleteLater();
    }

private:
    Answer m_answer;
    bool m_done = false;
};
} // namespace

ControlServer::ControlServer(SingleInstance& instance, ClientControl& controller,
                             ServerShortcuts& shortcuts, QObject* parent)
    : QObject(parent), m_controller(controller), m_shortcuts(shortcuts) {
    connect(&instance, &SingleInstance::commandReceived, this, &ControlServer::onRequest);
    connect(&instance, &SingleInstance::lineTooLong, this, [](QLocalSocket* peer) {
        answerOn(peer)(failure(QStringLiteral("request too long")));
    });
}

void ControlServer::onRequest(QLocalSocket* peer, const QByteArray& line) {
    handle(line, answerOn(peer));
}

void ControlServer::handle(const QByteArray& line, const Answer& answer) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        answer(failure(QStringLiteral("not a JSON request")));
        return;
    }
    const QJsonObject request = document.object();
    if (request.value(QLatin1String("version")).toInt() != ControlProtocol::kVersion) {
        answer(failure(QStringLiteral("unsupported protocol version")));
        return;
    }
    const QString command = request.value(QLatin1String("command")).toString();
    qCDebug(lcControl) << "command" << command;
    if (command == QLatin1String("status")) {
        answer(success({{QStringLiteral("status"), statusObject(m_controller)}}));
    } else if (command == QLatin1String("servers")) {
        answer(success(serversObject()));
    } else if (command == QLatin1String("show")) {
        m_controller.showWindow();
        answer(success());
    } else if (command == QLatin1String("quit")) {
        // Answered first: the quit may end the process before another event is handled.
        answer(success());
        QTimer::singleShot(0, &m_controller, [controller = &m_controller] { controller->quit(); });
    } else if (command == QLatin1String("connect")) {
        answerConnect(request, answer);
    } else if (command == QLatin1String("disconnect")) {
        answerDisconnect(answer);
    } else {
        answer(failure(QStringLiteral("unknown command ") + command));
    }
}

QJsonObject ControlServer::statusObject(const ClientControl& controller) {
    const ClientControl::Status status = controller.status();
    const bool connected = status.state == QLatin1String("connected");
    return {
        {QStringLiteral("state"), status.state},
        {QStringLiteral("signed_in"), status.signedIn},
        {QStringLiteral("server"), status.server},
        {QStringLiteral("protocol"), status.protocol},
        {QStringLiteral("interface"), connected ? QJsonValue(status.interfaceName) : QJsonValue()},
        {QStringLiteral("connected_since"),
         connected && status.connectedSince.isValid()
             ? QJsonValue(status.connectedSince.toString(Qt::ISODate))
             : QJsonValue()}};
}

QJsonObject ControlServer::serversObject() const {
    QJsonArray servers;
    for (const QString& protocol : {QStringLiteral("IKEV2"), QStringLiteral("OPENVPN")}) {
        const ServerList& list = serverListForProtocol(protocol);
        // Entry 0 is the automatic one, not a server.
        for (qsizetype i = 1; i < list.size(); ++i) {
            const ServerData& server = *list.at(i);
            servers.append(
                QJsonObject{{QStringLiteral("name"), server.name},
                            {QStringLiteral("country"), server.country},
                            {QStringLiteral("host"), server.hostdomain},
                            {QStringLiteral("protocol"), protocol.toLower()},
                            {QStringLiteral("available"), server.is_status},
                            {QStringLiteral("favourite"),
                             m_shortcuts.isFavourite({protocol, server.hostdomain, server.name})}});
        }
    }
    return {{QStringLiteral("servers"), servers}};
}

void ControlServer::answerConnect(const QJsonObject& request, const Answer& answer) {
    const QJsonValue server = request.value(QLatin1String("server"));
    const std::optional<QString> choice =
        server.isString() ? std::optional<QString>(server.toString()) : std::nullopt;
    const QString protocol = request.value(QLatin1String("protocol")).toString().toLower();
    const bool wasConnected = appState().isConnected;
    if (const QString refused = m_controller.connect(protocol, choice); !refused.isEmpty()) {
        answer(failure(refused));
        return;
    }
    if (wasConnected) {
        answer(success({{QStringLiteral("status"), statusObject(m_controller)}}));
        return;
    }
    auto* outcome = new Outcome(answer, ControlProtocol::kConnectTimeoutMs,
                                QStringLiteral("attempt failed: no connection in time"));
    ConnectionEvents& events = ConnectionEvents::shared();
    ClientControl* controller = &m_controller;
    // Queued: the controller first records the connection (time, recent servers).
    connect(
        &events, &ConnectionEvents::connected, outcome,
        [outcome, controller] {
            outcome->finish(success({{QStringLiteral("status"), statusObject(*controller)}}));
        },
        Qt::QueuedConnection);
    connect(&events, &ConnectionEvents::connectRefused, outcome, [outcome](const QString& text) {
        outcome->finish(failure(text.isEmpty() ? QStringLiteral("not signed in")
                                               : QStringLiteral("attempt failed: ") + text));
    });
    connect(&events, &ConnectionEvents::allServersFailed, outcome, [outcome] {
        outcome->finish(failure(QStringLiteral("attempt failed: no server could be reached")));
    });
}

void ControlServer::answerDisconnect(const Answer& answer) {
    const bool wasConnected = appState().isConnected;
    if (const QString refused = m_controller.disconnect(); !refused.isEmpty()) {
        answer(failure(refused));
        return;
    }
    if (!wasConnected || !appState().isConnected) {
        answer(success());
        return;
    }
    auto* outcome = new Outcome(answer, ControlProtocol::kDisconnectTimeoutMs,
                                QStringLiteral("the tunnel did not go down in time"));
    connect(&ConnectionEvents::shared(), &ConnectionEvents::disconnected, outcome,
            [outcome] { outcome->finish(success()); });
}
