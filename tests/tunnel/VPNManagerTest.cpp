#include "tunnel/VPNManager.h"

#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/SimulatedVpnService.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "tunnel/SharedTunnelTeardown.h"

#include <QCoreApplication>
#include <QThread>
#include <gmock/gmock.h>

using ErrorCode = SystemVpnService::ErrorCode;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

class StatusRecorder : public QObject {
public:
    void applyVPNStatus(VpnStatus status) {
        statuses << status;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }
    QList<VpnStatus> statuses;
    bool onMainThread = true;
};

// Every simulated step is a queued call: a few rounds of the loop finish any chain.
void drainEvents() {
    for (int round = 0; round < 100; ++round)
        QCoreApplication::processEvents();
}

class VPNManagerTest : public OrvelTest {
protected:
    VPNManagerTest() {
        services().itemStore = &items;
        services().vpnService = &vpn;
        vpn.setConnectDelay(5);
        VPNManager::resetShared(new VPNManager(vpn, items, preferences()));
        VPNManager::shared().statusEvent.subscribe(&recorder, &StatusRecorder::applyVPNStatus);
    }
    ~VPNManagerTest() override { VPNManager::resetShared(); }

    VPNManager& manager() { return VPNManager::shared(); }

    Configuration configuration(std::optional<QString> psk = std::nullopt) {
        return {QStringLiteral("kr1.vpn.example"), QStringLiteral("vpnuser"),
                QStringLiteral("pa\"ss\nword"), false, std::move(psk)};
    }

    // Connects and returns every message the completion received.
    QStringList connectAndSettle(const Configuration& config) {
        QStringList messages;
        manager().connect(config, config.server,
                          [&messages](const QString& message) { messages << message; });
        drainEvents();
        return messages;
    }

    void setCurrentServer(const QString& hostdomain) {
        appState().currentServer = std::make_shared<ServerData>(
            QStringLiteral("Seoul"), hostdomain, QStringLiteral("10.0.0.1"), true, true,
            QStringLiteral("KR"), QString(), QString(), QStringLiteral("IKEV2"), QString());
        appState().vpnUsername = QStringLiteral("retry-user");
        appState().vpnPassword = QStringLiteral("retry-pass");
    }

    QString recentServer() {
        return preferences().string(QStringLiteral("vpn_recent_connected_server")).value_or("?");
    }

    MemoryItemStore items;
    SimulatedVpnService vpn;
    StatusRecorder recorder;
};

} // namespace

TEST_F(VPNManagerTest, Creation_LoadsTheProfileAndNamesItAfterTheApp) {
    EXPECT_EQ(vpn.loadCount(), 1);
    connectAndSettle(configuration());
    EXPECT_EQ(vpn.storedDescription(), QStringLiteral("OrvelVPN"));
}

TEST_F(VPNManagerTest, Connect_WithoutPsk_StoresTheSettingsOfTheTable) {
    EXPECT_TRUE(connectAndSettle(configuration()).isEmpty());
    ASSERT_TRUE(vpn.storedConfiguration().has_value());
    const IKEv2Settings& stored = *vpn.storedConfiguration();
    EXPECT_EQ(stored.authenticationMethod, IKEv2Settings::Authentication::None);
    EXPECT_EQ(stored.serverAddress, QStringLiteral("kr1.vpn.example"));
    EXPECT_EQ(stored.remoteIdentifier, QStringLiteral("kr1.vpn.example"));
    EXPECT_EQ(stored.username, QStringLiteral("vpnuser"));
    EXPECT_EQ(stored.localIdentifier, QStringLiteral("vpnuser"));
    EXPECT_FALSE(stored.disconnectOnSleep);
    EXPECT_EQ(stored.deadPeerDetectionRate, 2);
    EXPECT_FALSE(stored.disableMOBIKE || stored.disableRedirect || stored.enableRevocationCheck ||
                 stored.enablePFS || stored.useConfigurationAttributeInternalIPSubnet);
    EXPECT_TRUE(stored.useExtendedAuthentication);
    ASSERT_TRUE(stored.passwordReference.has_value());
    EXPECT_EQ(items.resolvePersistentReference(*stored.passwordReference),
              QByteArray("pa\"ss\nword"));
    EXPECT_FALSE(stored.sharedSecretReference.has_value());
    EXPECT_TRUE(vpn.storedEnabled());
    EXPECT_EQ(vpn.startCount(), 1);
}

