#include "connection/Failover.h"

#include "ConnectionFixture.h"
#include "api/ApiClient.h"
#include "connection/ConnectionEvents.h"
#include "core/AppInfo.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingConnectionObserver.h"
#include "ui/NetworkButton.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QSignalSpy>

namespace {
const char* kStable = ApiPath::stableServer;
const char* kReport = ApiPath::reportFailedServer;

ScenarioServer stableServer(const QString& protocol, const QString& name, const QString& host) {
    ScenarioServer server;
    server.protocol = protocol;
    server.name = name;
    server.hostdomain = host;
    server.hostip = host;
    server.country = QStringLiteral("JP");
    server.telecom = QStringLiteral("EM");
    server.config = QStringLiteral("client\r\nremote ") + host + QStringLiteral("\r\n");
    return server;
}
} // namespace

class FailoverTest : public ConnectionTest {
protected:
    void setStable(const QList<ScenarioServer>& servers) {
        service().scenario().stableServers = servers;
    }
    // The main stage runs out; waits for the stable-server reply to be handled.
    void expireMainStage(const std::function<bool()>& handled) {
        tickMain(10);
        ASSERT_TRUE(waitUntil(handled, 5000));
    }
    bool currentIs(const QString& name) {
        return appState().currentServer && appState().currentServer->name == name;
    }
    QString errorText() { return screen->lbError->text(); }
    bool errorShown() { return screen->boxError->isVisibleTo(screen.get()); }
};

TEST_F(FailoverTest, FullTable_MainThenStableIKEv2ThenOpenVPNThenGivesUp) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    const QString mainName = appState().currentServer->name;
    const QString mainHost = appState().currentServer->hostdomain;

    tickMain(9);
    EXPECT_EQ(appState().failoverCountdown, 1);
    EXPECT_TRUE(formsOf(kStable).isEmpty());
    tickMain(1);
    ASSERT_TRUE(waitUntil([this] { return currentIs(QStringLiteral("Tokyo 2")); }));

    const auto stable = formsOf(kStable);
    ASSERT_EQ(stable.size(), 1);
    const QMap<QString, QString> expected{{"csrfmiddlewaretoken", appState().csrfToken},
                                          {"telecom", "EM"},
                                          {"server_name", mainName},
                                          {"server_ip", mainHost},
                                          {"platform", "macOS"},
                                          {"device", Failover::deviceDescription()},
                                          {"app_version", appShortVersion()},
                                          {"protocol", "IKEV2"}};
    EXPECT_EQ(stable[0], expected);
    EXPECT_TRUE(Failover::deviceDescription().startsWith(QStringLiteral("macOS ")));
    EXPECT_TRUE(tunnel.calls.contains(QStringLiteral("disconnectIKEv2")));
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("connectIKEv2 127.0.1.12"));
    // Told before the first stable server is tried, with all of them.
    EXPECT_EQ(observer.events,
              QStringList(
                  {QStringLiteral("attemptStarting 1"),
                   QStringLiteral("attemptStarting %1").arg(appState().stableServerList.size())}));
    EXPECT_EQ(errorText(), localized(QStringLiteral("error_connect_failed1")));
    EXPECT_TRUE(errorShown());
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Tokyo 2")) << "the server being tried";
    EXPECT_TRUE(screen->CheckBoxIKEV->isChecked());
    EXPECT_TRUE(screen->isAutoServer());
    EXPECT_EQ(appState().failoverCountdown, 10);

    tickEM1(2);
    EXPECT_TRUE(errorShown());
    tickEM1(1);
    EXPECT_FALSE(errorShown()) << "the message stays up for three ticks";
    tickEM1(7);

    ASSERT_TRUE(waitUntil([this] { return formsOf(kReport).size() == 1; }));
    EXPECT_EQ(formsOf(kReport)[0].value("server_name"), QStringLiteral("Tokyo 2"));
    EXPECT_EQ(formsOf(kReport)[0].value("server_ip"), QStringLiteral("127.0.1.12"));
    EXPECT_EQ(formsOf(kReport)[0].value("protocol"), QStringLiteral("IKEV2"));
    EXPECT_TRUE(currentIs(QStringLiteral("Seoul 2")));
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    EXPECT_TRUE(screen->CheckBoxOpen->isChecked());
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Seoul 2"));
    EXPECT_EQ(errorText(), localized(QStringLiteral("error_connect_failed2")));
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("launchOpenVPN"));
    EXPECT_TRUE(appState().isConnecting);

    tickEM2(10);
    ASSERT_TRUE(waitUntil([this] { return formsOf(kReport).size() == 2; }));
    EXPECT_EQ(formsOf(kReport)[1].value("server_name"), QStringLiteral("Seoul 2"));
    EXPECT_EQ(formsOf(kReport)[1].value("protocol"), QStringLiteral("OPENVPN"));
    EXPECT_TRUE(tunnel.calls.contains(QStringLiteral("stopOpenVPN")));
    EXPECT_EQ(alerts().confirmTexts,
              QStringList{localized(QStringLiteral("error_connect_failed"))});
    EXPECT_FALSE(appState().isConnecting);
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_EQ(appState().failoverCountdown, 10);
}

