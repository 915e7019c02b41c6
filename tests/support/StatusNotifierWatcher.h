#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>

// org.kde.StatusNotifierWatcher as a desktop panel offers it. Serve it from a thread of its
// own: Qt asks it whether a host is there with a blocking call, which must not wait on a
// test or a scene that is itself waiting for the client.
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
