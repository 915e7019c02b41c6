#include "Scenario.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray readmeScenarioExample() {
    QFile file(QStringLiteral(ORVEL_TESTSERVICE_README));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    const qsizetype section = text.indexOf("## Scenario format");
    const qsizetype start = text.indexOf("```json\n", section);
    const qsizetype end = text.indexOf("```", start + 8);
    return section < 0 || start < 0 || end < 0 ? QByteArray()
                                               : text.mid(start + 8, end - start - 8);
}

TEST(ScenarioTest, ReadmeExample_ParsesWithEveryPart) {
    QString error;
    const auto scenario = Scenario::fromJson(readmeScenarioExample(), &error);
    ASSERT_TRUE(scenario) << error.toStdString();
    ASSERT_EQ(scenario->accounts.size(), 2);
    EXPECT_EQ(scenario->accounts[0].expiry, "2030-01-31 23:59:59");
    EXPECT_EQ(scenario->accounts[1].expiresInSeconds, 605400);
    EXPECT_EQ(scenario->versionCode, "2.1.0");
    ASSERT_EQ(scenario->servers.size(), 1);
    EXPECT_EQ(scenario->servers[0].pdName, "kr-1");
    EXPECT_TRUE(scenario->servers[0].config.contains("\r\n"));
    EXPECT_EQ(scenario->smartMatch.value("OPENVPN").hostdomain, "127.0.1.1");
    EXPECT_EQ(scenario->userNotice.value(0).id, 5);
    EXPECT_EQ(scenario->resultOverrides.value("/v1/app_new_check_server"), "600");
    ASSERT_EQ(scenario->faults.size(), 2);
    EXPECT_EQ(scenario->faults["/v1/app_session_key"].kind, Fault::Kind::Drop);
    EXPECT_EQ(scenario->faults["/v1/app_session_key"].hosts, QSet<int>{0});
    EXPECT_EQ(scenario->faults["*"].delayMs, 300);
    EXPECT_EQ(scenario->faults["*"].remaining, -1);
}

TEST(ScenarioTest, Demo_HasTheDemoAccountServersAndNotice) {
    Scenario demo = Scenario::demo();
    const ScenarioAccount* account = demo.findAccount("demo@orvel.test");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->password, "demo-pass");
    EXPECT_EQ(account->vpnUsername, "vpnuser");
    EXPECT_EQ(account->vpnPassword, "vpn-pass");
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 daysAhead =
        now.secsTo(QDateTime::fromString(account->expiryText(now), "yyyy-MM-dd HH:mm:ss")) / 86400;
    EXPECT_EQ(daysAhead, 5);

    QStringList countries;
    int inMaintenance = 0;
    for (const ScenarioServer& server : demo.servers) {
        countries.append(server.country);
        inMaintenance += server.isStatus ? 0 : 1;
        EXPECT_TRUE(server.hostdomain.startsWith("127.")) << server.name.toStdString();
        if (server.protocol.contains("OPENVPN")) {
            EXPECT_TRUE(server.config.endsWith("\r\n")) << server.name.toStdString();
        }
    }
    EXPECT_EQ(countries, (QStringList{"KR", "JP", "US", "DE", "SG"}));
    EXPECT_EQ(inMaintenance, 1);
    EXPECT_FALSE(demo.stableServers.isEmpty());
    EXPECT_EQ(demo.userNotice.size() + demo.commonNotice.size(), 1);
    EXPECT_TRUE(demo.enforceSession);
}

TEST(ScenarioTest, Defaults_ApplyToAnEmptyObject) {
    const auto scenario = Scenario::fromJson("{}");
    ASSERT_TRUE(scenario);
    EXPECT_TRUE(scenario->enforceSession);
    EXPECT_EQ(scenario->versionResult, "200");
    EXPECT_EQ(scenario->loginFailureResult, "600");
    EXPECT_TRUE(scenario->accounts.isEmpty());
}

TEST(ScenarioTest, Mistakes_AreReportedWithTheKey) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"acounts": []})", "acounts"},
        {R"({"accounts": [{"email": 5}]})", "email"},
        {R"({"accounts": [{"expiry": "next week"}]})", "expiry"},
        {R"({"servers": [{"is_active": "yes"}]})", "is_active"},
        {R"({"faults": [{"path": "/v1/x", "kind": "explode"}]})", "kind"},
        {R"({"faults": [{"kind": "drop"}]})", "path"},
        {R"({"resultOverrides": {"/v1/x": 300}})", "resultOverrides"},
        {R"({"enforceSession": true,)", "parse"},
        {R"([1, 2])", "scenario"},
    };
    for (const auto& [json, word] : cases) {
        QString error;
        EXPECT_FALSE(Scenario::fromJson(json, &error)) << json;
        EXPECT_TRUE(error.contains(QLatin1String(word))) << json << " -> " << error.toStdString();
    }
}

TEST(ScenarioTest, Expiry_GivenTextWinsAndPastMeansExpired) {
    const QDateTime now = QDateTime::fromString("2025-03-01 12:00:00", "yyyy-MM-dd HH:mm:ss");
    ScenarioAccount account;
    EXPECT_EQ(account.expiryText(now), "");
    EXPECT_FALSE(account.hasExpired(now));

    account.expiresInSeconds = 90;
    EXPECT_EQ(account.expiryText(now), "2025-03-01 12:01:30");
    EXPECT_FALSE(account.hasExpired(now));
    account.expiresInSeconds = -1;
    EXPECT_TRUE(account.hasExpired(now));

    account.expiry = "2025-03-08 00:00:00";
    EXPECT_EQ(account.expiryText(now), "2025-03-08 00:00:00");
    EXPECT_FALSE(account.hasExpired(now));
}

TEST(ScenarioTest, FaultFromJson_ReadsHostsAndCount) {
    const auto fault = Scenario::faultFromJson(
        R"({"path": "/v1/app_stable_server", "kind": "delay", "delayMs": 250, "hosts": [1, 3],
            "remaining": 2})");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->first, "/v1/app_stable_server");
    EXPECT_EQ(fault->second.kind, Fault::Kind::Delay);
    EXPECT_EQ(fault->second.delayMs, 250);
    EXPECT_TRUE(fault->second.appliesToHost(3));
    EXPECT_FALSE(fault->second.appliesToHost(0));
    EXPECT_EQ(fault->second.remaining, 2);
    EXPECT_FALSE(Scenario::faultFromJson(R"({"path": "/x", "kind": "delay", "delayMs": -5})"));
}

} // namespace