TEST_F(FailoverTest, FirstStableServerOpenVPN_SkipsEM1AndReportsTheSecondAtTheEnd) {
    setStable({stableServer("OPENVPN", "Seoul 2", "127.0.1.11"),
               stableServer("IKEV2", "Tokyo 2", "127.0.1.12")});
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    expireMainStage([this] { return currentIs(QStringLiteral("Seoul 2")); });
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    EXPECT_TRUE(screen->CheckBoxOpen->isChecked());
    EXPECT_TRUE(appState().isConnecting);
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Seoul 2")) << "the server being tried";
    EXPECT_TRUE(tunnel.calls.contains("writeOpenVPNFiles client\r\nremote 127.0.1.11\r\n"));

    tickEM2(10);
    ASSERT_TRUE(waitUntil([this] { return formsOf(kReport).size() == 1; }));
    EXPECT_EQ(formsOf(kReport)[0].value("server_name"), QStringLiteral("Tokyo 2"));
    EXPECT_EQ(alerts().confirmTexts,
              QStringList{localized(QStringLiteral("error_connect_failed"))});
}

TEST_F(FailoverTest, SingleOpenVPNStableServer_ReportsTheServerJustTried) {
    setStable({stableServer("OPENVPN", "Seoul 2", "127.0.1.11")});
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    expireMainStage([this] { return currentIs(QStringLiteral("Seoul 2")); });
    tickEM2(10);
    ASSERT_TRUE(waitUntil([this] { return formsOf(kReport).size() == 1; }));
    EXPECT_EQ(formsOf(kReport)[0].value("server_ip"), QStringLiteral("127.0.1.11"));
}

TEST_F(FailoverTest, EM1ExpiryWithOneStableServer_GivesUp) {
    setStable({stableServer("IKEV2", "Tokyo 2", "127.0.1.12")});
    pressConnectAndWait();
    expireMainStage([this] { return currentIs(QStringLiteral("Tokyo 2")); });
    tickEM1(10);
    ASSERT_TRUE(waitUntil([this] { return formsOf(kReport).size() == 1; }));
    EXPECT_EQ(alerts().confirmTexts,
              QStringList{localized(QStringLiteral("error_connect_failed"))});
    EXPECT_FALSE(appState().isConnecting);
}

TEST_F(FailoverTest, NeitherProtocol_IKEv2AttemptKeepsItsLookWithNoTimer) {
    setStable({stableServer("WIREGUARD", "Oslo", "127.0.1.20")});
    pressConnectAndWait();
    tickMain(10);
    ASSERT_TRUE(waitUntil([] { return !appState().stableServerList.isEmpty(); }));
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    EXPECT_NE(appState().currentServer->name, QStringLiteral("Oslo"));
}

TEST_F(FailoverTest, NeitherProtocolAfterOpenVPN_GoesToDisconnected) {
    setStable({stableServer("WIREGUARD", "Oslo", "127.0.1.20")});
    screen->ClickCheckBoxOpen();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    ASSERT_TRUE(appState().isConnecting);
    tickMain(10);
    ASSERT_TRUE(waitUntil([] { return !appState().isConnecting; }));
    EXPECT_TRUE(screen->NetworkButton->isEnabled());
}

TEST_F(FailoverTest, RefusedStableRequest_AlertsAndOpenVPNAttemptEnds) {
    service().scenario().resultOverrides[QLatin1String(kStable)] = QStringLiteral("500");
    screen->ClickCheckBoxOpen();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    tickMain(10);
    ASSERT_TRUE(waitUntil([this] { return !alerts().confirmTexts.isEmpty(); }));
    EXPECT_EQ(alerts().confirmTexts,
              QStringList{localized(QStringLiteral("error_no_stable_server"))});
    EXPECT_FALSE(appState().isConnecting);
    EXPECT_TRUE(tunnel.calls.contains(QStringLiteral("stopOpenVPN")));
}

TEST_F(FailoverTest, BothWords_StableReplyTakesIKEv2AndEM1ExpiryTakesOpenVPN) {
    setStable({stableServer("IKEV2,OPENVPN", "Both 1", "127.0.1.21"),
               stableServer("OPENVPN,IKEV2", "Both 2", "127.0.1.22")});
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    expireMainStage([this] { return currentIs(QStringLiteral("Both 1")); });
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("connectIKEv2 127.0.1.21"));
    tickEM1(10);
    EXPECT_TRUE(currentIs(QStringLiteral("Both 2")));
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("launchOpenVPN"));
}

TEST_F(FailoverTest, EM1ToIKEv2SecondServer_ConnectsWithoutATimerAndShowsOpenVPNTicked) {
    setStable({stableServer("IKEV2", "Tokyo 2", "127.0.1.12"),
               stableServer("IKEV2", "Tokyo 3", "127.0.1.13")});
    pressConnectAndWait();
    expireMainStage([this] { return currentIs(QStringLiteral("Tokyo 2")); });
    tickEM1(10);
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("connectIKEv2 127.0.1.13"));
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_TRUE(screen->CheckBoxOpen->isChecked());
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("IKEV2"));
}

