#pragma once

#include <QList>
#include <QString>
#include <functional>

// One bubble outside the window, as the desktop's notification service shows it.
struct DesktopNotification {
    enum class Urgency { Low = 0, Normal = 1, Critical = 2 };
    struct Action {
        QString key;
        QString label;
    };

    QString summary{};  // what happened, in a word or two
    QString body{};     // the detail
    QString category{}; // "network.connected", "network.disconnected", "network.error" or ""
    Urgency urgency = Urgency::Normal;
    // A notification replaces the last one of its slot still known to the service, so
    // that the state's notifications do not pile up.
    QString slot{};
    QList<Action> actions{};
};

// Passive notifications of the desktop session.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Returns at once; a session without a notification service drops it.
    virtual void notify(const DesktopNotification& notification) = 0;
    // Called on the main thread with the key of the action the user chose.
    virtual void setActionHandler(std::function<void(const QString& key)> handler) = 0;
};
