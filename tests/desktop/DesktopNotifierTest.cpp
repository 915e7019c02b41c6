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
    DesktopNotifier notifier{recorder, settings, [this] { return windowInFront; }};
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
    EXPECT_EQ(recorder.shown.first().first, "OrvelVPN");
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
