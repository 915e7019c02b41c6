#include "killswitch/KillSwitchRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString kFamily = QStringLiteral("inet");
const QString kTable = QStringLiteral("orvelvpn");
const QString kAllowed = QStringLiteral("allowed");
const QString kTunnels = QStringLiteral("@tunnels");

// Private, link-local, multicast and broadcast destinations.
struct Prefix {
    const char* address;
    int length;
};
constexpr Prefix kLocalIPv4[] = {{"10.0.0.0", 8},     {"172.16.0.0", 12}, {"192.168.0.0", 16},
                                 {"169.254.0.0", 16}, {"224.0.0.0", 4},   {"255.255.255.255", 32}};
constexpr Prefix kLocalIPv6[] = {{"fe80::", 10}, {"fc00::", 7}, {"ff00::", 8}};

// A DNS query over UDP: the 8-byte UDP header, then the 12-byte DNS header whose counts
// start 4 bytes in, then the question's name, type and class.
constexpr int kUdpHeader = 8;
constexpr int kDnsHeader = 12;
constexpr int kCountsOffsetBits = (kUdpHeader + 4) * 8;
constexpr int kQuestionOffsetBits = (kUdpHeader + kDnsHeader) * 8;
constexpr int kTypeAndClass = 4;
// A bare EDNS(0) record after the question: root name, type 41, then payload size and
// flags (free), and no data.
constexpr int kEdnsRecord = 11;
constexpr int kEdnsDataLengthOffset = 1 + 2 + 2 + 4;
// nft compares at most 16 bytes per payload match.
constexpr int kMatchBytes = 16;

QJsonObject wrap(const char* key, const QJsonValue& value) {
    return {{QLatin1String(key), value}};
}

QJsonObject inTable(QJsonObject object) {
    object.insert(QStringLiteral("family"), kFamily);
    object.insert(QStringLiteral("table"), kTable);
    return object;
}

QJsonObject ourTable() {
    return {{QStringLiteral("family"), kFamily}, {QStringLiteral("name"), kTable}};
}

QJsonObject add(const char* kind, const QJsonObject& object) {
    return wrap("add", wrap(kind, object));
}

QJsonObject rule(const QString& chain, const QJsonArray& expressions) {
    return add("rule",
               inTable({{QStringLiteral("chain"), chain}, {QStringLiteral("expr"), expressions}}));
}

QJsonObject match(const QJsonValue& left, const QJsonValue& right) {
    return wrap("match", QJsonObject{{QStringLiteral("op"), QStringLiteral("==")},
                                     {QStringLiteral("left"), left},
                                     {QStringLiteral("right"), right}});
}

QJsonObject field(const char* protocol, const char* name) {
    return wrap("payload", QJsonObject{{QStringLiteral("protocol"), QLatin1String(protocol)},
                                       {QStringLiteral("field"), QLatin1String(name)}});
}

QJsonObject meta(const char* key) {
    return wrap("meta", QJsonObject{{QStringLiteral("key"), QLatin1String(key)}});
}

// Bytes of the transport header and what follows it, counted in bits.
QJsonObject raw(int offsetBits, int lengthBits) {
    return wrap("payload", QJsonObject{{QStringLiteral("base"), QStringLiteral("th")},
                                       {QStringLiteral("offset"), offsetBits},
                                       {QStringLiteral("len"), lengthBits}});
}

QString hex(const QByteArray& bytes) {
    return QStringLiteral("0x") + QString::fromLatin1(bytes.toHex());
}

QJsonObject set(const QJsonArray& elements) {
    return wrap("set", elements);
}

const QJsonObject kAccept = wrap("accept", QJsonValue::Null);
const QJsonObject kDrop = wrap("drop", QJsonValue::Null);

bool isIPv6(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol;
}

// From the address's number, so no scope or other text rides along.
QString addressText(const QHostAddress& address) {
    return isIPv6(address) ? QHostAddress(address.toIPv6Address()).toString()
                           : QHostAddress(address.toIPv4Address()).toString();
}

bool isIpAddress(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv4Protocol || isIPv6(address);
}

QJsonObject destinationIn(const QList<QHostAddress>& addresses) {
    QJsonArray texts;
    for (const QHostAddress& address : addresses)
        texts.append(addressText(address));
    return match(field(isIPv6(addresses.first()) ? "ip6" : "ip", "daddr"), set(texts));
}

