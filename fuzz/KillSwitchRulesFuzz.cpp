// The kill switch's rule builder on any server entries, and what it writes checked on
// nft's terms: the JSON parses, every string in it is one of the builder's own words, a
// hex number, an address in nft's form without a scope, or an interface name of the
// kernel's plain form; and the servers opened are exactly the addresses the entries hold.
#include "killswitch/KillSwitchRules.h"
#include "killswitch/ServerHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>
#include <cstdint>
#include <cstdlib>

namespace {

using Transport = KillSwitchRules::Transport;

const QSet<QString> kWords = {
    "inet",  "orvelvpn", "allowed", "tunnels", "@tunnels", "ifname", "output", "forward", "filter",
    "drop",  "==",       "ip",      "ip6",     "udp",      "tcp",    "th",     "daddr",   "dport",
    "sport", "length",   "oifname", "l4proto", "nfproto",  "ipv4",   "lo"};

QString addressText(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol
               ? QHostAddress(address.toIPv6Address()).toString()
               : QHostAddress(address.toIPv4Address()).toString();
}

bool isIp(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv4Protocol ||
           address.protocol() == QAbstractSocket::IPv6Protocol;
}

void fail(const char* what, const QString& value) {
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(value));
    std::abort();
}

void checkStrings(const QJsonValue& value) {
    static const QRegularExpression hex(QStringLiteral("\\A0x[0-9a-f]+\\z"));
    static const QRegularExpression interface(QStringLiteral("\\A[A-Za-z0-9_.-]{1,15}\\z"));
    if (value.isArray()) {
        for (const QJsonValue& element : value.toArray())
            checkStrings(element);
    } else if (value.isObject()) {
        for (const QJsonValue& member : value.toObject())
            checkStrings(member);
    } else if (value.isString()) {
        const QString text = value.toString();
        const QHostAddress address(text);
        const bool plainAddress =
            isIp(address) && address.scopeId().isEmpty() && addressText(address) == text;
        if (!kWords.contains(text) && !hex.match(text).hasMatch() && !plainAddress &&
            !interface.match(text).hasMatch())
            fail("a string nft would read as more than a value", text);
    }
}

// "ADDRESS PROTOCOL PORT" of each rule that opens a server.
QSet<QString> openedServers(const QJsonArray& commands) {
    QSet<QString> opened;
    for (const QJsonValue& command : commands) {
        const QJsonArray expressions =
            command[QLatin1String("add")][QLatin1String("rule")][QLatin1String("expr")].toArray();
        if (expressions.size() != 3)
            continue;
        const QJsonValue address = expressions[0][QLatin1String("match")][QLatin1String("right")];
        const QJsonValue port = expressions[1][QLatin1String("match")];
        const QString protocol =
            port[QLatin1String("left")][QLatin1String("payload")][QLatin1String("protocol")]
                .toString();
        if (address.isString() &&
            port[QLatin1String("left")][QLatin1String("payload")][QLatin1String("field")] ==
                QLatin1String("dport"))
            opened << QStringLiteral("%1 %2 %3")
                          .arg(address.toString(), protocol)
                          .arg(port[QLatin1String("right")].toInt());
    }
    return opened;
}

} // namespace

// Entries split at 0xff; an entry's first byte says what it is and how it is used.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("orvel.*=false"));
        return true;
    }();
    (void)quiet;
    const QList<QByteArray> entries =
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split('\xff');
    KillSwitchRules rules;
    QSet<QString> expected;
    for (const QByteArray& entry : entries) {
        if (entry.isEmpty())
            continue;
        const auto kind = static_cast<uint8_t>(entry[0]);
        const QString text = QString::fromLatin1(entry.mid(1));
        const Transport transport = kind & 0x10 ? Transport::Tcp : Transport::Udp;
        const quint16 port = static_cast<quint16>(kind * 257);
        QHostAddress address;
        switch (kind % 4) {
        case 0:
            if (const auto host = ServerHost::parse(text)) {
                address = host->address;
                if (!host->name.isEmpty())
                    rules.lookups << host->name;
            }
            break;
        case 1:
            // Qt's own reading keeps a scope: the builder must write the number only.
            address = QHostAddress(text);
            break;
        case 2:
            rules.tunnelInterfaces << text;
            break;
        default:
            rules.resolvers << QHostAddress(text);
            rules.tunnelResolvers << QHostAddress(text);
        }
        if (isIp(address)) {
            rules.endpoints << KillSwitchRules::Endpoint{address, transport, port};
            expected << QStringLiteral("%1 %2 %3")
                            .arg(addressText(address), transport == Transport::Tcp
                                                           ? QStringLiteral("tcp")
                                                           : QStringLiteral("udp"))
                            .arg(port);
        }
    }
    const auto flags = size > 0 ? data[size - 1] : 0;
    rules.connected = flags & 1;
    rules.allowLocalNetwork = flags & 2;
    rules.tunnelCarriesIPv6 = flags & 4;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(rules.ruleset(), &error);
    if (error.error != QJsonParseError::NoError)
        fail("not JSON", error.errorString());
    const QJsonArray commands = document[QLatin1String("nftables")].toArray();
    checkStrings(commands);
    if (openedServers(commands) != expected)
        fail("the servers opened are not those of the entries", QString());
    return 0;
}
