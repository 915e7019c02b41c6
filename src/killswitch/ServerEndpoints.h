#pragma once

#include "killswitch/KillSwitchRules.h"
#include "killswitch/ServerHost.h"

#include <QList>
#include <QString>
#include <QStringList>

class ServerData;

// Where the tunnel and the client reach out to: a host, its transport and port.
struct HostEndpoint {
    ServerHost host;
    KillSwitchRules::Transport transport = KillSwitchRules::Transport::Udp;
    quint16 port = 0;
};

namespace ServerEndpoints {

// For each protocol `protocol` names: IKEv2 is UDP 500 and 4500 of hostdomain, OpenVPN
// the remotes of the profile OpenVPN is given.
QList<HostEndpoint> ofServer(const ServerData& server, const QString& protocol);
// The remotes an OpenVPN profile names, with the port and protocol OpenVPN would use
// for each (also inside <connection> blocks).
QList<HostEndpoint> openVPNRemotes(const QByteArray& profile);
// The HTTPS hosts of the service's base addresses.
QList<HostEndpoint> apiHosts(const QStringList& baseUrls);

} // namespace ServerEndpoints
