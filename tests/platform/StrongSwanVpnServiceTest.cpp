#include "platform/StrongSwanVpnService.h"

#include "support/MemoryItemStore.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QTest>
#include <gmock/gmock.h>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// Answers each swanctl command from a script, later, like a child process would.
class ScriptedSwanctl final : public QObject, public SwanctlRunner {
public:
    void run(const QStringList& arguments, std::function<void(const Result&)> done) override {
        commands << arguments.first();
        const Result result = answer ? answer(arguments) : Result{0, {}};
        QMetaObject::invokeMethod(
            this, [done, result] { done(result); }, Qt::QueuedConnection);
    }
    int count(const QString& command) const { return commands.count(command); }

    QStringList commands;
    std::function<Result(const QStringList&)> answer;
};

class StatusLog : public QObject {
public:
    explicit StatusLog(SystemVpnService& service) {
        connect(&service, &SystemVpnService::statusDidChange, this,
                [this, &service] { statuses << service.status(); });
    }
    QList<VpnStatus> statuses;
};

const QByteArray kEstablished =
    "list-sa event {orvel-ikev2 {uniqueid=1 state=ESTABLISHED child-sas {orvel-ikev2-1 "
    "{state=INSTALLED}}}}\n";

class StrongSwanVpnServiceTest : public OrvelTest {
protected:
    StrongSwanVpnServiceTest() {
        settings.profileFile = tempPath() + QStringLiteral("/data/ikev2-profile.json");
        settings.swanctlFolder = tempPath() + QStringLiteral("/data/swanctl");
        settings.viciSocket = tempPath() + QStringLiteral("/charon.vici");
        settings.trustedCa = tempPath() + QStringLiteral("/ca.crt");
        settings.remoteTrafficSelector = QStringLiteral("10.201.0.0/24");
        settings.connectedCheckMs = 10;
        QFile ca(settings.trustedCa);
        ca.open(QIODevice::WriteOnly);
        ca.write("-----BEGIN CERTIFICATE-----\n");
        swanctl.answer = [this](const QStringList& arguments) -> SwanctlRunner::Result {
            if (arguments.first() == QLatin1String("--list-sas"))
                return {0, tunnelUp ? kEstablished : QByteArray("list-sas reply {}\n")};
            if (arguments.first() == QLatin1String("--initiate"))
                return {initiateSucceeds ? 0 : 1, {}};
            return {0, {}};
        };
    }

    void startCharon() { ASSERT_TRUE(charon.listen(settings.viciSocket)); }

    std::unique_ptr<StrongSwanVpnService> makeService() {
        return std::make_unique<StrongSwanVpnService>(items, swanctl, settings);
    }

    IKEv2Settings profile(const QString& username = QStringLiteral("alice")) {
        ItemStore::Query query{QStringLiteral("OrvelKeychain"), std::nullopt, "KEY"};
        items.add(query, "pa\"ss\nword");
        QByteArray reference;
        items.copyPersistentReference(query, &reference);
        IKEv2Settings s;
        s.serverAddress = s.remoteIdentifier = QStringLiteral("10.251.0.1");
        s.username = s.localIdentifier = username;
        s.passwordReference = reference;
        return s;
    }

    QString save(StrongSwanVpnService& service) {
        std::optional<QString> error;
        service.saveToPreferences([&error](const QString& e) { error = e; });
        EXPECT_TRUE(waitUntil([&] { return error.has_value(); }));
        return error.value_or(QStringLiteral("no completion"));
    }

    // A saved, enabled profile in a service that is ready to start.
    std::unique_ptr<StrongSwanVpnService> readyService() {
        auto service = makeService();
        service->setProtocolConfiguration(profile());
        service->setEnabled(true);
        EXPECT_EQ(save(*service), QString());
        return service;
    }

    StrongSwanVpnService::Settings settings;
    MemoryItemStore items;
    ScriptedSwanctl swanctl;
    QLocalServer charon;
    bool tunnelUp = false;
    bool initiateSucceeds = true;
};

} // namespace

