#include "platform/MessageBoxAlerts.h"

#include <QTimer>
#include <gtest/gtest.h>

// An alert whose cause is over is closed by the client: the blocking call returns, and an
// alert with another text stays for the user.
TEST(MessageBoxAlertsTest, CloseConfirmAlert_EndsOnlyTheAlertWithThatText) {
    MessageBoxAlerts alerts;
    QObject timers;
    bool stillOpenAfterOtherText = false;
    QTimer::singleShot(50, &timers, [&] {
        alerts.closeConfirmAlert(QStringLiteral("other text"));
        QTimer::singleShot(50, &timers, [&] {
            stillOpenAfterOtherText = true;
            alerts.closeConfirmAlert(QStringLiteral("No network"));
        });
    });
    alerts.showConfirmAlert(QStringLiteral("No network"), QStringLiteral("OK"));
    EXPECT_TRUE(stillOpenAfterOtherText);
}
