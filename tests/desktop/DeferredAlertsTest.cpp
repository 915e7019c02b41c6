#include "desktop/DeferredAlerts.h"

#include "app/MainWindow.h"
#include "connection/AccountNotices.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DesktopSettings.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingDesktopNotifications.h"
#include "support/TestEnvironment.h"

namespace {
const QDateTime kNow(QDate(2030, 3, 10), QTime(12, 0, 0));
}

// A client started hidden in the tray: its window not yet shown.
class DeferredAlertsTest : public OrvelTest {
protected:
    DeferredAlertsTest() { services().alerts = &deferred; }

    MainWindow window;
    RecordingDesktopNotifications recorder;
    DesktopSettings settings{preferences()};
    DesktopNotifier notifier{recorder, settings, [this] { return window.isVisible(); }};
    DeferredAlerts deferred{alerts(), window, notifier};
};

TEST_F(DeferredAlertsTest, BeforeTheWindowIsShown_AlertsWaitAsNotificationsThenAppearInOrder) {
    appState().expiryDateText = kNow.addDays(3).toString("yyyy-MM-dd HH:mm:ss");
    auto notices = std::make_shared<AccountNotices>([] { return kNow; });
    notices->runExpiryCheck();
    deferred.showConfirmAlert("Check the network", "OK");
    deferred.showConfirmAlert("Check the network", "OK");

    EXPECT_TRUE(alerts().expiryTexts.isEmpty()) << "nothing blocks while hidden";
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    ASSERT_EQ(recorder.bodies().size(), 2) << qPrintable(recorder.bodies().join('|'));
    const QString warning = recorder.bodies().first();
    EXPECT_EQ(recorder.bodies().last(), "Check the network");

    qsizetype confirmsBeforeExpiry = -1;
    alerts().whileExpiryShown = [&](const Alerts::ExpiryAlert& alert) {
        confirmsBeforeExpiry = alerts().confirmTexts.size();
        alert.onDontShowToggled(); // the held alert still reaches its screen's logic
    };
    window.show();
    ASSERT_TRUE(waitUntil([&] { return !alerts().confirmTexts.isEmpty(); }));
    EXPECT_EQ(confirmsBeforeExpiry, 0) << "in the order they were raised";
    EXPECT_EQ(alerts().expiryTexts, QStringList({warning}));
    EXPECT_EQ(alerts().confirmTexts, QStringList({"Check the network"})) << "held once";
    EXPECT_EQ(preferences().string("ALERT_DONT_SHOW"), "YES");

    deferred.showConfirmAlert("Server under maintenance", "OK");
    EXPECT_EQ(alerts().confirmTexts.last(), "Server under maintenance") << "shown at once now";
    EXPECT_EQ(recorder.bodies().size(), 2);
}

TEST_F(DeferredAlertsTest, WindowClosedToTheTray_AlertWaitsAgainUntilItIsShown) {
    window.show();
    window.hide();
    deferred.showConfirmAlert("Check the network", "OK");
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    EXPECT_EQ(recorder.bodies(), QStringList({"Check the network"}));

    window.show();
    EXPECT_TRUE(
        waitUntil([&] { return alerts().confirmTexts == QStringList({"Check the network"}); }));
}

TEST_F(DeferredAlertsTest, ChoiceWhileHidden_TakesTheFirstAndTellsTheUser) {
    alerts().choiceAnswer = 1;
    EXPECT_EQ(deferred.showChoiceAlert("Keep blocking?", {"Keep", "Clear"}), 0);
    EXPECT_TRUE(alerts().choiceTexts.isEmpty());
    EXPECT_EQ(recorder.bodies(), QStringList({"Keep blocking?"}));

    window.show();
    EXPECT_EQ(deferred.showChoiceAlert("Keep blocking?", {"Keep", "Clear"}), 1);
}

TEST_F(DeferredAlertsTest, WindowHeldBackForItsFirstFrame_IsShownAndTheAlertWithIt) {
    window.holdBackFirstShow(60'000);
    window.present();
    ASSERT_FALSE(window.isVisible());
    alerts().choiceAnswer = 1;
    EXPECT_EQ(deferred.showChoiceAlert("Keep blocking?", {"Keep", "Clear"}), 1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(recorder.bodies().isEmpty());
}