TEST_F(StrongSwanVpnServiceTest, Save_WritesOwnerOnlyFilesAndLoadsThemIntoCharon) {
    startCharon();
    auto service = readyService();
    const QString conf = settings.swanctlFolder + QStringLiteral("/swanctl.conf");
    const auto groupOrOther = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                              QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (const QString& path : {settings.profileFile, conf}) {
        EXPECT_EQ(QFile::permissions(path) & groupOrOther, QFile::Permissions())
            << path.toStdString();
        EXPECT_TRUE(QFile::permissions(path).testFlags(QFile::ReadOwner | QFile::WriteOwner));
    }
    QFile file(conf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    EXPECT_THAT(text, HasSubstr("remote_ts = 10.201.0.0/24"));
    EXPECT_THAT(text,
                HasSubstr("secret = 0s" + QByteArray("pa\"ss\nword").toBase64().toStdString()));
    EXPECT_TRUE(QFile::exists(settings.swanctlFolder + QStringLiteral("/x509ca/ca.crt")));
    EXPECT_EQ(swanctl.commands, QStringList{QStringLiteral("--load-all")});
}

TEST_F(StrongSwanVpnServiceTest, Save_CharonRefusesTheConnection_IsAnError) {
    startCharon();
    swanctl.answer = [](const QStringList&) { return SwanctlRunner::Result{1, {}}; };
    auto service = makeService();
    service->setProtocolConfiguration(profile());
    EXPECT_THAT(save(*service).toStdString(), HasSubstr("charon did not take"));
}

TEST_F(StrongSwanVpnServiceTest, Save_HostileUserName_IsRefusedBeforeAnyFileOfCharon) {
    startCharon();
    auto service = makeService();
    service->setProtocolConfiguration(profile(QStringLiteral("alice\"\n}")));
    EXPECT_THAT(save(*service).toStdString(), HasSubstr("control characters"));
    EXPECT_FALSE(QFile::exists(settings.swanctlFolder + QStringLiteral("/swanctl.conf")));
    EXPECT_TRUE(swanctl.commands.isEmpty());
}

TEST_F(StrongSwanVpnServiceTest, Load_ReadsBackWhatASaveStored) {
    const IKEv2Settings saved = profile();
    {
        auto service = makeService();
        service->setProtocolConfiguration(saved);
        service->setEnabled(true);
        EXPECT_EQ(save(*service), QString());
    }
    auto service = makeService();
    std::optional<QString> error;
    service->loadFromPreferences([&error](const QString& e) { error = e; });
    ASSERT_TRUE(waitUntil([&] { return error.has_value(); }));
    EXPECT_EQ(*error, QString());
    ASSERT_TRUE(service->protocolConfiguration().has_value());
    const IKEv2Settings loaded = *service->protocolConfiguration();
    EXPECT_EQ(loaded.serverAddress, saved.serverAddress);
    EXPECT_EQ(loaded.username, saved.username);
    EXPECT_EQ(loaded.passwordReference, saved.passwordReference);
    EXPECT_FALSE(loaded.sharedSecretReference.has_value());
    EXPECT_TRUE(loaded.useExtendedAuthentication);
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::Other);
}

TEST_F(StrongSwanVpnServiceTest, Load_MissingOrDamagedFile) {
    auto service = makeService();
    std::optional<QString> error;
    service->loadFromPreferences([&error](const QString& e) { error = e; });
    ASSERT_TRUE(waitUntil([&] { return error.has_value(); }));
    EXPECT_EQ(*error, QString());
    EXPECT_FALSE(service->protocolConfiguration().has_value());

    QDir().mkpath(QFileInfo(settings.profileFile).absolutePath());
    QFile file(settings.profileFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"ikev2\": ");
    file.close();
    error.reset();
    service->loadFromPreferences([&error](const QString& e) { error = e; });
    ASSERT_TRUE(waitUntil([&] { return error.has_value(); }));
    EXPECT_THAT(error->toStdString(), HasSubstr("damaged"));
}

TEST_F(StrongSwanVpnServiceTest, Start_RefusedByCode) {
    auto service = makeService();
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::ConfigurationInvalid);
    service->setProtocolConfiguration(profile());
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::ConfigurationDisabled);
    service->setEnabled(true);
    // No daemon behind the socket path.
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::Other);
    EXPECT_TRUE(swanctl.commands.isEmpty());
}

TEST_F(StrongSwanVpnServiceTest, Start_StatusFollowsTheEstablishedSa) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    tunnelUp = true;
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::None);
    EXPECT_EQ(service->status(), VpnStatus::Disconnected);
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
    EXPECT_THAT(log.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected));
    EXPECT_EQ(swanctl.commands.mid(1, 3),
              (QStringList{QStringLiteral("--load-all"), QStringLiteral("--initiate"),
                           QStringLiteral("--list-sas")}));
}

