#pragma once

#include "platform/DesktopNotifications.h"

#include <QList>
#include <QPair>

class RecordingDesktopNotifications final : public DesktopNotifications {
public:
    void notify(const QString& summary, const QString& body) override {
        shown.append({summary, body});
    }
    QList<QPair<QString, QString>> shown;
};
