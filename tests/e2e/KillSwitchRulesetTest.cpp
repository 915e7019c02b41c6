// The kill switch's rulesets against the real nft, in a namespace of their own: each
// passes `nft -c`, loads through the firewall port, replaces our table in one go and
// leaves the other tables as they were; removal works with the table there or not; a
// refused one is a failed load. Hostile server hosts go through the kill switch itself
// and leave exactly the rules the tame servers make.
#include "OpenVPNTestSupport.h"
#include "api/ApiHosts.h"
#include "core/ServerData.h"
#include "killswitch/KillSwitch.h"
#include "killswitch/KillSwitchRules.h"
#include "platform/NftablesFirewall.h"
#include "support/FixedHostResolver.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QRandomGenerator>

namespace {

// Another program's table, which must come out of everything as it went in.
const QByteArray kBystander = "table ip bystander { set blocked { type ipv4_addr; "
                              "elements = { 192.0.2.1 }; }; chain out { type filter hook output "
                              "priority 10; policy accept; ip daddr @blocked drop; }; }\n";

class KillSwitchRulesetTest : public OrvelTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root";
        if (e2e::run(QStringLiteral("nft"), {QStringLiteral("--version")}) != 0)
            GTEST_SKIP() << "nft is not installed";
        space = QStringLiteral("orvel-killswitch-%1").arg(::getpid());
        if (e2e::run(QStringLiteral("ip"),
                     {QStringLiteral("netns"), QStringLiteral("add"), space}) != 0)
            GTEST_SKIP() << "cannot create a network namespace";
        ASSERT_EQ(inside(QStringLiteral("printf '%s' '") + QString::fromLatin1(kBystander) +
                         QStringLiteral("' | nft -f -")),
                  0);
        bystander = QString::fromUtf8(list(QStringLiteral("table ip bystander")));
        ASSERT_TRUE(bystander.contains(QLatin1String("192.0.2.1"))) << bystander.toStdString();
    }
    void TearDown() override {
        if (!space.isEmpty())
            e2e::run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), space});
    }

    int inside(const QString& command, QByteArray* output = nullptr) {
        return e2e::run(QStringLiteral("ip"),
                        {QStringLiteral("netns"), QStringLiteral("exec"), space,
                         QStringLiteral("/bin/sh"), QStringLiteral("-c"), command},
                        output);
    }
    // nft's own listing, which is how rulesets are compared.
    QByteArray list(const QString& what) {
        QByteArray output;
        return inside(QStringLiteral("nft list ") + what, &output) == 0 ? output : QByteArray();
    }
    NftablesFirewall firewall() {
        return NftablesFirewall(
            [](const QString& command) -> std::optional<QString> { return command; },
            [this](const QString& command) { return inside(command) == 0; }, tempPath());
    }

    QString space;
    QString bystander;
};

KillSwitchRules variant(bool connected) {
    KillSwitchRules rules;
    rules.tunnelInterfaces = {QStringLiteral("utun0"), QStringLiteral("utun10"),
                              QStringLiteral("ipsec0")};
    rules.endpoints = {
        {QHostAddress(QStringLiteral("10.252.7.1")), KillSwitchRules::Transport::Udp, 1194},
        {QHostAddress(QStringLiteral("2001:db8::9")), KillSwitchRules::Transport::Tcp, 443}};
    rules.lookups = {QStringLiteral("api.orvel.test"),
                     QStringLiteral("a-rather-long-name-of-an-alternate.api-host.orvel.test")};
    rules.resolvers = {QHostAddress(QStringLiteral("10.0.0.53")),
                       QHostAddress(QStringLiteral("2001:db8::53"))};
    rules.connected = connected;
    rules.allowLocalNetwork = connected;
    rules.tunnelCarriesIPv6 = connected;
    rules.tunnelResolvers = {QHostAddress(QStringLiteral("8.8.8.8")),
                             QHostAddress(QStringLiteral("2001:4860:4860::8888"))};
    return rules;
}

