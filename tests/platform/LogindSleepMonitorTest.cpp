#include "platform/LogindSleepMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kPath = QStringLiteral("/org/freedesktop/login1");

// A bus of its own stands in for the system bus; a connection on it owns logind's name.
class LogindSleepMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        m_bus.start(
            QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"),
             QStringLiteral("--print-address=1"),
             QStringLiteral("--address=unix:path=") + m_folder.path() + QStringLiteral("/bus")});
        ASSERT_TRUE(m_bus.waitForReadyRead(5000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        m_previous = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    }
    void TearDown() override {
        for (const QString& name : m_connections)
            QDBusConnection::disconnectFromBus(name);
        if (m_bus.state() == QProcess::Running) {
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_previous);
            m_bus.kill();
            m_bus.waitForFinished();
        }
    }
    QDBusConnection connectAs(const QString& name) {
        m_connections << name;
        return QDBusConnection::connectToBus(m_address, name);
    }
    static void sendPrepareForSleep(QDBusConnection& bus, bool sleeping) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kManager, QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        bus.send(signal);
    }

    QTemporaryDir m_folder;
    QProcess m_bus;
    QString m_address;
    QByteArray m_previous;
    QStringList m_connections;
};
} // namespace

// Only logind speaks for the machine's sleep: the same signal from any other peer of the
// bus is no resume.
TEST_F(LogindSleepMonitorTest, PrepareForSleep_FromLogindOnly) {
    QDBusConnection logind = connectAs(QStringLiteral("login1-standin"));
    QDBusConnection decoy = connectAs(QStringLiteral("decoy"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    LogindSleepMonitor monitor;
    monitor.start();
    ASSERT_TRUE(monitor.isListening());
    QSignalSpy sleeps(&monitor, &SleepMonitor::goingToSleep);
    QSignalSpy resumes(&monitor, &SleepMonitor::resumed);

    sendPrepareForSleep(decoy, false);
    sendPrepareForSleep(logind, true);
    sendPrepareForSleep(logind, false);
    ASSERT_TRUE(resumes.wait(5000));
    EXPECT_EQ(sleeps.count(), 1);
    EXPECT_EQ(resumes.count(), 1) << "the decoy's resume was taken for logind's";
}
