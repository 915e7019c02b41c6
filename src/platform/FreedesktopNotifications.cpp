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
const QString kDesktopEntry = QStringLiteral("orvelvpn");
// The daemon's own default display time.
constexpr int kDefaultTimeout = -1;

QVariantMap hintsFor(const DesktopNotification& notification) {
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), kDesktopEntry},
        {QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(notification.urgency))}};
    if (!notification.category.isEmpty())
        hints.insert(QStringLiteral("category"), notification.category);
    return hints;
}

QStringList actionsFor(const DesktopNotification& notification) {
    QStringList actions;
    for (const DesktopNotification::Action& action : notification.actions)
        actions << action.key << action.label;
    return actions;
}
} // namespace

FreedesktopNotifications::FreedesktopNotifications(QObject* parent) : QObject(parent) {}

void FreedesktopNotifications::setActionHandler(std::function<void(const QString&)> handler) {
    m_onAction = std::move(handler);
}

void FreedesktopNotifications::listen() {
    if (m_listening)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_listening = bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                              SLOT(onActionInvoked(uint, QString))) &&
                  bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"),
                              this, SLOT(onClosed(uint, uint)));
}

void FreedesktopNotifications::notify(const DesktopNotification& notification) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reportUnavailable(QStringLiteral("no session bus"));
        return;
    }
    listen();
    const uint replaces = notification.slot.isEmpty() ? 0U : m_slots.value(notification.slot);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << kAppName << replaces << kAppIcon << notification.summary << notification.body
         << actionsFor(notification) << hintsFor(notification) << kDefaultTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, slot = notification.slot](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> reply = *done;
                done->deleteLater();
                if (reply.isError()) {
                    reportUnavailable(reply.error().message());
                    return;
                }
                m_shown.insert(reply.value());
                if (!slot.isEmpty())
                    m_slots.insert(slot, reply.value());
            });
}

// Every client on the bus hears every notification's signals: only ours are answered.
void FreedesktopNotifications::onActionInvoked(uint id, const QString& key) {
    if (m_shown.contains(id) && m_onAction)
        m_onAction(key);
}

void FreedesktopNotifications::onClosed(uint id, uint) {
    m_shown.remove(id);
    for (auto slot = m_slots.begin(); slot != m_slots.end();) {
        if (slot.value() == id)
            slot = m_slots.erase(slot);
        else
            ++slot;
    }
}

void FreedesktopNotifications::reportUnavailable(const QString& reason) {
    if (m_reportedUnavailable)
        return;
    m_reportedUnavailable = true;
    qCInfo(lcNotifications) << "desktop notifications unavailable:" << reason;
}
