#pragma once

#include "platform/Reachability.h"
#include "platform/RtnetlinkWatch.h"

#include <QString>

// No network manager runs here to ask; a default route is what "reachable" means, and
// the kernel's route messages say when to look again.
class RouteReachability final : public Reachability {
    Q_OBJECT
public:
    explicit RouteReachability(QString ipv4RouteTable = QStringLiteral("/proc/net/route"),
                               QString ipv6RouteTable = QStringLiteral("/proc/net/ipv6_route"),
                               QObject* parent = nullptr);
    bool isReachable() const override;
    void startWatching() override { m_watch.start(); }
    void stopWatching() override { m_watch.stop(); }

    static bool ipv4TableHasDefaultRoute(const QByteArray& table);
    static bool ipv6TableHasDefaultRoute(const QByteArray& table);

private:
    QString m_ipv4RouteTable;
    QString m_ipv6RouteTable;
    RtnetlinkWatch m_watch;
};
