#include "killswitch/KillSwitchRules.h"

#include "support/NftJsonText.h"

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
    rules.resolvers = {QHostAddress(QStringLiteral("10.0.0.53"))};
    rules.tunnelResolvers = {QHostAddress(QStringLiteral("8.8.8.8"))};
    return rules;
}

QStringList linesOf(const KillSwitchRules& rules) {
    return nftJsonText(rules.ruleset()).split(QLatin1Char('\n'));
}

// The whole ruleset once: it is what nft loads, so a change to it must be a decision.
TEST(KillSwitchRulesTest, TypicalAttempt_ReplacesOurTableInOneGo) {
    const QString question = QStringLiteral("@th,96,64 0x0001000000000000 @th,160,128 & "
                                            "0xffdfdfdfffdfdfdfdfdfffdfdfdfdfff == "
                                            "0x03415049054f5256454c045445535400 "
                                            "@th,288,32 { 0x00010001, 0x001c0001 }");
    const QString withEdns = QString(question).replace(QStringLiteral("0x0001000000000000"),
                                                       QStringLiteral("0x0001000000000001"));
    EXPECT_EQ(nftJsonText(typicalAttempt().ruleset()).toStdString(),
              (QStringLiteral("add table inet orvelvpn\n"
                              "delete table inet orvelvpn\n"
                              "add table inet orvelvpn\n"
                              "set tunnels ifname { utun0, ipsec0 }\n"
                              "chain allowed\n"
                              "oifname lo accept\n"
                              "oifname @tunnels meta nfproto ipv4 accept\n"
                              "ip daddr 10.252.7.1 udp dport 1194 accept\n"
                              "ip daddr 203.0.113.9 tcp dport 443 accept\n"
                              "ip6 daddr 2001:db8::9 tcp dport 443 accept\n"
                              "udp sport 68 udp dport 67 accept\n"
                              "ip6 daddr ff02::1:2 udp sport 546 udp dport 547 accept\n"
                              "ip daddr { 10.0.0.53 } udp dport 53 udp length 40 ") +
               question +
               QStringLiteral(" accept\n"
                              "ip daddr { 10.0.0.53 } udp dport 53 udp length 51 ") +
               withEdns +
               QStringLiteral(" @th,320,24 0x000029 @th,392,16 0x0000 accept\n"
                              "chain output hook output policy drop\n"
                              "jump allowed\n"
                              "chain forward hook forward policy drop\n"
                              "jump allowed\n"))
                  .toStdString());
}

TEST(KillSwitchRulesTest, Removal_NamesOnlyOurTableAndWorksWhenItIsAbsent) {
    EXPECT_EQ(nftJsonText(KillSwitchRules::removal()),
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
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QLatin1String("udp dport 53")))
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
                                          "169.254.0.0/16, 224.0.0.0/4, 255.255.255.255/32 } "
                                          "accept");
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

// Whatever an address carries besides its number (a scope), and interface names that
// are not names, stay out; repeated or empty entries add nothing.
TEST(KillSwitchRulesTest, Values_OnlyTheirNumbersAndCheckedNamesReachTheRules) {
    KillSwitchRules rules;
    QHostAddress scoped(QStringLiteral("2001:db8::7"));
    scoped.setScopeId(QStringLiteral("1 accept;}"));
    const KillSwitchRules::Endpoint server{QHostAddress(QStringLiteral("10.1.1.1")), Transport::Udp,
                                           500};
    rules.endpoints = {
        server, server, {QHostAddress(), Transport::Tcp, 443}, {scoped, Transport::Udp, 4500}};
    rules.tunnelInterfaces = {QStringLiteral("utun0"), QStringLiteral("@evil"),
                              QStringLiteral("utun1\n"), QStringLiteral("a-very-long-interface")};
    const QString text = nftJsonText(rules.ruleset());
    EXPECT_EQ(text.count(QStringLiteral("ip daddr 10.1.1.1 udp dport 500 accept")), 1);
    EXPECT_FALSE(text.contains(QStringLiteral("tcp dport 443")));
    EXPECT_TRUE(text.contains(QStringLiteral("ip6 daddr 2001:db8::7 udp dport 4500 accept")));
    EXPECT_FALSE(rules.ruleset().contains("accept;"));
    EXPECT_TRUE(text.contains(QStringLiteral("set tunnels ifname { utun0 }\n")));
}

// A question name longer than one nft match is compared piece by piece, 16 bytes each,
// letters in either case.
TEST(KillSwitchRulesTest, LongLookupName_IsMatchedInPiecesThatCoverItAll) {
    KillSwitchRules rules;
    rules.lookups = {QStringLiteral("Alternate-Api.Orvel.Test")};
    rules.resolvers = {QHostAddress(QStringLiteral("2001:db8::53"))};
    EXPECT_TRUE(nftJsonText(rules.ruleset())
                    .contains(QStringLiteral(
                        "ip6 daddr { 2001:db8::53 } udp dport 53 udp length 50 "
                        "@th,96,64 0x0001000000000000 "
                        "@th,160,128 & 0xffdfdfdfdfdfdfdfdfdfffdfdfdfffdf == "
                        "0x0d414c5445524e4154452d415049054f "
                        "@th,288,80 & 0xdfdfdfdfffdfdfdfdfff == 0x5256454c045445535400 "
                        "@th,368,32 { 0x00010001, 0x001c0001 } accept")))
        << nftJsonText(rules.ruleset()).toStdString();
}

TEST(KillSwitchRulesTest, Lookups_WithoutAConfiguredResolverLeaveNothingOpen) {
    KillSwitchRules rules = typicalAttempt();
    rules.resolvers.clear();
    EXPECT_FALSE(nftJsonText(rules.ruleset()).contains(QLatin1String("dport 53")));
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
                             "x\ny.test",
                             "vpn.test\n"};
    for (const char* name : refused)
        EXPECT_TRUE(KillSwitchRules::questionName(QString::fromLatin1(name)).isEmpty()) << name;
    EXPECT_TRUE(KillSwitchRules::questionName(QString(64, QLatin1Char('a')) + ".test").isEmpty());
    EXPECT_FALSE(KillSwitchRules::questionName(QString(63, QLatin1Char('a')) + ".test").isEmpty());
}

} // namespace