TEST_F(StrongSwanVpnServiceTest, Start_InitiateFails_BackToDisconnected) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    initiateSucceeds = false;
    service->startVPNTunnel();
    ASSERT_TRUE(waitUntil([&] { return log.statuses.size() == 2; }));
    EXPECT_THAT(log.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Disconnected));
}

TEST_F(StrongSwanVpnServiceTest, Connected_PeerDrop_IsNoticedAndPollingStops) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    tunnelUp = true;
    service->startVPNTunnel();
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
    tunnelUp = false;
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Disconnected; }));
    const int checks = swanctl.count(QStringLiteral("--list-sas"));
    QTest::qWait(60);
    EXPECT_EQ(swanctl.count(QStringLiteral("--list-sas")), checks);
    EXPECT_THAT(log.statuses,
                ElementsAre(VpnStatus::Connecting, VpnStatus::Connected, VpnStatus::Disconnected));
}

TEST_F(StrongSwanVpnServiceTest, Stop_TerminatesAndReportsDisconnectingThenDisconnected) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    tunnelUp = true;
    service->startVPNTunnel();
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
    tunnelUp = false;
    service->stopVPNTunnel();
    ASSERT_TRUE(waitUntil([&] { return log.statuses.size() == 4; }));
    EXPECT_THAT(log.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected,
                                          VpnStatus::Disconnecting, VpnStatus::Disconnected));
    EXPECT_EQ(swanctl.count(QStringLiteral("--terminate")), 1);
}

TEST_F(StrongSwanVpnServiceTest, Stop_RightAfterStart_WinsOverTheStart) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    tunnelUp = true;
    service->startVPNTunnel();
    service->stopVPNTunnel();
    tunnelUp = false;
    ASSERT_TRUE(waitUntil([&] {
        return service->status() == VpnStatus::Disconnected &&
               swanctl.count(QStringLiteral("--list-sas")) == 1;
    }));
    EXPECT_EQ(swanctl.count(QStringLiteral("--initiate")), 0);
    EXPECT_FALSE(log.statuses.contains(VpnStatus::Connected));
}

// Failover stops one server's tunnel and starts the next at once: the start waits for
// the stop instead of being taken for the tunnel still up.
TEST_F(StrongSwanVpnServiceTest, StartWhileTheLastTunnelIsBeingStopped_RunsAfterTheStop) {
    startCharon();
    auto service = readyService();
    StatusLog log(*service);
    tunnelUp = true;
    service->startVPNTunnel();
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
    service->stopVPNTunnel();
    EXPECT_EQ(service->startVPNTunnel(), SystemVpnService::ErrorCode::None);
    ASSERT_TRUE(waitUntil([&] { return swanctl.count(QStringLiteral("--initiate")) == 2; }));
    EXPECT_LT(swanctl.commands.indexOf(QStringLiteral("--terminate")),
              swanctl.commands.lastIndexOf(QStringLiteral("--initiate")));
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
}

TEST_F(StrongSwanVpnServiceTest, Stop_WhenIdle_RunsNothing) {
    startCharon();
    auto service = readyService();
    service->stopVPNTunnel();
    QCoreApplication::processEvents();
    EXPECT_EQ(swanctl.commands, QStringList{QStringLiteral("--load-all")});
}

TEST_F(StrongSwanVpnServiceTest, FirstLoad_FindsATunnelLeftFromAnEarlierRun) {
    startCharon();
    tunnelUp = true;
    auto service = makeService();
    service->loadFromPreferences({});
    ASSERT_TRUE(waitUntil([&] { return service->status() == VpnStatus::Connected; }));
}

TEST_F(StrongSwanVpnServiceTest, ViciReachable_OnlyWithAListeningDaemon) {
    EXPECT_FALSE(StrongSwanVpnService::viciReachable(settings.viciSocket));
    startCharon();
    EXPECT_TRUE(StrongSwanVpnService::viciReachable(settings.viciSocket));
    EXPECT_TRUE(
        StrongSwanVpnService::viciReachable(QStringLiteral("unix://") + settings.viciSocket));
    charon.close();
    EXPECT_FALSE(StrongSwanVpnService::viciReachable(settings.viciSocket));
}
