#pragma once

#include "platform/DesktopNotifications.h"

#include <QHash>
#include <QObject>
#include <QSet>

// org.freedesktop.Notifications on the session bus, with the hints a desktop files and
// groups by (desktop-entry, category, urgency), replaces_id per slot and actions answered
// through ActionInvoked. Calls are asynchronous so a slow daemon never holds the window; a
// missing service is logged once and otherwise ignored.
class FreedesktopNotifications final : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    explicit FreedesktopNotifications(QObject* parent = nullptr);

    void notify(const DesktopNotification& notification) override;
    void setActionHandler(std::function<void(const QString& key)> handler) override;

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onClosed(uint id, uint reason);

private:
    void listen();
    void reportUnavailable(const QString& reason);

    bool m_reportedUnavailable = false;
    bool m_listening = false;
    std::function<void(const QString&)> m_onAction;
    // The last id the service gave each slot, and every id of ours still shown.
    QHash<QString, uint> m_slots;
    QSet<uint> m_shown;
};