TEST_F(KillSwitchRulesetTest, EveryVariant_PassesNftAndReplacesOnlyOurTable) {
    for (const bool connected : {false, true}) {
        const QByteArray ruleset = variant(connected).ruleset();
        QFile file(tempPath() + QStringLiteral("/rules.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ruleset);
        file.close();
        QByteArray check;
        EXPECT_EQ(inside(QStringLiteral("nft -j -c -f ") + file.fileName(), &check), 0)
            << check.toStdString() << ruleset.toStdString();

        // Twice: the second load replaces the table the first one made.
        for (int load = 0; load < 2; ++load)
            EXPECT_EQ(firewall().load(ruleset)(), Firewall::Outcome::Loaded) << connected << load;
        const QByteArray ours = list(QStringLiteral("table inet orvelvpn"));
        EXPECT_EQ(ours.count("chain "), 3) << ours.toStdString();
        EXPECT_EQ(ours.count("policy drop;"), 2);
        EXPECT_EQ(ours.contains("th dport 53 drop"), connected);
        EXPECT_EQ(ours.count("udp dport 53 udp length"), connected ? 0 : 8);
        EXPECT_EQ(QString::fromUtf8(list(QStringLiteral("table ip bystander"))), bystander);
    }
    // A refused ruleset, removal and all, changes nothing.
    const QByteArray before = list(QStringLiteral("table inet orvelvpn"));
    EXPECT_EQ(firewall().load(KillSwitchRules::removal().replace("delete", "nonsense"))(),
              Firewall::Outcome::Refused);
    EXPECT_EQ(list(QStringLiteral("table inet orvelvpn")), before);
    for (int removal = 0; removal < 2; ++removal)
        EXPECT_EQ(firewall().load(KillSwitchRules::removal())(), Firewall::Outcome::Loaded);
    EXPECT_TRUE(list(QStringLiteral("table inet orvelvpn")).isEmpty());
    EXPECT_EQ(QString::fromUtf8(list(QStringLiteral("table ip bystander"))), bystander);
}

class HostileHostsTest : public KillSwitchRulesetTest {
protected:
    HostileHostsTest() {
        overrideApiHostTable(
            {QStringLiteral("https://10.9.0.1"), QStringLiteral("https://10.9.0.2"),
             QStringLiteral("https://10.9.0.3"), QStringLiteral("https://10.9.0.4"),
             QStringLiteral("https://10.9.0.5")});
        resolver.servers = {QHostAddress(QStringLiteral("10.0.0.53"))};
        preferences().setValue(QLatin1String(KillSwitch::kEnabledKey), 1);
    }
    ~HostileHostsTest() override { overrideApiHostTable(defaultApiHostTable()); }

    static std::shared_ptr<ServerData> ikev2Server(const QString& host) {
        return std::make_shared<ServerData>(QStringLiteral("S"), host, host, true, true,
                                            QStringLiteral("KR"), QString(), QString(),
                                            QStringLiteral("IKEV2"), QString());
    }
    // The whole ruleset of the namespace once the kill switch has loaded for `servers`;
    // empty when the load failed.
    QByteArray rulesetFor(const QList<std::shared_ptr<ServerData>>& servers) {
        bool loaded = false;
        killSwitch.attemptStarting(servers, {[&loaded] { loaded = true; }, {}});
        if (!waitUntil([&] { return killSwitch.isSettled(); }, 60000) || !loaded)
            return {};
        return list(QStringLiteral("ruleset"));
    }

    NftablesFirewall nft = firewall();
    FixedHostResolver resolver;
    KillSwitch killSwitch{{nft, resolver, preferences()}, tempPath() + QStringLiteral("/")};
};

// The hosts of the issue that flushed the machine's tables, let everything out or left
// a NAT table behind, the ordinary scope ids that made nft refuse the whole ruleset, and
// random bytes after '%'.
TEST_F(HostileHostsTest, ServerHosts_AddNothingButTheirOwnAddresses) {
    const auto tame = ikev2Server(QStringLiteral("10.1.0.1"));
    const QByteArray expected = rulesetFor({tame});
    ASSERT_FALSE(expected.isEmpty());
    ASSERT_TRUE(expected.contains("ip daddr 10.1.0.1 udp dport 500 accept")) << expected.data();

    QStringList hostile = {
        QStringLiteral("fe80::%1 udp dport 1 accept;};};flush ruleset;table inet orvelvpn{chain "
                       "allowed{#"),
        QStringLiteral("fe80::%1 accept #"),
        QStringLiteral("fe80::%1 udp dport 1 accept;};};table ip evil{chain out{type nat hook "
                       "output priority -100;udp dport 53 dnat to 192.0.2.53;};};table inet "
                       "orvelvpn{chain allowed{#"),
        QStringLiteral("fe80::1%eth0"),
        QStringLiteral("2001:db8::1%eth0"),
        QStringLiteral("10.1.0.2%1"),
        QStringLiteral("vpn.test\n"),
        QStringLiteral("vpn.test\" accept comment \"x"),
        QStringLiteral("@tunnels"),
    };
    QRandomGenerator random(19);
    for (int i = 0; i < 24; ++i) {
        QByteArray tail(1 + int(random.bounded(40)), '\0');
        for (char& byte : tail)
            byte = static_cast<char>(random.bounded(256));
        hostile << QStringLiteral("fe80::%") + QString::fromLatin1(tail);
    }
    for (const QString& host : hostile)
        EXPECT_EQ(rulesetFor({tame, ikev2Server(host)}), expected) << host.toStdString();
}

// Ordinary data that nft refused before: a long host name and a ruleset far over the
// limit of a command-line argument.
TEST_F(HostileHostsTest, LongNamesAndLargeRulesets_Load) {
    const QString longName = QString(60, QLatin1Char('a')) + QStringLiteral(".") +
                             QString(60, QLatin1Char('b')) + QStringLiteral(".") +
                             QString(60, QLatin1Char('c')) + QStringLiteral(".test");
    resolver.table.insert(longName, {QHostAddress(QStringLiteral("10.1.0.9"))});
    QList<std::shared_ptr<ServerData>> servers{ikev2Server(longName)};
    for (int i = 0; i < 1500; ++i)
        servers << ikev2Server(QStringLiteral("10.2.%1.%2").arg(i / 250).arg(i % 250 + 1));
    const QByteArray ruleset = rulesetFor(servers);
    ASSERT_FALSE(ruleset.isEmpty()) << "refused";
    EXPECT_TRUE(ruleset.contains("ip daddr 10.1.0.9 udp dport 4500 accept"));
    EXPECT_TRUE(ruleset.contains("ip daddr 10.2.5.250 udp dport 4500 accept"));
    const qsizetype question = KillSwitchRules::questionName(longName).size();
    EXPECT_TRUE(ruleset.contains("udp length " + QByteArray::number(8 + 12 + question + 4)))
        << "its lookups are not let out";
}

} // namespace
