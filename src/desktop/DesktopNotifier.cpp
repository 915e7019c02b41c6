#include "desktop/DesktopNotifier.h"

#include "connection/ConnectionEvents.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "desktop/DesktopSettings.h"
#include "platform/DesktopNotifications.h"

DesktopNotifier::DesktopNotifier(DesktopNotifications& notifications, DesktopSettings& settings,
                                 std::function<bool()> windowInFront, QObject* parent)
    : QObject(parent), m_notifications(notifications), m_settings(settings),
      m_windowInFront(std::move(windowInFront)) {
    ConnectionEvents& events = ConnectionEvents::shared();
    connect(&events, &ConnectionEvents::connected, this, [this] {
        const auto& server = appState().currentServer;
        post(localized(QStringLiteral("NOTIFY_CONNECTED")).arg(server ? server->name : QString()));
    });
    connect(&events, &ConnectionEvents::unexpectedDrop, this,
            [this] { post(localized(QStringLiteral("NOTIFY_DROPPED"))); });
    // While the client reconnects by itself, only the reconnect is news, not each try.
    connect(&events, &ConnectionEvents::switchedToStableServer, this, [this](const QString& name) {
        if (!ConnectionEvents::shared().isReconnecting())
            post(localized(QStringLiteral("NOTIFY_STABLE_SERVER")).arg(name));
    });
    connect(&events, &ConnectionEvents::allServersFailed, this, [this] {
        if (!ConnectionEvents::shared().isReconnecting())
            post(localized(QStringLiteral("NOTIFY_ALL_FAILED")));
    });
    connect(&events, &ConnectionEvents::expiryWarning, this,
            [this](const QString& text) { post(text); });
    connect(&events, &ConnectionEvents::noticeArrived, this,
            [this](qint64 id, const QString& text) {
                if (id == m_lastNoticeId)
                    return;
                m_lastNoticeId = id;
                post(text);
            });
}

void DesktopNotifier::post(const QString& body) {
    if (!m_settings.notificationsEnabled() || (m_windowInFront && m_windowInFront()))
        return;
    m_notifications.notify(QStringLiteral("OrvelVPN"), body);
}
