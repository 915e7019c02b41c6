#include "killswitch/KillSwitchRules.h"

#include <gtest/gtest.h>

namespace {

using Transport = KillSwitchRules::Transport;

KillSwitchRules typicalAttempt() {
    KillSwitchRules rules;
    rules.tunnelInterfaces = {QStringLiteral("utun0"), QStringLiteral("ipsec0")};
    rules.endpoints = {{QHostAddress(QStringLiteral("10.252.7.1")), Transport::Udp, 1194},
                       {QHostAddress(QStringLiteral("203.0.113.9")), Transport::Tcp, 443},
                       {QHostAddress(QStringLiteral("2001:db8::9")), Transport::Tcp, 443}};
    rules.lookups = {QStringLiteral("api.orvel.test")};
    rules.tunnelResolvers = {QHostAddress(QStringLiteral("8.8.8.8"))};
    return rules;
}

QStringList linesOf(const KillSwitchRules& rules) {
    QStringList lines;
    for (const QString& line : rules.ruleset().split(QLatin1Char('\n')))
        lines << line.trimmed();
    return lines;
}

// The whole text once: it is what nft loads, so a change to it must be a decision.
TEST(KillSwitchRulesTest, TypicalAttempt_ReplacesOurTableInOneGo) {
    EXPECT_EQ(typicalAttempt().ruleset().toStdString(),
              "add table inet orvelvpn\n"
              "delete table inet orvelvpn\n"
              "table inet orvelvpn {\n"
              "\tset tunnels {\n"
              "\t\ttype ifname\n"
              "\t\telements = { \"utun0\", \"ipsec0\" }\n"
              "\t}\n"
              "\tchain allowed {\n"
              "\t\toifname \"lo\" accept\n"
              "\t\toifname @tunnels meta nfproto ipv4 accept\n"
              "\t\tip daddr 10.252.7.1 udp dport 1194 accept\n"
              "\t\tip daddr 203.0.113.9 tcp dport 443 accept\n"
              "\t\tip6 daddr 2001:db8::9 tcp dport 443 accept\n"
              "\t\tudp sport 68 udp dport 67 accept\n"
              "\t\tip6 daddr ff02::1:2 udp sport 546 udp dport 547 accept\n"
              "\t\tudp dport 53 @th,160,128 0x03617069056f7276656c047465737400 accept "
              "comment \"api.orvel.test\"\n"
              "\t}\n"
              "\tchain output {\n"
              "\t\ttype filter hook output priority filter; policy drop;\n"
              "\t\tjump allowed\n"
              "\t}\n"
              "\tchain forward {\n"
              "\t\ttype filter hook forward priority filter; policy drop;\n"
              "\t\tjump allowed\n"
              "\t}\n"
              "}\n");
}

TEST(KillSwitchRulesTest, Removal_NamesOnlyOurTableAndWorksWhenItIsAbsent) {
    EXPECT_EQ(KillSwitchRules::removal(),
              QStringLiteral("add table inet orvelvpn\ndelete table inet orvelvpn\n"));
}

TEST(KillSwitchRulesTest, Connected_LookupsThroughTheTunnelGoToItsResolverOnly) {
    KillSwitchRules rules = typicalAttempt();
    rules.connected = true;
    const QStringList lines = linesOf(rules);
    const QString dns = QStringLiteral("oifname @tunnels meta l4proto { tcp, udp } th dport 53");
    const qsizetype toResolver =
        lines.indexOf(dns + QStringLiteral(" ip daddr { 8.8.8.8 } accept"));
    const qsizetype others = lines.indexOf(dns + QStringLiteral(" drop"));
    const qsizetype tunnel =
        lines.indexOf(QStringLiteral("oifname @tunnels meta nfproto ipv4 accept"));
    ASSERT_GE(toResolver, 0);
    EXPECT_LT(toResolver, others);
    EXPECT_LT(others, tunnel) << "the tunnel's accept would let every lookup through";
    EXPECT_FALSE(rules.ruleset().contains(QLatin1String("@th,")))
        << "the service's names would still be looked up outside the tunnel";
    EXPECT_FALSE(linesOf(typicalAttempt()).contains(dns + QStringLiteral(" drop")));
}

TEST(KillSwitchRulesTest, Options_OpenOnlyWhatTheyName) {
    struct Case {
        const char* name;
        bool allowLocalNetwork;
        bool tunnelCarriesIPv6;
        QStringList present;
        QStringList absent;
    };
    const QString local4 = QStringLiteral("ip daddr { 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, "
                                          "169.254.0.0/16, 224.0.0.0/4, 255.255.255.255 } accept");
    const QString local6 = QStringLiteral("ip6 daddr { fe80::/10, fc00::/7, ff00::/8 } accept");
    const QString tunnel4 = QStringLiteral("oifname @tunnels meta nfproto ipv4 accept");
    const QString tunnelAll = QStringLiteral("oifname @tunnels accept");
    const Case cases[] = {
        {"defaults", false, false, {tunnel4}, {local4, local6, tunnelAll}},
        {"local network", true, false, {local4, local6, tunnel4}, {tunnelAll}},
        {"IPv6 through the tunnel", false, true, {tunnelAll}, {tunnel4, local4}},
    };
    for (const Case& c : cases) {
        KillSwitchRules rules = typicalAttempt();
        rules.allowLocalNetwork = c.allowLocalNetwork;
        rules.tunnelCarriesIPv6 = c.tunnelCarriesIPv6;
        const QStringList lines = linesOf(rules);
        for (const QString& line : c.present)
            EXPECT_TRUE(lines.contains(line)) << c.name << ": " << line.toStdString();
        for (const QString& line : c.absent)
            EXPECT_FALSE(lines.contains(line)) << c.name << ": " << line.toStdString();
    }
}

TEST(KillSwitchRulesTest, Endpoints_RepeatedOrUnresolvedOnesAddNothing) {
    KillSwitchRules rules;
    const KillSwitchRules::Endpoint server{QHostAddress(QStringLiteral("10.1.1.1")), Transport::Udp,
                                           500};
    rules.endpoints = {server, server, {QHostAddress(), Transport::Tcp, 443}};
    EXPECT_EQ(rules.ruleset().count(QStringLiteral("daddr 10.1.1.1 udp dport 500")), 1);
    EXPECT_FALSE(rules.ruleset().contains(QStringLiteral("tcp dport 443")));
}

// A question name longer than one nft match is compared piece by piece, 16 bytes each.
TEST(KillSwitchRulesTest, LongLookupName_IsMatchedInPiecesThatCoverItAll) {
    KillSwitchRules rules;
    rules.lookups = {QStringLiteral("Alternate-Api.Orvel.Test")};
    EXPECT_TRUE(rules.ruleset().contains(
        QStringLiteral("udp dport 53 @th,160,128 0x0d616c7465726e6174652d617069056f "
                       "@th,288,80 0x7276656c047465737400 accept comment "
                       "\"alternate-api.orvel.test\"")))
        << rules.ruleset().toStdString();
}

TEST(KillSwitchRulesTest, QuestionName_RefusesWhatIsNoHostName) {
    EXPECT_EQ(KillSwitchRules::questionName(QStringLiteral("Vpn.World.test.")),
              QByteArray("\x03vpn\x05world\x04test\x00", 16));
    const char* refused[] = {"",
                             "-vpn.test",
                             "vpn-.test",
                             "a..b",
                             "under_score.test",
                             "quote\".test",
                             "space .test",
                             "x\ny.test"};
    for (const char* name : refused)
        EXPECT_TRUE(KillSwitchRules::questionName(QString::fromLatin1(name)).isEmpty()) << name;
    EXPECT_TRUE(KillSwitchRules::questionName(QString(64, QLatin1Char('a')) + ".test").isEmpty());
    EXPECT_FALSE(KillSwitchRules::questionName(QString(63, QLatin1Char('a')) + ".test").isEmpty());
}

} // namespace
