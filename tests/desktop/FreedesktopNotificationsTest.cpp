#include "platform/FreedesktopNotifications.h"

#include "support/TestEnvironment.h"

#include <QTest>

namespace {
QStringList g_logged;
void capture(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (QLatin1String(context.category) == QLatin1String("orvel.notifications"))
        g_logged << message;
}
} // namespace

TEST(FreedesktopNotificationsTest, WithoutASessionBus_NothingBreaksAndItIsLoggedOnce) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvel-test-bus");
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    FreedesktopNotifications notifications;
    notifications.notify({"Connected", "Connected to Tokyo 1"});
    notifications.notify({"Connection lost", "The VPN connection was lost."});
    QTest::qWait(200);
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_logged.size(), 1) << qPrintable(g_logged.join('\n'));
}
