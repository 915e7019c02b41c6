#include "desktop/DesktopNotifier.h"

#include "connection/ConnectionEvents.h"
#include "connection/ConnectionFixture.h"
#include "connection/ConnectionStates.h"
#include "desktop/DesktopSettings.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingDesktopNotifications.h"
#include "support/TestEnvironment.h"

class DesktopNotifierTest : public OrvelTest {
protected:
    DesktopNotifierTest() {
        appState().currentServer = makeServer("Tokyo 1", "jp1.test", "JP", "IKEV2");
    }
    RecordingDesktopNotifications recorder;
    DesktopSettings settings{preferences()};
    bool windowInFront = false;
    int windowShown = 0;
    int renewPageOpened = 0;
    DesktopNotifier notifier{recorder,
                             settings,
                             [this] { return windowInFront; },
                             {[this] { ++windowShown; }, [this] { ++renewPageOpened; }}};
    RecordingTunnelControl tunnel;
    ConnectionStates states{tunnel};
    ConnectionEvents& events = ConnectionEvents::shared();
};

TEST_F(DesktopNotifierTest, EachConnectionEvent_BecomesOneNotification) {
    states.showConnected();
    emit events.switchedToStableServer("Stable 2");
    emit events.allServersFailed();
    emit events.expiryWarning("Your account expires in 3 days");
    emit events.noticeArrived(7, "Maintenance tonight");
    EXPECT_EQ(recorder.bodies(),
              QStringList({"Connected to Tokyo 1", "The server did not answer. Trying Stable 2…",
                           "No server could be reached. You are not connected.",
                           "Your account expires in 3 days", "Maintenance tonight"}));
    EXPECT_EQ(recorder.shown.first().summary, "Connected");
}

TEST_F(DesktopNotifierTest, DropWithoutAsking_IsReportedButAnAskedDisconnectIsNot) {
    states.showConnected();
    states.showDisconnected();
    EXPECT_EQ(recorder.bodies().last(), "The VPN connection was lost.");
    const qsizetype before = recorder.shown.size();
    states.showConnected();
    events.expectDisconnect();
    states.showDisconnected();
    states.showDisconnected();
    EXPECT_EQ(recorder.shown.size(), before + 1) << "only the connected notification";
}

TEST_F(DesktopNotifierTest, WindowInFrontOrTurnedOff_StaysSilent) {
    windowInFront = true;
    emit events.allServersFailed();
    windowInFront = false;
    settings.setNotificationsEnabled(false);
    emit events.allServersFailed();
    EXPECT_TRUE(recorder.shown.isEmpty());
}

TEST_F(DesktopNotifierTest, SameNotice_IsAnnouncedOnceHoweverOftenTheScreenIsRebuilt) {
    emit events.noticeArrived(7, "Maintenance tonight");
    emit events.noticeArrived(7, "Maintenance tonight");
    emit events.noticeArrived(8, "New servers");
    EXPECT_EQ(recorder.bodies(), QStringList({"Maintenance tonight", "New servers"}));
}

// The summary says the state, the hints let the desktop file it, and the state's
// notifications share one place, so each replaces the one before.
TEST_F(DesktopNotifierTest, EachEvent_NamesItsStateWithTheDesktopsHints) {
    states.showConnected();
    states.showDisconnected();
    appState().trafficBlocked = true;
    states.showConnected();
    states.showDisconnected();
    emit events.switchedToStableServer("Stable 2");
    emit events.allServersFailed();
    emit events.expiryWarning("Your account expires in 3 days");
    using Urgency = DesktopNotification::Urgency;
    const struct {
        const char* summary;
        const char* category;
        Urgency urgency;
        const char* slot;
    } expected[] = {{"Connected", "network.connected", Urgency::Low, "state"},
                    {"Connection lost", "network.disconnected", Urgency::Normal, "state"},
                    {"Connected", "network.connected", Urgency::Low, "state"},
                    {"Blocked", "network.disconnected", Urgency::Critical, "state"},
                    {"Reconnecting", "network", Urgency::Normal, "state"},
                    {"Not connected", "network.error", Urgency::Normal, "state"},
                    {"Subscription ends soon", "", Urgency::Normal, "account"}};
    ASSERT_EQ(recorder.shown.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const DesktopNotification& shown = recorder.shown.at(static_cast<qsizetype>(i));
        EXPECT_EQ(shown.summary, expected[i].summary) << i;
        EXPECT_EQ(shown.category, expected[i].category) << i;
        EXPECT_EQ(shown.urgency, expected[i].urgency) << i;
        EXPECT_EQ(shown.slot, expected[i].slot) << i;
    }
}

TEST_F(DesktopNotifierTest, Actions_OpenTheWindowAndTheRenewPage) {
    emit events.expiryWarning("Your account expires in 3 days");
    ASSERT_EQ(recorder.shown.size(), 1);
    QStringList keys;
    for (const DesktopNotification::Action& action : recorder.shown.first().actions)
        keys << action.key;
    EXPECT_EQ(keys, QStringList({"renew", "default"}));
    recorder.onAction("renew");
    recorder.onAction("default");
    recorder.onAction("something else");
    EXPECT_EQ(renewPageOpened, 1);
    EXPECT_EQ(windowShown, 1);
}

// Reconnecting by itself, the user hears of the drop and of the reconnect, not of each try
// and its failover in between; an OpenVPN that restarted by itself is not news at all.
TEST_F(DesktopNotifierTest, WhileReconnecting_OnlyTheDropAndTheReconnectAreNews) {
    states.showConnected();
    states.showDisconnected();
    events.setReconnecting(true);
    emit events.switchedToStableServer("Stable 2");
    emit events.allServersFailed();
    states.showConnected();
    events.setReconnecting(false);
    states.showReasserting();
    states.showRestored();
    EXPECT_EQ(recorder.bodies(),
              QStringList({"Connected to Tokyo 1", "The VPN connection was lost.",
                           "Connected to Tokyo 1"}));
}
