#pragma once

#include "platform/DesktopNotifications.h"

#include <QList>
#include <QPair>
#include <QStringList>

class RecordingDesktopNotifications final : public DesktopNotifications {
public:
    void notify(const QString& summary, const QString& body) override {
        shown.append({summary, body});
    }
    QStringList bodies() const {
        QStringList texts;
        for (const auto& [summary, body] : shown)
            texts << body;
        return texts;
    }
    QList<QPair<QString, QString>> shown;
};
