#include "platform/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

Q_LOGGING_CATEGORY(lcNotifications, "orvel.notifications")

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppName = QStringLiteral("OrvelVPN");
const QString kAppIcon = QStringLiteral("orvelvpn");
// The daemon's own default display time.
constexpr int kDefaultTimeout = -1;
} // namespace

FreedesktopNotifications::FreedesktopNotifications(QObject* parent) : QObject(parent) {}

void FreedesktopNotifications::notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reportUnavailable(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << kAppName << 0U << kAppIcon << summary << body << QStringList() << QVariantMap()
         << kDefaultTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError())
                    reportUnavailable(reply.error().message());
                done->deleteLater();
            });
}

void FreedesktopNotifications::reportUnavailable(const QString& reason) {
    if (m_reportedUnavailable)
        return;
    m_reportedUnavailable = true;
    qCInfo(lcNotifications) << "desktop notifications unavailable:" << reason;
}
