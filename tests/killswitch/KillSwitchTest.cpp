#include "killswitch/KillSwitch.h"

#include "api/ApiHosts.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "platform/NotificationCenter.h"
#include "support/FixedHostResolver.h"
#include "support/MemoryPreferences.h"
#include "support/NftJsonText.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingFirewall.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

namespace {

const QStringList kApiHosts = {
    QStringLiteral("https://api1.orvel.test"), QStringLiteral("https://api2.orvel.test"),
    QStringLiteral("https://api3.orvel.test"), QStringLiteral("https://api4.orvel.test"),
    QStringLiteral("https://10.9.0.5:8443")};

const QHostAddress kResolver(QStringLiteral("10.0.0.53"));

std::shared_ptr<ServerData> openVPNServer(const QString& remote) {
    return std::make_shared<ServerData>(
        QStringLiteral("S"), remote, remote, true, true, QStringLiteral("KR"), QString(), QString(),
        QStringLiteral("OPENVPN"),
        QStringLiteral("client\r\nremote ") + remote +
            QStringLiteral(" 1194\r\n<ca>\r\n-----BEGIN CERTIFICATE-----\r\nQUJD\r\n"
                           "-----END CERTIFICATE-----\r\n</ca>\r\n"));
}

// Whether `rules` let the lookups of `name` out to the machine's resolver.
bool letsLookUp(const QString& rules, const QString& name) {
    KillSwitchRules alone;
    alone.lookups = {name};
    alone.resolvers = {kResolver};
    const QStringList lines = nftJsonText(alone.ruleset()).split(QLatin1Char('\n'));
    return std::all_of(lines.cbegin(), lines.cend(),
                       [&](const QString& line) {
                           return !line.contains(QLatin1String("dport 53")) || rules.contains(line);
                       }) &&
           lines.join(QLatin1Char('\n')).contains(QLatin1String("dport 53"));
}

class KillSwitchTest : public OrvelTest {
protected:
    KillSwitchTest() {
        overrideApiHostTable(kApiHosts);
        for (int i = 1; i <= 4; ++i)
            resolver.table.insert(QStringLiteral("api%1.orvel.test").arg(i),
                                  {QHostAddress(QStringLiteral("10.9.0.%1").arg(i))});
        resolver.table.insert(QStringLiteral("vpn1.test"),
                              {QHostAddress(QStringLiteral("10.1.0.1"))});
        resolver.table.insert(QStringLiteral("vpn2.test"),
                              {QHostAddress(QStringLiteral("10.2.0.1"))});
        resolver.servers = {kResolver};
        preferences().setValue(QLatin1String(KillSwitch::kEnabledKey), 1);
        appState().selectedProtocol = QStringLiteral("OPENVPN");
        notifications().observe(QStringLiteral("trafficBlockedChanged"), &context,
                                [this] { ++blockedChanges; });
    }
    ~KillSwitchTest() override { overrideApiHostTable(defaultApiHostTable()); }

    bool settle() {
        return waitUntil([this] { return killSwitch.isSettled(); }, 5000);
    }
    bool markerExists() const {
        return QFile::exists(home + QLatin1String(KillSwitch::kMarkerName));
    }
    // The rules in place when the attempt was let go; "refused: REASON" when it was not.
    AttemptGate gate() {
        return {[this] { answer = firewall.current(); },
                [this](const QString& reason) { answer = QStringLiteral("refused: ") + reason; }};
    }
    void blockFor(const QString& remote) {
        killSwitch.attemptStarting({openVPNServer(remote)}, gate());
        ASSERT_TRUE(settle());
        ASSERT_TRUE(killSwitch.isBlocking());
    }

    QObject context;
    int blockedChanges = 0;
    std::optional<QString> answer;
    RecordingFirewall firewall;
    FixedHostResolver resolver;
    QString home = tempPath() + QStringLiteral("/OrvelVPN/");
    KillSwitch killSwitch{{firewall, resolver, preferences()}, home};
};

TEST_F(KillSwitchTest, Off_AnAttemptLoadsNothingAndGoesAhead) {
    preferences().setValue(QLatin1String(KillSwitch::kEnabledKey), 0);
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))}, gate());
    EXPECT_EQ(answer, QString());
    ASSERT_TRUE(settle());
    EXPECT_TRUE(firewall.loaded().isEmpty());
    EXPECT_FALSE(appState().trafficBlocked);
}