TEST_F(FailoverTest, TunnelAlreadyUpAtStartup_DoesNotCountOnlyANewOneDoes) {
    interfaces.addUpIPv4(QStringLiteral("utun0"));
    appState().baselineUtunCount = 1;
    screen->ClickCheckBoxOpen();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    tickMain(3);
    EXPECT_FALSE(appState().isConnected);
    interfaces.addUpIPv4(QStringLiteral("utun1"));
    tickMain(1);
    EXPECT_TRUE(appState().isConnected);
    EXPECT_EQ(appState().failoverCountdown, 10);
    EXPECT_FALSE(appState().failoverTimer->isActive());
}

TEST_F(FailoverTest, ConnectedByStatusEvent_NextTickEndsTheStage) {
    pressConnectAndWait();
    appState().isConnected = true;
    tickMain(1);
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_EQ(appState().failoverCountdown, 10);
    EXPECT_TRUE(screen->svConnected->isVisibleTo(screen.get()));
}

TEST_F(FailoverTest, NewLinkDuringOpenVPNAttempt_ConnectsBeforeTheNextTick) {
    screen->ClickCheckBoxOpen();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    ASSERT_TRUE(linkMonitor.isRunning());
    linkMonitor.announce();
    EXPECT_FALSE(appState().isConnected) << "a link that is not a tunnel changes nothing";
    interfaces.addUpIPv4(QStringLiteral("utun3"));
    linkMonitor.announce();
    EXPECT_TRUE(appState().isConnected);
    EXPECT_EQ(appState().failoverCountdown, 10);
}

TEST_F(FailoverTest, ConnectedOpenVPNLosesItsInterface_IsAnUnexpectedDropThatKeepsTheBlock) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    connectOverOpenVPN();
    ASSERT_TRUE(appState().isConnected);
    tunnel.openVPNUp = true;
    QSignalSpy drops(&ConnectionEvents::shared(), &ConnectionEvents::unexpectedDrop);
    linkMonitor.announce();
    EXPECT_TRUE(appState().isConnected) << "a change that leaves the tunnel up changes nothing";

    // OpenVPN gone, and its interface with it.
    tunnel.openVPNUp = false;
    interfaces.removeAll(QStringLiteral("utun3"));
    linkMonitor.announce();
    EXPECT_FALSE(appState().isConnected);
    EXPECT_FALSE(screen->svConnected->isVisibleTo(screen.get()));
    EXPECT_EQ(drops.count(), 1);
    EXPECT_FALSE(observer.events.contains(QStringLiteral("userDisconnected")));
    EXPECT_FALSE(linkMonitor.isRunning());
}

TEST_F(FailoverTest, ScreenMadeWhileOpenVPNIsConnected_SeesTheDrop) {
    connectOverOpenVPN();
    ASSERT_TRUE(appState().isConnected);
    loadScreen();
    ASSERT_TRUE(screen->svConnected->isVisibleTo(screen.get()));
    interfaces.removeAll(QStringLiteral("utun3"));
    linkMonitor.announce();
    EXPECT_FALSE(appState().isConnected);
    EXPECT_FALSE(screen->svConnected->isVisibleTo(screen.get())) << "the screen shown now";
}

TEST_F(FailoverTest, UserDisconnectOfOpenVPN_StopsWatchingAndIsNoDrop) {
    connectOverOpenVPN();
    ASSERT_TRUE(appState().isConnected);
    QSignalSpy drops(&ConnectionEvents::shared(), &ConnectionEvents::unexpectedDrop);
    pressConnectAndWait();
    interfaces.removeAll(QStringLiteral("utun3"));
    linkMonitor.announce();
    EXPECT_FALSE(appState().isConnected);
    EXPECT_EQ(drops.count(), 0);
    EXPECT_FALSE(linkMonitor.isRunning());
}

TEST_F(FailoverTest, IKEv2Attempt_DoesNotWatchLinks) {
    pressConnectAndWait();
    EXPECT_FALSE(linkMonitor.isRunning());
    interfaces.addUpIPv4(QStringLiteral("utun3"));
    linkMonitor.announce();
    EXPECT_FALSE(appState().isConnected);
}

TEST_F(FailoverTest, NewStage_StopsThePreviousTimer) {
    pressConnectAndWait();
    QTimer* first = appState().failoverTimer.get();
    screen->failover().startStage(Failover::Stage::Main);
    EXPECT_NE(appState().failoverTimer.get(), first);
    EXPECT_TRUE(appState().failoverTimer->isActive());
}

TEST_F(FailoverTest, DisconnectDuringAnAttempt_EndsTheStageAndRestartsTheCountdownAt10) {
    pressConnectAndWait();
    tickMain(4);
    ASSERT_EQ(appState().failoverCountdown, 6);
    tunnel.report(VpnStatus::Disconnected);
    EXPECT_EQ(appState().failoverCountdown, 10);
    EXPECT_FALSE(appState().failoverTimer->isActive());
}
