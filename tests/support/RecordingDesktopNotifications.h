#pragma once

#include "platform/DesktopNotifications.h"

#include <QStringList>

class RecordingDesktopNotifications final : public DesktopNotifications {
public:
    void notify(const DesktopNotification& notification) override { shown.append(notification); }
    void setActionHandler(std::function<void(const QString&)> handler) override {
        onAction = std::move(handler);
    }
    QStringList bodies() const {
        QStringList texts;
        for (const DesktopNotification& notification : shown)
            texts << notification.body;
        return texts;
    }

    QList<DesktopNotification> shown;
    std::function<void(const QString&)> onAction;
};