TEST_F(KillSwitchTest, Attempt_RulesHoldTheServerAndApiHostsAsAddresses) {
    blockFor(QStringLiteral("vpn1.test"));
    const QString rules = firewall.current();
    for (const char* line :
         {"ip daddr 10.1.0.1 udp dport 1194 accept", "ip daddr 10.9.0.1 tcp dport 443 accept",
          "ip daddr 10.9.0.4 tcp dport 443 accept", "ip daddr 10.9.0.5 tcp dport 8443 accept"})
        EXPECT_TRUE(rules.contains(QLatin1String(line))) << line;
    EXPECT_TRUE(letsLookUp(rules, QStringLiteral("vpn1.test")));
    EXPECT_FALSE(rules.contains(QLatin1String("th dport 53 drop")));
    EXPECT_EQ(answer, rules) << "the attempt went ahead with these rules in place";
    EXPECT_TRUE(appState().trafficBlocked);
    EXPECT_EQ(blockedChanges, 1);
    EXPECT_TRUE(markerExists());
}

TEST_F(KillSwitchTest, Connected_TightensLookupsWithoutLookingNamesUpAgain) {
    blockFor(QStringLiteral("vpn1.test"));
    const qsizetype lookups = resolver.asked.size();
    killSwitch.tunnelConnected();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(firewall.current().contains(QLatin1String("th dport 53 drop")));
    EXPECT_TRUE(firewall.current().contains(QLatin1String("ip daddr 10.1.0.1 udp dport 1194")));
    EXPECT_EQ(resolver.asked.size(), lookups);
}

TEST_F(KillSwitchTest, UserLeaving_RemovesTheTable) {
    const std::pair<const char*, std::function<void(KillSwitch&)>> ways[] = {
        {"disconnect", [](KillSwitch& k) { k.userDisconnected(); }},
        {"quit", [](KillSwitch& k) { k.quitting(); }},
        {"setting off", [](KillSwitch& k) { k.setEnabled(false); }},
    };
    for (const auto& [name, leave] : ways) {
        blockFor(QStringLiteral("vpn1.test"));
        leave(killSwitch);
        // Quitting waits for it; the others are done once settled.
        if (std::string(name) != "quit") {
            ASSERT_TRUE(settle()) << name;
        }
        EXPECT_EQ(firewall.current(), nftJsonText(KillSwitchRules::removal())) << name;
        EXPECT_FALSE(markerExists()) << name;
        preferences().setValue(QLatin1String(KillSwitch::kEnabledKey), 1);
    }
}

TEST_F(KillSwitchTest, LocalNetworkSetting_AppliesAtOnceWhileBlocking) {
    blockFor(QStringLiteral("vpn1.test"));
    killSwitch.setAllowLocalNetwork(true);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(firewall.current().contains(QLatin1String("192.168.0.0/16")));
    EXPECT_TRUE(killSwitch.allowsLocalNetwork());
}

// With our table in, lookups of a name it does not know would be dropped: the table
// first lets them through, and only then holds the new server's address.
TEST_F(KillSwitchTest, NewServerWhileBlocked_ItsLookupIsLetThroughBeforeItResolves) {
    blockFor(QStringLiteral("vpn1.test"));
    const qsizetype before = firewall.loaded().size();
    answer.reset();
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn2.test"))}, gate());
    ASSERT_TRUE(settle());
    const QStringList loads = firewall.loaded().mid(before);
    ASSERT_EQ(loads.size(), 2);
    EXPECT_TRUE(letsLookUp(loads[0], QStringLiteral("vpn2.test")));
    EXPECT_FALSE(loads[0].contains(QLatin1String("10.2.0.1")));
    EXPECT_TRUE(loads[1].contains(QLatin1String("ip daddr 10.2.0.1 udp dport 1194 accept")));
    EXPECT_FALSE(loads[1].contains(QLatin1String("10.1.0.1"))) << "the old server stays open";
    EXPECT_EQ(answer, loads[1]) << "let go before its server was open";
}

