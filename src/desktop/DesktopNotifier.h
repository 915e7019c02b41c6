#pragma once

#include <QObject>
#include <functional>

class DesktopNotifications;
class DesktopSettings;

// Turns the connection's events into desktop notifications: connected, an unexpected
// drop, a switch to a stable server, failure of every server, the expiry warning and a
// new notice. Silent while the window is in front (the window says it already) and when
// the user turned notifications off.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    DesktopNotifier(DesktopNotifications& notifications, DesktopSettings& settings,
                    std::function<bool()> windowInFront, QObject* parent = nullptr);

    // One notification, under the same rules as the events'.
    void post(const QString& body);

private:
    DesktopNotifications& m_notifications;
    DesktopSettings& m_settings;
    std::function<bool()> m_windowInFront;
    // Each notice is announced once, however often the screen that shows it is rebuilt.
    qint64 m_lastNoticeId = -1;
};
