#include "ConnectionFixture.h"
#include "api/ApiClient.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSettings.h"
#include "connection/ConnectionStates.h"
#include "connection/Reconnector.h"
#include "connection/TunnelWatch.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingConnectionObserver.h"

#include <QFrame>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

// What happens to a tunnel after it came up: OpenVPN's own restarts, drops and the way
// back by itself, changes of the network and resume from sleep.
class ReconnectTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        services().connectionObserver = &observer;
    }
    void connectOverIKEv2ToTokyo() {
        appState().currentServer = appState().ikev2ServerList.at(1);
        screen->refreshServerDisplay();
        pressConnectAndWait();
        tunnel.report(VpnStatus::Connected);
    }
    void loseTheOpenVPNInterface() {
        interfaces.removeAll(QStringLiteral("utun3"));
        linkMonitor.announce();
    }
    bool showsConnecting() { return screen->LoadingBar->isVisibleTo(screen.get()); }
    // For the cases about what comes before a reconnect.
    void reconnectOff() {
        ConnectionSettings(*services().preferences).setReconnectAutomatically(false);
    }

    RecordingConnectionObserver observer;
    QSignalSpy drops{&ConnectionEvents::shared(), &ConnectionEvents::unexpectedDrop};
    QSignalSpy connects{&ConnectionEvents::shared(), &ConnectionEvents::connected};
};

// ping-restart or a restarted server: OpenVPN takes its interface away and makes it again.
// While our OpenVPN runs, that is a reconnect inside it, with the kill switch's rules of an
// attempt; the drop is only when it exits.
TEST_F(ReconnectTest, OpenVPNRestartInsideItsProcess_IsNoDropUnlessItExits) {
    reconnectOff();
    for (const bool exits : {false, true}) {
        SCOPED_TRACE(exits ? "OpenVPN exits" : "the interface comes back");
        connectOverOpenVPN();
        tunnel.openVPNUp = true;
        drops.clear();
        connects.clear();
        observer.events.clear();
        tunnel.calls.clear();

        loseTheOpenVPNInterface();
        EXPECT_TRUE(appState().isConnecting);
        EXPECT_TRUE(showsConnecting());
        EXPECT_TRUE(session->watch().isInRestartGrace());
        EXPECT_EQ(observer.events, QStringList{QStringLiteral("attemptStarting 1")});
        EXPECT_TRUE(drops.isEmpty());

        if (exits) {
            tunnel.exitOpenVPN();
            EXPECT_EQ(drops.count(), 1);
            EXPECT_FALSE(appState().isConnecting);
            EXPECT_FALSE(session->watch().isInRestartGrace());
        } else {
            interfaces.addUpIPv4(QStringLiteral("utun3"));
            linkMonitor.announce();
            EXPECT_TRUE(appState().isConnected);
            EXPECT_TRUE(screen->svConnected->isVisibleTo(screen.get()));
            EXPECT_TRUE(drops.isEmpty());
            EXPECT_TRUE(connects.isEmpty()) << "a restored tunnel is no new connection";
            EXPECT_FALSE(tunnel.calls.contains(QStringLiteral("stopOpenVPN")));
            EXPECT_EQ(observer.events.last(), QStringLiteral("tunnelConnected"));
            screen->ClickConnect();
            interfaces.removeAll(QStringLiteral("utun3"));
        }
    }
}