TEST_F(KillSwitchTest, NameThatNoLongerResolves_KeepsTheAddressesItHad) {
    blockFor(QStringLiteral("vpn1.test"));
    resolver.table.clear();
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))}, gate());
    ASSERT_TRUE(settle());
    EXPECT_TRUE(firewall.current().contains(QLatin1String("ip daddr 10.1.0.1 udp dport 1194")));
    EXPECT_TRUE(firewall.current().contains(QLatin1String("ip daddr 10.9.0.2 tcp dport 443")));
}

// Rules that do not load stop the attempt with the reason; the message is the stop's
// own, so no second alert follows.
TEST_F(KillSwitchTest, RefusedRules_StopTheAttemptSayingWhyAndAreNeverShownAsBlocking) {
    const std::pair<Firewall::Outcome, const char*> outcomes[] = {
        {Firewall::Outcome::NoAdministrator, "KILLSWITCH_WHY_ADMIN"},
        {Firewall::Outcome::NotInstalled, "KILLSWITCH_WHY_NFT"},
        {Firewall::Outcome::NotWritten, "KILLSWITCH_WHY_FILE"},
        {Firewall::Outcome::Refused, "KILLSWITCH_WHY_REFUSED"}};
    for (const auto& [outcome, why] : outcomes) {
        answer.reset();
        firewall.setRefusing(outcome);
        killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))}, gate());
        ASSERT_TRUE(settle()) << why;
        EXPECT_EQ(
            answer,
            QStringLiteral("refused: ") +
                localized(QStringLiteral("KILLSWITCH_NOT_SET")).arg(localized(QLatin1String(why))));
        EXPECT_FALSE(killSwitch.isBlocking());
        EXPECT_FALSE(appState().trafficBlocked);
    }
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
}

TEST_F(KillSwitchTest, RefusedRulesWithNoAttemptWaiting_AreReportedOnce) {
    blockFor(QStringLiteral("vpn1.test"));
    firewall.setRefusing(Firewall::Outcome::Refused);
    for (const bool allow : {true, false}) {
        killSwitch.setAllowLocalNetwork(allow);
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(alerts().confirmTexts,
              QStringList{localized(QStringLiteral("KILLSWITCH_FAILED"))
                              .arg(localized(QStringLiteral("KILLSWITCH_WHY_REFUSED")))});
}

// Only the newest attempt goes ahead, and none once the user has left or the setting
// went off (then it goes ahead unblocked, as asked).
TEST_F(KillSwitchTest, WaitingAttempt_GoesAheadOnlyWhileItIsStillWanted) {
    std::optional<QString> first;
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))},
                               {[&first] { first = QStringLiteral("went"); }, {}});
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn2.test"))}, gate());
    ASSERT_TRUE(settle());
    EXPECT_FALSE(first) << "a superseded attempt went ahead";
    EXPECT_TRUE(answer && answer->contains(QLatin1String("10.2.0.1")));

    answer.reset();
    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))}, gate());
    killSwitch.userDisconnected();
    ASSERT_TRUE(settle());
    EXPECT_FALSE(answer) << "went ahead after the user left";

    killSwitch.attemptStarting({openVPNServer(QStringLiteral("vpn1.test"))}, gate());
    killSwitch.setEnabled(false);
    EXPECT_EQ(answer, firewall.current()) << "turned off: nothing to wait for";
}

TEST_F(KillSwitchTest, TableLeftByACrash_IsKeptOrClearedAsTheUserChooses) {
    killSwitch.offerLeftTable();
    EXPECT_TRUE(alerts().choiceTexts.isEmpty()) << "nothing was left";

    for (int choice : {0, 1}) {
        QDir().mkpath(home);
        QFile(home + QLatin1String(KillSwitch::kMarkerName)).open(QIODevice::WriteOnly);
        alerts().choiceAnswer = choice;
        killSwitch.offerLeftTable();
        ASSERT_TRUE(settle());
        EXPECT_EQ(killSwitch.isBlocking(), choice == 0) << choice;
        EXPECT_EQ(markerExists(), choice == 0) << choice;
        EXPECT_TRUE(firewall.current().contains(QLatin1String("policy drop")) == (choice == 0));
    }
    EXPECT_EQ(alerts().choiceTexts.size(), 2);
}

} // namespace
