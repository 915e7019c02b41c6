#pragma once

#include "platform/DesktopNotifications.h"

#include <QObject>

// org.freedesktop.Notifications on the session bus. Calls are asynchronous so a slow
// daemon never holds the window; a missing service is logged once and otherwise ignored.
class FreedesktopNotifications final : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    explicit FreedesktopNotifications(QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body) override;

private:
    void reportUnavailable(const QString& reason);

    bool m_reportedUnavailable = false;
};