QList<QHostAddress> ofFamily(const QList<QHostAddress>& addresses, bool ipv6) {
    QList<QHostAddress> found;
    for (const QHostAddress& address : addresses) {
        if (isIpAddress(address) && isIPv6(address) == ipv6 && !found.contains(address))
            found << address;
    }
    return found;
}

QJsonObject prefixes(const char* family, const Prefix* begin, const Prefix* end) {
    QJsonArray elements;
    for (const Prefix* prefix = begin; prefix != end; ++prefix)
        elements.append(
            wrap("prefix", QJsonObject{{QStringLiteral("addr"), QLatin1String(prefix->address)},
                                       {QStringLiteral("len"), prefix->length}}));
    return match(field(family, "daddr"), set(elements));
}

// The question's name, piece by piece; a letter matches in either case, as resolvers
// may change it.
void matchName(QJsonArray& expressions, const QByteArray& wire) {
    for (qsizetype at = 0; at < wire.size(); at += kMatchBytes) {
        const QByteArray piece = wire.mid(at, kMatchBytes);
        QByteArray mask(piece.size(), '\xff');
        QByteArray expected = piece;
        for (qsizetype i = 0; i < piece.size(); ++i) {
            if (piece[i] >= 'a' && piece[i] <= 'z') {
                mask[i] = '\xdf';
                expected[i] = static_cast<char>(piece[i] & mask[i]);
            }
        }
        const QJsonObject bytes = raw(kQuestionOffsetBits + int(at) * 8, int(piece.size()) * 8);
        expressions.append(match(wrap("&", QJsonArray{bytes, hex(mask)}), hex(expected)));
    }
}

// One query for `wire`, of type A or AAAA and class IN, with no other record than a bare
// EDNS(0) one when `edns`: its length and every byte but the id, the flags and EDNS's
// payload size and flags are fixed, so nothing else can ride along.
QJsonArray lookupExpressions(const QByteArray& wire, bool edns) {
    const int questionEnd = kQuestionOffsetBits + int(wire.size()) * 8;
    const int length =
        kUdpHeader + kDnsHeader + int(wire.size()) + kTypeAndClass + (edns ? kEdnsRecord : 0);
    QJsonArray expressions{
        match(field("udp", "dport"), 53), match(field("udp", "length"), length),
        match(raw(kCountsOffsetBits, 64),
              hex(QByteArray::fromHex(edns ? "0001000000000001" : "0001000000000000")))};
    matchName(expressions, wire);
    expressions.append(match(raw(questionEnd, 32),
                             set({QStringLiteral("0x00010001"), QStringLiteral("0x001c0001")})));
    if (edns) {
        const int record = questionEnd + kTypeAndClass * 8;
        expressions.append(match(raw(record, 24), QStringLiteral("0x000029")));
        expressions.append(
            match(raw(record + kEdnsDataLengthOffset * 8, 16), QStringLiteral("0x0000")));
    }
    return expressions;
}

QJsonObject baseChain(const char* hook) {
    return add("chain", inTable({{QStringLiteral("name"), QLatin1String(hook)},
                                 {QStringLiteral("type"), QStringLiteral("filter")},
                                 {QStringLiteral("hook"), QLatin1String(hook)},
                                 {QStringLiteral("prio"), 0},
                                 {QStringLiteral("policy"), QStringLiteral("drop")}}));
}

