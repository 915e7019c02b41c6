#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// The kill switch's nftables ruleset: one table of ours, `inet orvelvpn`, through which
// only the tunnel and what it needs may leave the machine; everything else is dropped.
// Other tables are never named, so they stay as they are.
class KillSwitchRules final {
public:
    enum class Transport { Udp, Tcp };
    struct Endpoint {
        QHostAddress address;
        Transport transport = Transport::Udp;
        quint16 port = 0;

        bool operator==(const Endpoint& other) const {
            return address == other.address && transport == other.transport && port == other.port;
        }
    };

    // Interfaces whose traffic is the tunnel's.
    QStringList tunnelInterfaces;
    // The VPN servers being tried and the service's API hosts.
    QList<Endpoint> endpoints;
    // Host names whose lookups may leave for any resolver: the service's own, so that
    // the client and the tunnel programs still find them with everything else blocked;
    // while an attempt runs only.
    QStringList lookups;
    bool allowLocalNetwork = false;
    bool tunnelCarriesIPv6 = false;
    // Once connected, lookups through the tunnel go to these resolvers only.
    bool connected = false;
    QList<QHostAddress> tunnelResolvers;

    // Replaces our table, whatever was there, in one transaction.
    QString ruleset() const;
    // Removes our table, there or not.
    static QString removal();

    // `name` as it stands in the question of a DNS query, lower case; empty when it is
    // not a host name.
    static QByteArray questionName(const QString& name);

private:
    QStringList allowedRules() const;
    void addTunnelRules(QStringList& rules) const;
    void addEndpointRules(QStringList& rules) const;
    void addLocalNetworkRules(QStringList& rules) const;
    void addLookupRules(QStringList& rules) const;
};