TEST_F(VPNManagerTest, Connect_WithPsk_UsesSharedSecretAndItsReference) {
    connectAndSettle(configuration(QStringLiteral("psk-value")));
    const IKEv2Settings& stored = *vpn.storedConfiguration();
    EXPECT_EQ(stored.authenticationMethod, IKEv2Settings::Authentication::SharedSecret);
    ASSERT_TRUE(stored.sharedSecretReference.has_value());
    EXPECT_EQ(items.resolvePersistentReference(*stored.sharedSecretReference),
              QByteArray("psk-value"));
    EXPECT_NE(*stored.sharedSecretReference, *stored.passwordReference);
}

TEST_F(VPNManagerTest, Connect_SecondConnect_OverwritesTheKeychainItem) {
    connectAndSettle(configuration());
    Configuration changed = configuration();
    changed.password = QStringLiteral("new-password");
    connectAndSettle(changed);
    EXPECT_EQ(items.count(), 1);
    EXPECT_EQ(items.resolvePersistentReference(*vpn.storedConfiguration()->passwordReference),
              QByteArray("new-password"));
}

TEST_F(VPNManagerTest, Connect_Success_ReportsConnectingThenConnectedAndNoMessage) {
    testing::internal::CaptureStdout();
    const QStringList messages = connectAndSettle(configuration());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_THAT(out, HasSubstr("저장할 서버주소 : kr1.vpn.example\n"));
    ASSERT_TRUE(waitUntil([&] { return recorder.statuses.size() == 2; }));
    EXPECT_THAT(recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected));
    EXPECT_EQ(manager().manager().status(), VpnStatus::Connected);
    EXPECT_EQ(recentServer(), QStringLiteral("kr1.vpn.example"));
}

TEST_F(VPNManagerTest, Connect_SaveFails_ReportsOnceAndStartsNothing) {
    vpn.setSaveError(QStringLiteral("permission denied"));
    testing::internal::CaptureStdout();
    const QStringList messages = connectAndSettle(configuration());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Unable to save vpn profile")});
    EXPECT_THAT(out, HasSubstr("Failed to save profile: permission denied\n"));
    EXPECT_EQ(vpn.startCount(), 0);
    EXPECT_EQ(recentServer(), QStringLiteral("kr1.vpn.example"));
    EXPECT_EQ(items.count(), 1);
}

TEST_F(VPNManagerTest, Connect_LoadFails_GoesOnThenReportsUnableToLoadOnce) {
    vpn.setLoadError(QStringLiteral("store unreadable"));
    testing::internal::CaptureStdout();
    const QStringList messages = connectAndSettle(configuration());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Unable to load profile")});
    EXPECT_THAT(out, HasSubstr("Failed to load preferences: store unreadable\n"));
    EXPECT_EQ(vpn.saveCount(), 1);
    EXPECT_EQ(vpn.startCount(), 0);
}

TEST_F(VPNManagerTest, Connect_StartRefused_LogsTheCodeAndReportsCantConnectOnce) {
    const std::pair<ErrorCode, const char*> cases[] = {
        {ErrorCode::ConfigurationInvalid, "Failed to start tunnel (configuration invalid)\n"},
        {ErrorCode::ConfigurationDisabled, "Failed to start tunnel (configuration disabled)\n"},
        {ErrorCode::Other, "Failed to start tunnel (other error)\n"},
    };
    for (const auto& [code, line] : cases) {
        vpn.queueStartErrors({code});
        testing::internal::CaptureStdout();
        const QStringList messages = connectAndSettle(configuration());
        EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr(line));
        EXPECT_EQ(messages, QStringList{QStringLiteral("Can't connect")});
    }
    EXPECT_EQ(vpn.startCount(), 3);
}

