#pragma once

#include "support/StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QStringList>
#include <QThread>

// A StatusNotifierItem host as a panel has one (GNOME's AppIndicator extension, KDE's
// tray): it takes the items that register and draws an item's menu from what dbusmenu
// sends, not from the QMenu behind it.
class StatusNotifierHost final : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierHost(QObject* parent = nullptr);
    ~StatusNotifierHost() override;

    // False when the bus or the watcher's name cannot be had.
    bool listen();
    QStringList items() const { return m_watcher.items(); }
    // The first item's menu as the host draws it; nothing until one registered and answered.
    QMenu* readMenu();

private:
    QDBusConnection m_bus;
    QThread m_thread;
    StatusNotifierWatcher m_watcher;
    QMenu m_menu;
};
