#include "Orvelctl.h"

#include "desktop/ControlProtocol.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTextStream>

namespace Orvelctl {
namespace {
constexpr int kConnectMs = 1000;
// The client answers connect once the attempt has settled.
constexpr int kAnswerMs = ControlProtocol::kConnectTimeoutMs + 10000;

const QStringList kCommands{
    QStringLiteral("status"),     QStringLiteral("watch"),  QStringLiteral("connect"),
    QStringLiteral("disconnect"), QStringLiteral("cancel"), QStringLiteral("reconnect"),
    QStringLiteral("servers"),    QStringLiteral("get"),    QStringLiteral("set"),
    QStringLiteral("show"),       QStringLiteral("quit")};
const QStringList kJsonCommands{QStringLiteral("status"), QStringLiteral("watch"),
                                QStringLiteral("servers"), QStringLiteral("get")};

QString protocolTitle(const QString& protocol) {
    return protocol == QLatin1String("ikev2") ? QStringLiteral("IKEv2") : QStringLiteral("OpenVPN");
}

QString statusText(const QJsonObject& status) {
    if (!status.value(QLatin1String("signed_in")).toBool())
        return QStringLiteral("not signed in\n");
    const QString state = status.value(QLatin1String("state")).toString();
    QString text = state;
    const QString server = status.value(QLatin1String("server")).toString();
    if (state != QLatin1String("disconnected") && !server.isEmpty())
        text += QStringLiteral(" to ") + server;
    text += QStringLiteral(" over ") +
            protocolTitle(status.value(QLatin1String("protocol")).toString());
    QStringList link;
    for (const char* field : {"interface", "address"}) {
        const QString value = status.value(QLatin1String(field)).toString();
        if (!value.isEmpty())
            link << value;
    }
    if (!link.isEmpty())
        text += QStringLiteral(" (") + link.join(QStringLiteral(", ")) + QLatin1Char(')');
    const QString since = status.value(QLatin1String("connected_since")).toString();
    if (!since.isEmpty())
        text += QStringLiteral(" since ") + since;
    return text + QLatin1Char('\n');
}

QString serversText(const QJsonArray& servers) {
    QString text;
    QTextStream out(&text);
    for (const auto& value : servers) {
        const QJsonObject server = value.toObject();
        out << (server.value(QLatin1String("favourite")).toBool() ? "* " : "  ")
            << server.value(QLatin1String("name")).toString().leftJustified(28) << ' '
            << server.value(QLatin1String("country")).toString().leftJustified(4) << ' '
            << protocolTitle(server.value(QLatin1String("protocol")).toString()).leftJustified(8)
            << ' ' << server.value(QLatin1String("host")).toString()
            << (server.value(QLatin1String("available")).toBool() ? "" : "  (maintenance)") << '\n';
    }
    out.flush();
    return text;
}

QString json(const QJsonValue& value) {
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

QString settingsText(const QJsonObject& settings) {
    QString text;
    for (auto entry = settings.begin(); entry != settings.end(); ++entry)
        text += entry.key() +
                (entry.value().toBool() ? QStringLiteral(" on\n") : QStringLiteral(" off\n"));
    return text;
}
} // namespace

QString usage() {
    return QStringLiteral(
        "Usage: orvelctl COMMAND [OPTIONS]\n"
        "Controls the running OrvelVPN client of this user.\n\n"
        "Commands:\n"
        "  status [--json]                  the tunnel's state, server, protocol, interface\n"
        "  watch [--json]                   one line now and one on every change, until ended\n"
        "  connect [--server NAME] [--protocol ikev2|openvpn]\n"
        "                                   connect (switching servers if connected) and wait\n"
        "                                   until connected or failed\n"
        "  disconnect                       take the tunnel down; cancels an attempt\n"
        "  cancel                           cancel the connection attempt underway\n"
        "  reconnect                        down and up again to the same server\n"
        "  servers [--json]                 the servers of both protocols (* favourite)\n"
        "  get [NAME] [--json]              the settings, or one of them\n"
        "  set NAME on|off                  change a setting\n"
        "  show                             show the client's window\n"
        "  quit                             quit the client (the tunnel goes down)\n\n"
        "Settings: start_at_login, start_hidden, notifications, kill_switch, local_network,\n"
        "reconnect_automatically, connect_at_start.\n\n"
        "Exit status: 0 success; 1 the client refused or the attempt failed; 2 wrong usage;\n"
        "3 the client is not running; 4 connected, but the failover moved to another server\n"
        "or protocol than the one named.\n");
}

QString versionText() {
    return QStringLiteral("orvelctl " ORVEL_VERSION "\n");
}

bool wantsJson(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--json"));
}

namespace {
std::optional<bool> onOff(const QString& value) {
    if (value == QLatin1String("on") || value == QLatin1String("true"))
        return true;
    if (value == QLatin1String("off") || value == QLatin1String("false"))
        return false;
    return std::nullopt;
}

// The positional words a command takes: get's name, set's name and value.
bool takePositional(const QString& command, QJsonObject& request, const QStringList& words,
                    QString* error) {
    if (command == QLatin1String("set")) {
        const std::optional<bool> value = onOff(words.value(1));
        if (words.size() != 2 || !value) {
            *error = QStringLiteral("set needs a setting and on or off");
            return false;
        }
        request.insert(QStringLiteral("name"), words.first());
        request.insert(QStringLiteral("value"), *value);
        return true;
    }
    const qsizetype allowed = command == QLatin1String("get") ? 1 : 0;
    if (words.size() > allowed) {
        *error = QStringLiteral("unexpected argument ") + words.at(allowed) +
                 QStringLiteral(" for ") + command;
        return false;
    }
    if (!words.isEmpty())
        request.insert(QStringLiteral("name"), words.first());
    return true;
}
} // namespace

std::optional<QJsonObject> parseRequest(const QStringList& arguments, QString* error) {
    const QString command = arguments.value(0);
    if (!kCommands.contains(command)) {
        *error = command.isEmpty() ? QStringLiteral("no command given")
                                   : QStringLiteral("unknown command ") + command;
        return std::nullopt;
    }
    QJsonObject request{{QStringLiteral("version"), ControlProtocol::kVersion},
                        {QStringLiteral("command"), command}};
    QStringList words;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        if (!option.startsWith(QLatin1String("--"))) {
            words << option;
            continue;
        }
        if (kJsonCommands.contains(command) && option == QLatin1String("--json"))
            continue;
        const bool valued =
            command == QLatin1String("connect") &&
            (option == QLatin1String("--server") || option == QLatin1String("--protocol"));
        if (!valued || i + 1 >= arguments.size()) {
            *error = valued ? option + QStringLiteral(" needs a value")
                            : QStringLiteral("unknown option ") + option + QStringLiteral(" for ") +
                                  command;
            return std::nullopt;
        }
        const QString& value = arguments.at(++i);
        if (option == QLatin1String("--protocol") && value != QLatin1String("ikev2") &&
            value != QLatin1String("openvpn")) {
            *error = QStringLiteral("--protocol is ikev2 or openvpn");
            return std::nullopt;
        }
        request.insert(option.mid(2), value);
    }
    if (!takePositional(command, request, words, error))
        return std::nullopt;
    return request;
}

Outcome run(const QStringList& arguments, const Send& send) {
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        return {Success, usage(), {}};
    if (arguments == QStringList{QStringLiteral("--version")})
        return {Success, versionText(), {}};
    QString error;
    const std::optional<QJsonObject> request = parseRequest(arguments, &error);
    if (!request)
        return {Usage, {}, error + QStringLiteral(" (see orvelctl --help)")};
    const std::optional<QJsonObject> reply = send(*request);
    if (!reply)
        return {NotRunning, {}, QStringLiteral("OrvelVPN is not running")};
    if (!reply->value(QLatin1String("ok")).toBool()) {
        const QString reason = reply->value(QLatin1String("error")).toString();
        return {Failed, {}, reason.isEmpty() ? QStringLiteral("the client refused") : reason};
    }
    const QString command = request->value(QLatin1String("command")).toString();
    const bool asJson = wantsJson(arguments);
    if (command == QLatin1String("status")) {
        const QJsonObject status = reply->value(QLatin1String("status")).toObject();
        return {Success, asJson ? json(status) : statusText(status), {}};
    }
    if (command == QLatin1String("servers")) {
        const QJsonArray servers = reply->value(QLatin1String("servers")).toArray();
        return {Success, asJson ? json(servers) : serversText(servers), {}};
    }
    if (command == QLatin1String("get")) {
        const QJsonObject settings = reply->value(QLatin1String("settings")).toObject();
        return {Success, asJson ? json(settings) : settingsText(settings), {}};
    }
    if (command == QLatin1String("connect") || command == QLatin1String("reconnect")) {
        const QString text = statusText(reply->value(QLatin1String("status")).toObject());
        if (reply->value(QLatin1String("as_asked")).toBool(true))
            return {Success, text, {}};
        return {OtherThanAsked, text,
                QStringLiteral("connected, but not to the server or protocol asked for")};
    }
    return {Success, {}, {}};
}

Outcome watch(const QStringList& arguments, const Stream& stream,
              const std::function<void(const QString&)>& print) {
    QString error;
    const std::optional<QJsonObject> request = parseRequest(arguments, &error);
    if (!request)
        return {Usage, {}, error + QStringLiteral(" (see orvelctl --help)")};
    const bool asJson = wantsJson(arguments);
    const bool answered = stream(*request, [&](const QJsonObject& line) {
        const QJsonObject status = line.value(QLatin1String("status")).toObject();
        print(asJson ? QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact)) +
                           QLatin1Char('\n')
                     : statusText(status));
    });
    if (!answered)
        return {NotRunning, {}, QStringLiteral("OrvelVPN is not running")};
    return {NotRunning, {}, QStringLiteral("OrvelVPN has quit")};
}

std::optional<QJsonObject> sendOverSocket(const QString& socketPath, const QJsonObject& request) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socketPath.isEmpty() || !socket.waitForConnected(kConnectMs))
        return std::nullopt;
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    socket.flush();
    QDeadlineTimer deadline(kAnswerMs);
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    if (!socket.canReadLine())
        return QJsonObject{{QStringLiteral("ok"), false},
                           {QStringLiteral("error"), QStringLiteral("no answer from the client")}};
    const QJsonDocument answer = QJsonDocument::fromJson(socket.readLine());
    if (!answer.isObject())
        return QJsonObject{
            {QStringLiteral("ok"), false},
            {QStringLiteral("error"), QStringLiteral("the client's answer is not JSON")}};
    return answer.object();
}

bool streamOverSocket(const QString& socketPath, const QJsonObject& request, const Line& line) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socketPath.isEmpty() || !socket.waitForConnected(kConnectMs))
        return false;
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    socket.flush();
    for (;;) {
        while (socket.canReadLine()) {
            const QJsonDocument answer = QJsonDocument::fromJson(socket.readLine());
            if (answer.isObject())
                line(answer.object());
        }
        if (socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(-1))
            return true;
    }
}
} // namespace Orvelctl