TEST_F(VPNManagerTest, StartRefused_ReconnectsWithTheCurrentServer) {
    setCurrentServer(QStringLiteral("jp2.vpn.example"));
    vpn.queueStartErrors({ErrorCode::Other});
    testing::internal::CaptureStdout();
    const QStringList messages = connectAndSettle(configuration());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Can't connect")});
    EXPECT_EQ(vpn.startCount(), 2);
    const IKEv2Settings& stored = *vpn.storedConfiguration();
    EXPECT_EQ(stored.serverAddress, QStringLiteral("jp2.vpn.example"));
    EXPECT_EQ(stored.username, QStringLiteral("retry-user"));
    EXPECT_EQ(items.resolvePersistentReference(*stored.passwordReference),
              QByteArray("retry-pass"));
    EXPECT_EQ(preferences().string(QStringLiteral("SERVER_KEY")),
              QStringLiteral("jp2.vpn.example"));
    EXPECT_EQ(recentServer(), QStringLiteral("jp2.vpn.example"));
    EXPECT_THAT(out, HasSubstr("저장할 서버주소 : jp2.vpn.example\n"));
}

TEST_F(VPNManagerTest, StartRefusedForever_ReconnectsOnlyUpToTheLimit) {
    setCurrentServer(QStringLiteral("jp2.vpn.example"));
    vpn.setStartError(ErrorCode::Other);
    testing::internal::CaptureStdout();
    const QStringList messages = connectAndSettle(configuration());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(vpn.startCount(), 1 + VPNManager::kReconnectLimit);
    // The reconnects' own messages reach standard output only.
    EXPECT_THAT(out, HasSubstr("Can't connect\n"));
}

TEST_F(VPNManagerTest, StartRefused_CountResetsAfterASuccessfulStart) {
    setCurrentServer(QStringLiteral("jp2.vpn.example"));
    vpn.queueStartErrors({ErrorCode::Other, ErrorCode::Other, ErrorCode::Other});
    connectAndSettle(configuration());
    EXPECT_EQ(vpn.startCount(), 4);
    vpn.setStartError(ErrorCode::Other);
    connectAndSettle(configuration());
    EXPECT_EQ(vpn.startCount(), 4 + 1 + VPNManager::kReconnectLimit);
}

TEST_F(VPNManagerTest, StartRefused_WithoutCurrentServer_DoesNotRetry) {
    vpn.setStartError(ErrorCode::Other);
    const QStringList messages = connectAndSettle(configuration());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Can't connect")});
    EXPECT_EQ(vpn.startCount(), 1);
}

TEST_F(VPNManagerTest, StartRefused_AfterTheUserDisconnected_DoesNotRetry) {
    setCurrentServer(QStringLiteral("jp2.vpn.example"));
    vpn.setStartError(ErrorCode::Other);
    QStringList messages;
    manager().connect(configuration(), QStringLiteral("kr1.vpn.example"),
                      [&messages](const QString& message) { messages << message; });
    manager().disconnect();
    drainEvents();
    EXPECT_EQ(messages, QStringList{QStringLiteral("Can't connect")});
    EXPECT_EQ(vpn.startCount(), 1);
}

TEST_F(VPNManagerTest, Disconnect_SaveFails_StopsAnywayThenCompletes) {
    connectAndSettle(configuration());
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Connected; }));
    vpn.setSaveError(QStringLiteral("denied"));
    int stopsAtCompletion = -1;
    manager().disconnect([&] { stopsAtCompletion = vpn.stopCount(); });
    EXPECT_EQ(recentServer(), QString());
    EXPECT_EQ(vpn.stopCount(), 0);
    drainEvents();
    EXPECT_EQ(stopsAtCompletion, 1);
    EXPECT_TRUE(vpn.onDemandRulesCleared());
    EXPECT_THAT(recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected,
                                               VpnStatus::Disconnecting, VpnStatus::Disconnected));
}

