#pragma once

#include <QDBusConnection>
#include <QMenu>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

// org.kde.StatusNotifierWatcher, answering from a thread of its own: Qt asks it whether a
// host is there with a blocking call from the main thread, which would otherwise wait on
// itself.
class StatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const;

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex m_lock;
    QStringList m_items;
};

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
