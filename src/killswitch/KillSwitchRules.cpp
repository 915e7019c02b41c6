#include "killswitch/KillSwitchRules.h"

#include <QRegularExpression>

namespace {

const QString kHeader = QStringLiteral("add table inet orvelvpn\n"
                                       "delete table inet orvelvpn\n");

// Private, link-local, multicast and broadcast destinations.
const QString kLocalIPv4 = QStringLiteral("10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, "
                                          "169.254.0.0/16, 224.0.0.0/4, 255.255.255.255");
const QString kLocalIPv6 = QStringLiteral("fe80::/10, fc00::/7, ff00::/8");

// In a UDP datagram to port 53 the question's name starts after the 8-byte UDP header
// and the 12-byte DNS header. nft compares at most 16 bytes per payload match.
constexpr int kQuestionOffsetBits = (8 + 12) * 8;
constexpr int kMatchBytes = 16;

QString family(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("ip6")
                                                               : QStringLiteral("ip");
}

QString transportName(KillSwitchRules::Transport transport) {
    return transport == KillSwitchRules::Transport::Tcp ? QStringLiteral("tcp")
                                                        : QStringLiteral("udp");
}

QString addressList(const QList<QHostAddress>& addresses) {
    QStringList texts;
    for (const QHostAddress& address : addresses)
        texts << address.toString();
    return texts.join(QStringLiteral(", "));
}

QString baseChain(const char* hook) {
    return QStringLiteral("\tchain %1 {\n"
                          "\t\ttype filter hook %1 priority filter; policy drop;\n"
                          "\t\tjump allowed\n"
                          "\t}\n")
        .arg(QLatin1String(hook));
}

} // namespace

QByteArray KillSwitchRules::questionName(const QString& name) {
    static const QRegularExpression hostName(
        QStringLiteral("^(?!-)[a-z0-9-]{1,63}(?<!-)(\\.(?!-)[a-z0-9-]{1,63}(?<!-))*\\.?$"));
    const QString lower = name.toLower();
    if (lower.size() > 253 || !hostName.match(lower).hasMatch())
        return {};
    QByteArray wire;
    for (const QString& label : lower.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        wire.append(static_cast<char>(label.size()));
        wire.append(label.toLatin1());
    }
    wire.append('\0');
    return wire;
}

QString KillSwitchRules::removal() {
    return kHeader;
}

QString KillSwitchRules::ruleset() const {
    QString text = kHeader + QStringLiteral("table inet orvelvpn {\n");
    text += QStringLiteral("\tset tunnels {\n\t\ttype ifname\n");
    if (!tunnelInterfaces.isEmpty())
        text += QStringLiteral("\t\telements = { \"%1\" }\n")
                    .arg(tunnelInterfaces.join(QStringLiteral("\", \"")));
    text += QStringLiteral("\t}\n\tchain allowed {\n");
    for (const QString& rule : allowedRules())
        text += QStringLiteral("\t\t") + rule + QLatin1Char('\n');
    text += QStringLiteral("\t}\n") + baseChain("output") + baseChain("forward") +
            QStringLiteral("}\n");
    return text;
}

QStringList KillSwitchRules::allowedRules() const {
    QStringList rules{QStringLiteral("oifname \"lo\" accept")};
    addTunnelRules(rules);
    addEndpointRules(rules);
    rules << QStringLiteral("udp sport 68 udp dport 67 accept")
          << QStringLiteral("ip6 daddr ff02::1:2 udp sport 546 udp dport 547 accept");
    if (allowLocalNetwork)
        addLocalNetworkRules(rules);
    // Once connected every lookup goes through the tunnel, the service's names included.
    if (!connected)
        addLookupRules(rules);
    return rules;
}

void KillSwitchRules::addTunnelRules(QStringList& rules) const {
    if (connected) {
        const QString dns =
            QStringLiteral("oifname @tunnels meta l4proto { tcp, udp } th dport 53");
        QList<QHostAddress> v4;
        QList<QHostAddress> v6;
        for (const QHostAddress& resolver : tunnelResolvers)
            (resolver.protocol() == QAbstractSocket::IPv6Protocol ? v6 : v4).append(resolver);
        if (!v4.isEmpty())
            rules << dns + QStringLiteral(" ip daddr { %1 } accept").arg(addressList(v4));
        if (!v6.isEmpty() && tunnelCarriesIPv6)
            rules << dns + QStringLiteral(" ip6 daddr { %1 } accept").arg(addressList(v6));
        rules << dns + QStringLiteral(" drop");
    }
    rules << (tunnelCarriesIPv6 ? QStringLiteral("oifname @tunnels accept")
                                : QStringLiteral("oifname @tunnels meta nfproto ipv4 accept"));
}

void KillSwitchRules::addEndpointRules(QStringList& rules) const {
    QList<Endpoint> seen;
    for (const Endpoint& endpoint : endpoints) {
        if (endpoint.address.isNull() || seen.contains(endpoint))
            continue;
        seen << endpoint;
        rules << QStringLiteral("%1 daddr %2 %3 dport %4 accept")
                     .arg(family(endpoint.address), endpoint.address.toString(),
                          transportName(endpoint.transport))
                     .arg(endpoint.port);
    }
}

void KillSwitchRules::addLocalNetworkRules(QStringList& rules) const {
    rules << QStringLiteral("ip daddr { %1 } accept").arg(kLocalIPv4)
          << QStringLiteral("ip6 daddr { %1 } accept").arg(kLocalIPv6);
}

void KillSwitchRules::addLookupRules(QStringList& rules) const {
    QStringList seen;
    for (const QString& name : lookups) {
        const QByteArray wire = questionName(name);
        if (wire.isEmpty() || seen.contains(name.toLower()))
            continue;
        seen << name.toLower();
        QString rule = QStringLiteral("udp dport 53");
        for (qsizetype at = 0; at < wire.size(); at += kMatchBytes) {
            const QByteArray piece = wire.mid(at, kMatchBytes);
            rule += QStringLiteral(" @th,%1,%2 0x%3")
                        .arg(kQuestionOffsetBits + at * 8)
                        .arg(piece.size() * 8)
                        .arg(QString::fromLatin1(piece.toHex()));
        }
        rules << rule + QStringLiteral(" accept comment \"%1\"").arg(name.toLower());
    }
}
