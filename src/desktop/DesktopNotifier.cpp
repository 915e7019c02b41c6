#include "desktop/DesktopNotifier.h"

#include "connection/ConnectionEvents.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "desktop/DesktopSettings.h"

namespace {
const QString kStateSlot = QStringLiteral("state");
const QString kRenew = QStringLiteral("renew");
// The service's name for a click on the bubble itself: it opens the window.
const QString kOpen = QStringLiteral("default");

DesktopNotification::Action openAction() {
    return {kOpen, localized(QStringLiteral("NOTIFY_ACTION_OPEN"))};
}
} // namespace

DesktopNotifier::DesktopNotifier(DesktopNotifications& notifications, DesktopSettings& settings,
                                 std::function<bool()> windowInFront, Actions actions,
                                 QObject* parent)
    : QObject(parent), m_notifications(notifications), m_settings(settings),
      m_windowInFront(std::move(windowInFront)), m_actions(std::move(actions)) {
    m_notifications.setActionHandler([this](const QString& key) { onAction(key); });
    using Urgency = DesktopNotification::Urgency;
    ConnectionEvents& events = ConnectionEvents::shared();
    connect(&events, &ConnectionEvents::connected, this, [this] {
        const auto& server = appState().currentServer;
        postState(
            "NOTIFY_TITLE_CONNECTED",
            localized(QStringLiteral("NOTIFY_CONNECTED")).arg(server ? server->name : QString()),
            QStringLiteral("network.connected"), Urgency::Low);
    });
    connect(&events, &ConnectionEvents::unexpectedDrop, this, [this] {
        const bool blocked = appState().trafficBlocked;
        postState(blocked ? "NOTIFY_TITLE_BLOCKED" : "NOTIFY_TITLE_DROPPED",
                  localized(blocked ? QStringLiteral("NOTIFY_DROPPED_BLOCKED")
                                    : QStringLiteral("NOTIFY_DROPPED")),
                  QStringLiteral("network.disconnected"),
                  blocked ? Urgency::Critical : Urgency::Normal);
    });
    // While the client reconnects by itself, only the reconnect is news, not each try.
    connect(&events, &ConnectionEvents::switchedToStableServer, this, [this](const QString& name) {
        if (ConnectionEvents::shared().isReconnecting())
            return;
        postState("NOTIFY_TITLE_RECONNECTING",
                  localized(QStringLiteral("NOTIFY_STABLE_SERVER")).arg(name),
                  QStringLiteral("network"), Urgency::Normal);
    });
    connect(&events, &ConnectionEvents::allServersFailed, this, [this] {
        if (ConnectionEvents::shared().isReconnecting())
            return;
        postState("NOTIFY_TITLE_NOT_CONNECTED", localized(QStringLiteral("NOTIFY_ALL_FAILED")),
                  QStringLiteral("network.error"), Urgency::Normal);
    });
    connect(&events, &ConnectionEvents::expiryWarning, this, [this](const QString& text) {
        post({localized(QStringLiteral("NOTIFY_TITLE_EXPIRY")),
              text,
              QString(),
              Urgency::Normal,
              QStringLiteral("account"),
              {{kRenew, localized(QStringLiteral("NOTIFY_ACTION_RENEW"))}, openAction()}});
    });
    connect(&events, &ConnectionEvents::noticeArrived, this,
            [this](qint64 id, const QString& text) {
                if (id == m_lastNoticeId)
                    return;
                m_lastNoticeId = id;
                post({localized(QStringLiteral("NOTIFY_TITLE_NOTICE")),
                      text,
                      QString(),
                      Urgency::Low,
                      QStringLiteral("notice"),
                      {openAction()}});
            });
}

void DesktopNotifier::post(const DesktopNotification& notification) {
    if (!m_settings.notificationsEnabled() || (m_windowInFront && m_windowInFront()))
        return;
    m_notifications.notify(notification);
}

void DesktopNotifier::postAlert(const QString& text) {
    post({QStringLiteral("OrvelVPN"),
          text,
          QString(),
          DesktopNotification::Urgency::Normal,
          kStateSlot,
          {openAction()}});
}

void DesktopNotifier::postState(const char* summaryKey, const QString& body,
                                const QString& category, DesktopNotification::Urgency urgency) {
    post({localized(QLatin1String(summaryKey)),
          body,
          category,
          urgency,
          kStateSlot,
          {openAction()}});
}

void DesktopNotifier::onAction(const QString& key) {
    if (key == kOpen && m_actions.showWindow)
        m_actions.showWindow();
    else if (key == kRenew && m_actions.openRenewPage)
        m_actions.openRenewPage();
}