// After a drop the client asks for the same server and protocol again, after a pause,
// with the connecting look and the kill switch's rules of an attempt; one connected event
// ends it.
TEST_F(ReconnectTest, UnexpectedDrop_ReconnectsToTheSameServerAfterAPause) {
    connectOverIKEv2ToTokyo();
    const qsizetype checks = formsOf(ApiPath::newCheckServer).size();
    observer.events.clear();
    connects.clear();

    tunnel.report(VpnStatus::Disconnected);
    ASSERT_EQ(drops.count(), 1);
    ASSERT_TRUE(waitUntil([this] { return session->reconnector().isReconnecting(); }));
    EXPECT_TRUE(showsConnecting());
    EXPECT_EQ(screen->lbError->text(), localized(QStringLiteral("RECONNECTING")));
    EXPECT_EQ(observer.events, QStringList{QStringLiteral("attemptStarting 1")});
    EXPECT_EQ(formsOf(ApiPath::newCheckServer).size(), checks) << "not before the pause";

    ASSERT_TRUE(waitUntil([&] { return formsOf(ApiPath::newCheckServer).size() > checks; },
                          Reconnector::kPausesMs[0] + 1000));
    const auto check = formsOf(ApiPath::newCheckServer).last();
    EXPECT_EQ(check.value("server_name"), QStringLiteral("127.0.1.2"));
    EXPECT_EQ(check.value("server_protocol"), QStringLiteral("IKEV2"));
    ASSERT_TRUE(waitUntil([this] { return !screen->connectSequence().isCheckOutstanding(); }));
    tunnel.report(VpnStatus::Connected);
    EXPECT_EQ(connects.count(), 1);
    EXPECT_FALSE(session->reconnector().isReconnecting());
    EXPECT_FALSE(ConnectionEvents::shared().isReconnecting());

    // A drop of an automatically matched tunnel asks for automatic matching again.
    screen->states().isAutoServer = true;
    session->connectSequence().reconnect();
    ASSERT_TRUE(waitUntil([this] { return !screen->connectSequence().isCheckOutstanding(); }));
    EXPECT_EQ(formsOf(ApiPath::newCheckServer).last().value("server_name"), QString());
}

// The way back ends with the user: the setting off, a disconnect (or sign-out, quit), or a
// refusal of the service, whose alert asks the user.
TEST_F(ReconnectTest, Reconnecting_EndsWithTheUser) {
    const QList<std::pair<const char*, std::function<void()>>> enders = {
        {"setting off",
         [] { ConnectionSettings(*services().preferences).setReconnectAutomatically(false); }},
        {"user disconnect", [this] { session->reconnector().userDisconnected(); }},
        {"refusal", [] { emit ConnectionEvents::shared().connectRefused(QStringLiteral("no")); }}};
    for (const auto& [name, end] : enders) {
        SCOPED_TRACE(name);
        ConnectionSettings(*services().preferences).setReconnectAutomatically(true);
        connectOverIKEv2ToTokyo();
        const bool endsBeforeTheDrop = name == std::string("setting off");
        if (endsBeforeTheDrop)
            end();
        tunnel.report(VpnStatus::Disconnected);
        QTest::qWait(20);
        if (!endsBeforeTheDrop) {
            ASSERT_TRUE(session->reconnector().isReconnecting());
            end();
        }
        EXPECT_FALSE(session->reconnector().isReconnecting());
        EXPECT_FALSE(ConnectionEvents::shared().isReconnecting());
        appState().isConnecting = false;
    }
}

// A changed network or a resume leads to a check of the tunnel: charon's SA for IKEv2,
// our process and its interface for OpenVPN; a tunnel still there is left alone.
TEST_F(ReconnectTest, NetworkChangeOrResume_ChecksTheTunnel) {
    reconnectOff();
    connectOverIKEv2ToTokyo();
    tunnel.calls.clear();
    linkMonitor.announce();
    linkMonitor.announce();
    EXPECT_TRUE(tunnel.calls.isEmpty()) << "charon is asked once a burst is over";
    ASSERT_TRUE(waitUntil([this] { return tunnel.calls.contains("recheckIKEv2"); },
                          TunnelWatch::kIKEv2CheckDelayMs + 1000));
    EXPECT_EQ(tunnel.calls.count("recheckIKEv2"), 1);
    sleepMonitor.sleepAndResume();
    EXPECT_EQ(tunnel.calls.count("recheckIKEv2"), 2);
    EXPECT_TRUE(appState().isConnected) << "MOBIKE kept the SA: nothing is done";
    screen->ClickConnect();
    tunnel.report(VpnStatus::Disconnected);

    connectOverOpenVPN();
    tunnel.openVPNUp = true;
    sleepMonitor.sleepAndResume();
    EXPECT_TRUE(appState().isConnected);
    tunnel.openVPNUp = false;
    sleepMonitor.sleepAndResume();
    EXPECT_FALSE(appState().isConnected);
    EXPECT_EQ(drops.count(), 1);
}

// The IKEv2 statuses move the states whichever screen is shown, none included: a tunnel
// that comes up while the user reads another screen is not taken for a failed attempt.
TEST_F(ReconnectTest, IKEv2StatusWithoutAConnectionScreen_StillMovesTheStates) {
    pressConnectAndWait();
    screen.reset();
    tunnel.report(VpnStatus::Connected);
    EXPECT_TRUE(appState().isConnected);
    EXPECT_FALSE(appState().failoverTimer->isActive());
}