TEST_F(VPNManagerTest, Disconnect_SavesOnDemandOff) {
    connectAndSettle(configuration());
    manager().disconnect();
    drainEvents();
    EXPECT_EQ(vpn.saveCount(), 2);
    EXPECT_FALSE(vpn.storedOnDemandEnabled());
    EXPECT_TRUE(vpn.onDemandRulesCleared());
}

// The quit goes ahead only once the tunnel is down: a process that ends first would
// leave the IKE SA up.
TEST_F(VPNManagerTest, DisconnectForTermination_RepliesOnceTheTunnelIsDown) {
    connectAndSettle(configuration());
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Connected; }));
    std::optional<bool> reply;
    VpnStatus statusAtReply = VpnStatus::Connected;
    manager().disconnectForTermination([&](bool answer) {
        reply = answer;
        statusAtReply = vpn.status();
    });
    EXPECT_FALSE(reply.has_value());
    EXPECT_EQ(recentServer(), QString());
    ASSERT_TRUE(waitUntil([&] { return reply.has_value(); }));
    EXPECT_EQ(reply, true);
    EXPECT_EQ(statusAtReply, VpnStatus::Disconnected);
    EXPECT_EQ(vpn.stopCount(), 1);
}

// A stop whose end is reported late must not end the attempt to the next server.
TEST_F(VPNManagerTest, ConnectRightAfterDisconnect_TheOldTunnelsEndIsNotTold) {
    connectAndSettle(configuration());
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Connected; }));
    recorder.statuses.clear();
    manager().disconnect();
    connectAndSettle(configuration());
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Connected; }));
    drainEvents();
    EXPECT_THAT(recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected));
    manager().disconnect();
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Disconnected; }));
    drainEvents();
    EXPECT_EQ(recorder.statuses.last(), VpnStatus::Disconnected);
}

TEST_F(VPNManagerTest, StatusEvent_OneNotifyPerChange_OnTheMainThread) {
    connectAndSettle(configuration());
    ASSERT_TRUE(waitUntil([&] { return vpn.status() == VpnStatus::Connected; }));
    vpn.drop();
    drainEvents();
    QThread* worker = QThread::create([this] { emit vpn.statusDidChange(); });
    worker->start();
    worker->wait();
    delete worker;
    ASSERT_TRUE(waitUntil([&] { return recorder.statuses.size() == 4; }));
    EXPECT_THAT(recorder.statuses, ElementsAre(VpnStatus::Connecting, VpnStatus::Connected,
                                               VpnStatus::Disconnected, VpnStatus::Disconnected));
    EXPECT_TRUE(recorder.onMainThread);
}

TEST_F(VPNManagerTest, Shared_IsBuiltFromTheWiredServicesOnce) {
    VPNManager::resetShared();
    VPNManager& first = VPNManager::shared();
    EXPECT_EQ(&first, &VPNManager::shared());
    EXPECT_EQ(&first.manager(), &vpn);
}

TEST_F(VPNManagerTest, Teardown_GoesThroughTheSharedManagerAndTheStopScript) {
    int stopScripts = 0;
    SharedTunnelTeardown teardown([&stopScripts] { ++stopScripts; });
    connectAndSettle(configuration());
    teardown.disconnectIKEv2();
    EXPECT_EQ(recentServer(), QString());
    std::optional<bool> reply;
    teardown.disconnectIKEv2ForTermination([&reply](bool answer) { reply = answer; });
    ASSERT_TRUE(waitUntil([&] { return reply.has_value(); }));
    teardown.runOpenVPNStopScript();
    EXPECT_EQ(stopScripts, 1);
    drainEvents();
    EXPECT_EQ(vpn.saveCount(), 3);
    EXPECT_EQ(vpn.stopCount(), 2);
}
