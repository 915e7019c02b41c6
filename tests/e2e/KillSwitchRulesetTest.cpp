// The kill switch's rulesets against the real nft, in a namespace of their own: each
// passes `nft -c`, loads through the firewall port's command, replaces our table in one
// go and leaves the other tables as they were; removal works with the table there or not;
// the text reaches nft unchanged and a refused one is a failed load.
#include "OpenVPNTestSupport.h"
#include "killswitch/KillSwitchRules.h"
#include "platform/NftablesFirewall.h"
#include "support/TestEnvironment.h"

#include <QFile>

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
        space = QStringLiteral("orvel-ksr-%1").arg(::getpid());
        if (e2e::run(QStringLiteral("ip"),
                     {QStringLiteral("netns"), QStringLiteral("add"), space}) != 0)
            GTEST_SKIP() << "cannot create a network namespace";
        ASSERT_EQ(inside(QStringLiteral("printf '%s' '") + QString::fromLatin1(kBystander) +
                         QStringLiteral("' | nft -f -")),
                  0);
        bystander = QString::fromUtf8(list(QStringLiteral("ip bystander")));
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
    // nft's own listing, which is how the tables are compared.
    QByteArray list(const QString& table) {
        QByteArray output;
        return inside(QStringLiteral("nft list table ") + table, &output) == 0 ? output
                                                                               : QByteArray();
    }
    NftablesFirewall firewall() {
        return NftablesFirewall([](const QString& command) { return command; },
                                [this](const QString& command) { return inside(command) == 0; });
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
    rules.connected = connected;
    rules.allowLocalNetwork = connected;
    rules.tunnelCarriesIPv6 = connected;
    rules.tunnelResolvers = {QHostAddress(QStringLiteral("8.8.8.8")),
                             QHostAddress(QStringLiteral("2001:4860:4860::8888"))};
    return rules;
}

TEST_F(KillSwitchRulesetTest, EveryVariant_PassesNftAndReplacesOnlyOurTable) {
    for (const bool connected : {false, true}) {
        const QString ruleset = variant(connected).ruleset();
        QFile file(tempPath() + QStringLiteral("/rules.nft"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ruleset.toUtf8());
        file.close();
        QByteArray check;
        EXPECT_EQ(inside(QStringLiteral("nft -c -f ") + file.fileName(), &check), 0)
            << check.toStdString() << ruleset.toStdString();

        // Twice: the second load replaces the table the first one made.
        for (int load = 0; load < 2; ++load)
            EXPECT_TRUE(firewall().load(ruleset)()) << connected << load;
        const QByteArray ours = list(QStringLiteral("inet orvelvpn"));
        EXPECT_EQ(ours.count("chain "), 3) << ours.toStdString();
        EXPECT_EQ(ours.count("policy drop;"), 2);
        EXPECT_EQ(ours.contains("th dport 53 drop"), connected);
        EXPECT_EQ(QString::fromUtf8(list(QStringLiteral("ip bystander"))), bystander);
    }
    // The text reaches nft as it is, shell characters and all; a refused one, removal and
    // all, changes nothing.
    const QString comment = QStringLiteral("it's $HOME `id` %s \\\\ ;");
    EXPECT_TRUE(firewall().load(
        KillSwitchRules::removal() +
        QStringLiteral("table inet orvelvpn { comment \"%1\"; }\n").arg(comment))());
    EXPECT_TRUE(list(QStringLiteral("inet orvelvpn")).contains(comment.toUtf8()));
    EXPECT_FALSE(firewall().load(KillSwitchRules::removal() +
                                 QStringLiteral("table inet orvelvpn { nonsense }"))());
    EXPECT_TRUE(list(QStringLiteral("inet orvelvpn")).contains(comment.toUtf8()));
    for (int removal = 0; removal < 2; ++removal)
        EXPECT_TRUE(firewall().load(KillSwitchRules::removal())()) << removal;
    EXPECT_TRUE(list(QStringLiteral("inet orvelvpn")).isEmpty());
    EXPECT_EQ(QString::fromUtf8(list(QStringLiteral("ip bystander"))), bystander);
}

} // namespace
