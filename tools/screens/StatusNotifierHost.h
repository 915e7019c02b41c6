#pragma once

#include <QDBusConnection>
#include <QMenu>
#include <QObject>
#include <QStringList>

// A StatusNotifierItem host as a panel has one (GNOME's AppIndicator extension, KDE's
// tray): it owns org.kde.StatusNotifierWatcher on the session bus, takes the items that
// register and draws an item's menu from what dbusmenu sends, not from the QMenu behind it.
class StatusNotifierHost final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit StatusNotifierHost(QObject* parent = nullptr);
    ~StatusNotifierHost() override;

    // False when the bus or the watcher's name cannot be had.
    bool listen();
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
    // The first item's menu as the host draws it; empty until one registered and answered.
    QMenu* readMenu();

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QDBusConnection m_bus;
    QStringList m_items;
    QMenu m_menu;
};
