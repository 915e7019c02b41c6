#include "platform/LogindSleepMonitor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QLoggingCategory>
#include <utility>

Q_LOGGING_CATEGORY(lcSleep, "orvel.sleep")

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSignal = QStringLiteral("PrepareForSleep");
} // namespace

LogindSleepMonitor::LogindSleepMonitor(QObject* parent)
    : SleepMonitor(parent),
      m_connectionName(QStringLiteral("orvel-sleep-%1").arg(reinterpret_cast<quintptr>(this))) {}

// A connection of its own: Qt's shared system bus connection is made once per process
// and would not see a bus address set later.
void LogindSleepMonitor::start() {
    if (std::exchange(m_started, true))
        return;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_connectionName);
    if (!bus.isConnected()) {
        qCInfo(lcSleep) << "no system bus; suspend and resume go unnoticed";
        return;
    }
    // By the service name: the signal counts only when logind, the name's owner, sends it.
    m_listening =
        bus.connect(kService, kPath, kInterface, kSignal, this, SLOT(prepareForSleep(bool)));
    if (!m_listening)
        qCInfo(lcSleep) << "cannot listen to" << kSignal << bus.lastError().message();
}

LogindSleepMonitor::~LogindSleepMonitor() {
    if (m_started)
        QDBusConnection::disconnectFromBus(m_connectionName);
}

void LogindSleepMonitor::prepareForSleep(bool sleeping) {
    qCInfo(lcSleep) << (sleeping ? "going to sleep" : "resumed");
    if (sleeping)
        emit goingToSleep();
    else
        emit resumed();
}
