#pragma once

#include <QString>

// Passive notifications of the desktop session (a bubble outside the window).
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Returns at once; a session without a notification service drops it.
    virtual void notify(const QString& summary, const QString& body) = 0;
};
