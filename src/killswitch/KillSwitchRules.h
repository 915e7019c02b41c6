#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

class QJsonArray;

// The kill switch's nftables ruleset: one table of ours, `inet orvelvpn`, through which
// only the tunnel and what it needs may leave the machine; everything else is dropped.
// Other tables are never named, so they stay as they are. The ruleset is nft's JSON, built
// from typed values only: addresses are written from their numbers, names and interfaces
// pass a whole-string check, so nothing taken from the service can become syntax.
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
    // Host names the client and the tunnel programs may look up while an attempt runs:
    // the service's own, asked of this machine's resolvers only, in queries of the one
    // shape and length such a question has.
    QStringList lookups;
    QList<QHostAddress> resolvers;
    bool allowLocalNetwork = false;
    bool tunnelCarriesIPv6 = false;
    // Once connected, lookups through the tunnel go to these resolvers only.
    bool connected = false;
    QList<QHostAddress> tunnelResolvers;

    // Replaces our table, whatever was there, in one transaction.
    QByteArray ruleset() const;
    // Removes our table, there or not.
    static QByteArray removal();

    // `name` as it stands in the question of a DNS query, lower case; empty when it is
    // not a host name.
    static QByteArray questionName(const QString& name);
    // A name a tunnel interface may have: what nft and the kernel take as it is.
    static bool isInterfaceName(const QString& name);

private:
    QJsonArray allowedRules() const;
    void addTunnelRules(QJsonArray& rules) const;
    void addEndpointRules(QJsonArray& rules) const;
    void addLocalNetworkRules(QJsonArray& rules) const;
    void addLookupRules(QJsonArray& rules) const;
};