QByteArray document(const QJsonArray& commands) {
    QJsonArray all{wrap("metainfo", QJsonObject{{QStringLiteral("json_schema_version"), 1}}),
                   wrap("add", wrap("table", ourTable())),
                   wrap("delete", wrap("table", ourTable()))};
    for (const auto& command : commands)
        all.append(command);
    return QJsonDocument(QJsonObject{{QStringLiteral("nftables"), all}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

QByteArray KillSwitchRules::questionName(const QString& name) {
    // Whole-string: a trailing line feed is no part of a host name.
    static const QRegularExpression hostName(QRegularExpression::anchoredPattern(
        QStringLiteral("(?!-)[a-z0-9-]{1,63}(?<!-)(\\.(?!-)[a-z0-9-]{1,63}(?<!-))*\\.?")));
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

bool KillSwitchRules::isInterfaceName(const QString& name) {
    static const QRegularExpression interface(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_.-]{1,15}")));
    return interface.match(name).hasMatch();
}

QByteArray KillSwitchRules::removal() {
    return document({});
}

QByteArray KillSwitchRules::ruleset() const {
    QJsonArray interfaces;
    for (const QString& name : tunnelInterfaces) {
        if (isInterfaceName(name) && !interfaces.contains(name))
            interfaces.append(name);
    }
    QJsonObject tunnels = inTable({{QStringLiteral("name"), kTunnels.mid(1)},
                                   {QStringLiteral("type"), QStringLiteral("ifname")}});
    if (!interfaces.isEmpty())
        tunnels.insert(QStringLiteral("elem"), interfaces);
    QJsonArray commands{wrap("add", wrap("table", ourTable())), add("set", tunnels),
                        add("chain", inTable({{QStringLiteral("name"), kAllowed}}))};
    for (const auto& expressions : allowedRules())
        commands.append(rule(kAllowed, expressions.toArray()));
    for (const char* hook : {"output", "forward"}) {
        commands.append(baseChain(hook));
        commands.append(rule(QLatin1String(hook),
                             {wrap("jump", QJsonObject{{QStringLiteral("target"), kAllowed}})}));
    }
    return document(commands);
}

QJsonArray KillSwitchRules::allowedRules() const {
    QJsonArray rules{QJsonArray{match(meta("oifname"), QStringLiteral("lo")), kAccept}};
    addTunnelRules(rules);
    addEndpointRules(rules);
    rules.append(
        QJsonArray{match(field("udp", "sport"), 68), match(field("udp", "dport"), 67), kAccept});
    rules.append(QJsonArray{match(field("ip6", "daddr"), QStringLiteral("ff02::1:2")),
                            match(field("udp", "sport"), 546), match(field("udp", "dport"), 547),
                            kAccept});
    if (allowLocalNetwork)
        addLocalNetworkRules(rules);
    // Once connected every lookup goes through the tunnel, the service's names included.
    if (!connected)
        addLookupRules(rules);
    return rules;
}

void KillSwitchRules::addTunnelRules(QJsonArray& rules) const {
    const QJsonObject viaTunnel = match(meta("oifname"), kTunnels);
    if (connected) {
        const QJsonArray dns{
            viaTunnel, match(meta("l4proto"), set({QStringLiteral("tcp"), QStringLiteral("udp")})),
            match(field("th", "dport"), 53)};
        for (const bool ipv6 : {false, true}) {
            const QList<QHostAddress> resolvers = ofFamily(tunnelResolvers, ipv6);
            if (resolvers.isEmpty() || (ipv6 && !tunnelCarriesIPv6))
                continue;
            QJsonArray accept = dns;
            accept.append(destinationIn(resolvers));
            accept.append(kAccept);
            rules.append(accept);
        }
        QJsonArray drop = dns;
        drop.append(kDrop);
        rules.append(drop);
    }
    rules.append(
        tunnelCarriesIPv6
            ? QJsonArray{viaTunnel, kAccept}
            : QJsonArray{viaTunnel, match(meta("nfproto"), QStringLiteral("ipv4")), kAccept});
}

void KillSwitchRules::addEndpointRules(QJsonArray& rules) const {
    QList<Endpoint> seen;
    for (const Endpoint& endpoint : endpoints) {
        if (!isIpAddress(endpoint.address) || seen.contains(endpoint))
            continue;
        seen << endpoint;
        rules.append(
            QJsonArray{match(field(isIPv6(endpoint.address) ? "ip6" : "ip", "daddr"),
                             addressText(endpoint.address)),
                       match(field(endpoint.transport == Transport::Tcp ? "tcp" : "udp", "dport"),
                             endpoint.port),
                       kAccept});
    }
}

void KillSwitchRules::addLocalNetworkRules(QJsonArray& rules) const {
    rules.append(QJsonArray{prefixes("ip", std::begin(kLocalIPv4), std::end(kLocalIPv4)), kAccept});
    rules.append(
        QJsonArray{prefixes("ip6", std::begin(kLocalIPv6), std::end(kLocalIPv6)), kAccept});
}

void KillSwitchRules::addLookupRules(QJsonArray& rules) const {
    QList<QByteArray> seen;
    for (const QString& name : lookups) {
        const QByteArray wire = questionName(name);
        if (wire.isEmpty() || seen.contains(wire))
            continue;
        seen << wire;
        for (const bool ipv6 : {false, true}) {
            const QList<QHostAddress> servers = ofFamily(resolvers, ipv6);
            if (servers.isEmpty())
                continue;
            for (const bool edns : {false, true}) {
                QJsonArray expressions{destinationIn(servers)};
                for (const auto& expression : lookupExpressions(wire, edns))
                    expressions.append(expression);
                expressions.append(kAccept);
                rules.append(expressions);
            }
        }
    }
}
