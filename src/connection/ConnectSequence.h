#pragma once

#include <QString>
#include <memory>

class ApiReply;
class ConnectionStates;
class Failover;
class ServerData;
class TunnelControl;

// The connect button: asks the service for permission and the VPN account, brings the
// tunnel up with the ticked protocol and starts the supervision; tears it down when up.
class ConnectSequence final : public std::enable_shared_from_this<ConnectSequence> {
public:
    ConnectSequence(std::shared_ptr<ConnectionStates> states, std::shared_ptr<Failover> failover,
                    TunnelControl& tunnel);

    void ClickConnect();
    void checkServer();
    // The check again for the server and protocol of the tunnel that dropped: automatic
    // matching when that one was matched automatically, whatever the screen shows.
    void reconnect();
    // The service's answer to the check: permission, a refusal or sign-out.
    void handleCheckReply(const ApiReply& reply);
    bool isCheckOutstanding() const;

    // The server record the service's smart match describes; nothing when a field is
    // missing.
    static std::shared_ptr<ServerData> smartMatchServer(const ApiReply& reply);

private:
    QString serverNameField();
    void connectWithPermission(const ApiReply& reply, bool automatic);

    std::shared_ptr<ConnectionStates> m_states;
    std::shared_ptr<Failover> m_failover;
    TunnelControl& m_tunnel;
    // A second press while the service has not answered would start a second attempt;
    // a check of a cancelled generation no longer counts.
    bool m_checkOutstanding = false;
    quint64 m_checkGeneration = 0;
    // The label's text at the press, for resends after the screen has gone.
    QString m_shownName;
    // A reconnect names its server itself; the label then shows the connecting look.
    bool m_nameFixed = false;
};
