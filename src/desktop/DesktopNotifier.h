#pragma once

#include "platform/DesktopNotifications.h"

#include <QObject>
#include <functional>

class DesktopSettings;

// Turns the connection's events into desktop notifications: connected, an unexpected
// drop (blocked while the kill switch holds), a switch to a stable server, failure of
// every server, the expiry warning (with "Renew") and a new notice. The state's
// notifications replace each other. Silent while the window is in front (the window says
// it already) and when the user turned notifications off.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> showWindow;
        std::function<void()> openRenewPage;
    };

    DesktopNotifier(DesktopNotifications& notifications, DesktopSettings& settings,
                    std::function<bool()> windowInFront, Actions actions = {},
                    QObject* parent = nullptr);

    // One notification, under the same rules as the events'.
    void post(const DesktopNotification& notification);
    // An alert the window could not show now: in the state's place, with "Open".
    void postAlert(const QString& text);

private:
    void postState(const char* summaryKey, const QString& body, const QString& category,
                   DesktopNotification::Urgency urgency);
    void onAction(const QString& key);

    DesktopNotifications& m_notifications;
    DesktopSettings& m_settings;
    std::function<bool()> m_windowInFront;
    Actions m_actions;
    // Each notice is announced once, however often the screen that shows it is rebuilt.
    qint64 m_lastNoticeId = -1;
};
