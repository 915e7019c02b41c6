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

const QStringList kCommands{QStringLiteral("status"),     QStringLiteral("connect"),
                            QStringLiteral("disconnect"), QStringLiteral("servers"),
                            QStringLiteral("show"),       QStringLiteral("quit")};

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
    const QString interfaceName = status.value(QLatin1String("interface")).toString();
    if (!interfaceName.isEmpty())
        text += QStringLiteral(" (") + interfaceName + QLatin1Char(')');
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
} // namespace

QString usage() {
    return QStringLiteral(
        "Usage: orvelctl COMMAND [OPTIONS]\n"
        "Controls the running OrvelVPN client of this user.\n\n"
        "Commands:\n"
        "  status [--json]                  the tunnel's state, server, protocol, interface\n"
        "  connect [--server NAME] [--protocol ikev2|openvpn]\n"
        "                                   connect and wait until connected or failed\n"
        "  disconnect                       take the tunnel down\n"
        "  servers [--json]                 the servers of both protocols (* favourite)\n"
        "  show                             show the client's window\n"
        "  quit                             quit the client (the tunnel goes down)\n\n"
        "Exit status: 0 success, 1 the client refused or the attempt failed,\n"
        "2 wrong usage, 3 the client is not running.\n");
}

bool wantsJson(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--json"));
}

std::optional<QJsonObject> parseRequest(const QStringList& arguments, QString* error) {
    const QString command = arguments.value(0);
    if (!kCommands.contains(command)) {
        *error = command.isEmpty() ? QStringLiteral("no command given")
                                   : QStringLiteral("unknown command ") + command;
        return std::nullopt;
    }
    QJsonObject request{{QStringLiteral("version"), ControlProtocol::kVersion},
                        {QStringLiteral("command"), command}};
    const bool takesJson =
        command == QLatin1String("status") || command == QLatin1String("servers");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        if (takesJson && option == QLatin1String("--json"))
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
    return request;
}

Outcome run(const QStringList& arguments, const Send& send) {
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        return {Success, usage(), {}};
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
    if (command == QLatin1String("connect"))
        return {Success, statusText(reply->value(QLatin1String("status")).toObject()), {}};
    return {Success, {}, {}};
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
} // namespace Orvelctl
