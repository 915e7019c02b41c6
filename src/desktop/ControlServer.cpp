#include "desktop/ControlServer.h"

#include "connection/ConnectionEvents.h"
#include "core/ServerData.h"
#include "desktop/ClientControl.h"
#include "desktop/ControlProtocol.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "platform/SingleInstance.h"
#include "servers/ServerList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <memory>

// Debug only, and off unless asked for: a status bar polls every second.
Q_LOGGING_CATEGORY(lcControl, "orvel.control", QtInfoMsg)

namespace {
using Answer = ControlServer::Answer;

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

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue countOrNull(std::optional<quint64> count) {
    return count ? QJsonValue(static_cast<double>(*count)) : QJsonValue();
}

// Waits for the first of several outcomes of an attempt, then answers once and goes; it
// goes with the server too.
class Outcome final : public QObject {
public:
    Outcome(Answer answer, int timeoutMs, const QString& timeoutReason, QObject* server)
        : QObject(server), m_answer(std::move(answer)) {
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
                             ServerShortcuts& shortcuts, SettingsCatalog& settings, QObject* parent)
    : QObject(parent), m_controller(controller), m_shortcuts(shortcuts), m_settings(settings) {
    connect(&instance, &SingleInstance::commandReceived, this, &ControlServer::onRequest);
    connect(&instance, &SingleInstance::lineTooLong, this, [](QLocalSocket* peer) {
        answerOn(peer)(failure(QStringLiteral("request too long")));
    });
}

void ControlServer::onRequest(QLocalSocket* peer, const QByteArray& line) {
    handle(line, answerOn(peer), peer);
}

void ControlServer::handle(const QByteArray& line, const Answer& answer, QObject* peer) {
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
    const QJsonValue server = request.value(QLatin1String("server"));
    const std::optional<QString> choice =
        server.isString() ? std::optional<QString>(server.toString()) : std::nullopt;
    const QString protocol = request.value(QLatin1String("protocol")).toString().toLower();
    if (command == QLatin1String("status")) {
        answer(success({{QStringLiteral("status"), statusObject(m_controller)}}));
    } else if (command == QLatin1String("watch")) {
        watch(answer, peer);
    } else if (command == QLatin1String("servers")) {
        answer(m_controller.isSignedIn() ? success(serversObject())
                                         : failure(QStringLiteral("not signed in")));
    } else if (command == QLatin1String("show")) {
        m_controller.showWindow();
        answer(success());
    } else if (command == QLatin1String("quit")) {
        // Answered first: the quit may end the process before another event is handled.
        answer(success());
        QTimer::singleShot(0, &m_controller, [controller = &m_controller] { controller->quit(); });
    } else if (command == QLatin1String("connect")) {
        answerConnect(protocol, choice, m_controller.connect(protocol, choice), answer);
    } else if (command == QLatin1String("reconnect")) {
        const ClientControl::Status before = m_controller.status();
        const bool connected = before.state == QLatin1String("connected");
        answerConnect(connected ? before.protocol : QString(),
                      connected ? std::optional<QString>(before.host) : std::nullopt,
                      m_controller.reconnect(), answer);
    } else if (command == QLatin1String("disconnect")) {
        answerDisconnect(answer);
    } else if (command == QLatin1String("cancel")) {
        const QString refused = m_controller.cancel();
        answer(refused.isEmpty() ? success() : failure(refused));
    } else if (command == QLatin1String("get")) {
        answerGet(request, answer);
    } else if (command == QLatin1String("set")) {
        answerSet(request, answer);
    } else {
        answer(failure(QStringLiteral("unknown command ") + command));
    }
}

// Every field is always there, of one type: null stands for what is not known or not there.
QJsonObject ControlServer::statusObject(const ClientControl& controller) {
    const ClientControl::Status status = controller.status();
    const bool connected = status.state == QLatin1String("connected");
    return {
        {QStringLiteral("state"), status.state},
        {QStringLiteral("signed_in"), status.signedIn},
        {QStringLiteral("server"), textOrNull(status.server)},
        {QStringLiteral("host"), textOrNull(status.host)},
        {QStringLiteral("protocol"), status.protocol},
        {QStringLiteral("interface"), connected ? textOrNull(status.interfaceName) : QJsonValue()},
        {QStringLiteral("address"), connected ? textOrNull(status.address) : QJsonValue()},
        {QStringLiteral("bytes_in"), connected ? countOrNull(status.bytesIn) : QJsonValue()},
        {QStringLiteral("bytes_out"), connected ? countOrNull(status.bytesOut) : QJsonValue()},
        {QStringLiteral("connected_since"),
         connected && status.connectedSince.isValid()
             ? QJsonValue(status.connectedSince.toUTC().toString(Qt::ISODate))
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

// Answered once connected, with whether it is to what was asked (a failover may have moved
// to another server or protocol), or once the attempt failed.
void ControlServer::answerConnect(const QString& protocol, const std::optional<QString>& server,
                                  const QString& refused, const Answer& answer) {
    if (!refused.isEmpty()) {
        answer(failure(refused));
        return;
    }
    ClientControl* controller = &m_controller;
    auto connectedReply = [controller, protocol, server] {
        return success(
            {{QStringLiteral("status"), statusObject(*controller)},
             {QStringLiteral("as_asked"), statusMatches(controller->status(), protocol, server)}});
    };
    if (statusMatches(m_controller.status(), protocol, server)) {
        answer(connectedReply());
        return;
    }
    auto* outcome = new Outcome(answer, ControlProtocol::kConnectTimeoutMs,
                                QStringLiteral("attempt failed: no connection in time"), this);
    ConnectionEvents& events = ConnectionEvents::shared();
    // Queued: the controller first records the connection (time, recent servers).
    connect(
        &events, &ConnectionEvents::connected, outcome,
        [outcome, connectedReply] { outcome->finish(connectedReply()); }, Qt::QueuedConnection);
    connect(&events, &ConnectionEvents::connectRefused, outcome, [outcome](const QString& text) {
        outcome->finish(failure(text.isEmpty() ? QStringLiteral("not signed in")
                                               : QStringLiteral("attempt failed: ") + text));
    });
    connect(&events, &ConnectionEvents::allServersFailed, outcome, [outcome] {
        outcome->finish(failure(QStringLiteral("attempt failed: no server could be reached")));
    });
    connect(&events, &ConnectionEvents::attemptCancelled, outcome,
            [outcome] { outcome->finish(failure(QStringLiteral("attempt cancelled"))); });
}

void ControlServer::answerDisconnect(const Answer& answer) {
    const bool wasConnected = m_controller.status().state == QLatin1String("connected");
    if (const QString refused = m_controller.disconnect(); !refused.isEmpty()) {
        answer(failure(refused));
        return;
    }
    if (!wasConnected || m_controller.status().state != QLatin1String("connected")) {
        answer(success());
        return;
    }
    auto* outcome = new Outcome(answer, ControlProtocol::kDisconnectTimeoutMs,
                                QStringLiteral("the tunnel did not go down in time"), this);
    connect(&ConnectionEvents::shared(), &ConnectionEvents::disconnected, outcome,
            [outcome] { outcome->finish(success()); });
}

void ControlServer::answerGet(const QJsonObject& request, const Answer& answer) const {
    const QString name = request.value(QLatin1String("name")).toString();
    QJsonObject values;
    for (const QString& each : m_settings.names()) {
        if (name.isEmpty() || each == name)
            values.insert(each, m_settings.value(each).value_or(false));
    }
    if (values.isEmpty())
        answer(failure(QStringLiteral("unknown setting ") + name));
    else
        answer(success({{QStringLiteral("settings"), values}}));
}

void ControlServer::answerSet(const QJsonObject& request, const Answer& answer) {
    const QJsonValue value = request.value(QLatin1String("value"));
    if (!value.isBool()) {
        answer(failure(QStringLiteral("a setting is set on or off")));
        return;
    }
    const QString refused =
        m_settings.set(request.value(QLatin1String("name")).toString(), value.toBool());
    answer(refused.isEmpty() ? success() : failure(refused));
}

// One line now and one per change of state, server or protocol (not of the byte counts),
// for as long as the caller listens.
void ControlServer::watch(const Answer& answer, QObject* peer) {
    auto* watcher = new QObject(peer ? peer : this);
    auto last = std::make_shared<QJsonObject>();
    auto report = [controller = &m_controller, answer, last] {
        QJsonObject status = statusObject(*controller);
        QJsonObject shape = status;
        shape.remove(QStringLiteral("bytes_in"));
        shape.remove(QStringLiteral("bytes_out"));
        if (shape == *last)
            return;
        *last = shape;
        answer(success({{QStringLiteral("status"), status}}));
    };
    connect(&m_controller, &ClientControl::statusChanged, watcher, report);
    report();
}
