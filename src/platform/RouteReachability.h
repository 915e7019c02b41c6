#pragma once

#include "platform/Reachability.h"

#include <QString>

// No network manager runs here to ask; a default route is what "reachable" means.
class RouteReachability final : public Reachability {
public:
    explicit RouteReachability(QString ipv4RouteTable = QStringLiteral("/proc/net/route"),
                               QString ipv6RouteTable = QStringLiteral("/proc/net/ipv6_route"));
    bool isReachable() const override;

    static bool ipv4TableHasDefaultRoute(const QByteArray& table);
    static bool ipv6TableHasDefaultRoute(const QByteArray& table);

private:
    QString m_ipv4RouteTable;
    QString m_ipv6RouteTable;
};
