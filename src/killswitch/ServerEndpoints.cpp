#include "killswitch/ServerEndpoints.h"

#include "core/ServerData.h"
#include "tunnel/OpenVPNProfileReader.h"
#include "tunnel/OpenVPNSession.h"

#include <QUrl>

namespace {

using Transport = KillSwitchRules::Transport;

constexpr quint16 kOpenVPNPort = 1194;
constexpr quint16 kIkePort = 500;
constexpr quint16 kIkeNatPort = 4500;
constexpr quint16 kHttpsPort = 443;

std::optional<quint16> portNumber(const QByteArray& word) {
    bool ok = false;
    const uint number = word.toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        return std::nullopt;
    return static_cast<quint16>(number);
}

// "udp", "udp4", "tcp-client", ...: what travels on the wire.
Transport transportOf(const QByteArray& proto) {
    return proto.startsWith("tcp") ? Transport::Tcp : Transport::Udp;
}

struct Defaults {
    quint16 port = kOpenVPNPort;
    Transport transport = Transport::Udp;
};

struct Remote {
    QByteArray host;
    std::optional<quint16> port;
    std::optional<Transport> transport;
};

// One level of a configuration: the top, or a <connection> block inheriting the top's
// port and protocol. OpenVPN applies "port" and "proto" whatever their place.
QList<HostEndpoint> remotesIn(const QByteArray& text, Defaults defaults) {
    OpenVPNProfileReader reader(text);
    QList<Remote> remotes;
    QList<QByteArray> blocks;
    while (!reader.atEnd()) {
        const auto words = OpenVPNProfileReader::words(reader.nextLine().text);
        if (!words || words->isEmpty())
            continue;
        if (const auto block = OpenVPNProfileReader::inlineBlockName(*words)) {
            const auto body = reader.inlineBody(*block);
            if (body && *block == "connection")
                blocks << *body;
            continue;
        }
        const QByteArray name = OpenVPNProfileReader::withoutDoubleDash(words->first());
        if (name == "remote" && words->size() >= 2) {
            Remote remote{words->at(1), std::nullopt, std::nullopt};
            if (words->size() >= 3)
                remote.port = portNumber(words->at(2));
            if (words->size() >= 4)
                remote.transport = transportOf(words->at(3));
            remotes << remote;
        } else if ((name == "port" || name == "rport") && words->size() >= 2) {
            defaults.port = portNumber(words->at(1)).value_or(defaults.port);
        } else if (name == "proto" && words->size() >= 2) {
            defaults.transport = transportOf(words->at(1));
        }
    }
    QList<HostEndpoint> endpoints;
    for (const Remote& remote : remotes) {
        if (const auto host = ServerHost::parse(QString::fromUtf8(remote.host)))
            endpoints << HostEndpoint{*host, remote.transport.value_or(defaults.transport),
                                      remote.port.value_or(defaults.port)};
    }
    for (const QByteArray& block : blocks)
        endpoints << remotesIn(block, defaults);
    return endpoints;
}

// The profile OpenVPN is given names the auth file; its remotes do not depend on where.
const QString kAnyAuthPath = QStringLiteral("auth.txt");

} // namespace

QList<HostEndpoint> ServerEndpoints::openVPNRemotes(const QByteArray& profile) {
    return remotesIn(profile, Defaults{});
}

QList<HostEndpoint> ServerEndpoints::ofServer(const ServerData& server, const QString& protocol) {
    QList<HostEndpoint> endpoints;
    if (protocol.contains(QLatin1String("IKEV2")) && !server.hostdomain.isEmpty()) {
        if (const auto host = ServerHost::parse(server.hostdomain))
            endpoints << HostEndpoint{*host, Transport::Udp, kIkePort}
                      << HostEndpoint{*host, Transport::Udp, kIkeNatPort};
    }
    if (protocol.contains(QLatin1String("OPENVPN")))
        endpoints << openVPNRemotes(clientProfile(server.config, kAnyAuthPath));
    return endpoints;
}

QList<HostEndpoint> ServerEndpoints::apiHosts(const QStringList& baseUrls) {
    QList<HostEndpoint> endpoints;
    for (const QString& base : baseUrls) {
        const QUrl url(base);
        if (url.host().isEmpty())
            continue;
        if (const auto host = ServerHost::parse(url.host()))
            endpoints << HostEndpoint{*host, Transport::Tcp,
                                      static_cast<quint16>(url.port(kHttpsPort))};
    }
    return endpoints;
}
