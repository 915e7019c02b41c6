#include "platform/RouteReachability.h"

#include <QFile>
#include <QList>
#include <linux/rtnetlink.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
} // namespace

RouteReachability::RouteReachability(QString ipv4RouteTable, QString ipv6RouteTable,
                                     QObject* parent)
    : Reachability(parent), m_ipv4RouteTable(std::move(ipv4RouteTable)),
      m_ipv6RouteTable(std::move(ipv6RouteTable)),
      m_watch(RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE, {RTM_NEWROUTE, RTM_DELROUTE}) {
    connect(&m_watch, &RtnetlinkWatch::arrived, this, &Reachability::routesChanged);
}

bool RouteReachability::isReachable() const {
    return ipv4TableHasDefaultRoute(readAll(m_ipv4RouteTable)) ||
           ipv6TableHasDefaultRoute(readAll(m_ipv6RouteTable));
}

// Columns: Iface Destination Gateway Flags ... Mask; flag 0x1 is RTF_UP.
bool RouteReachability::ipv4TableHasDefaultRoute(const QByteArray& table) {
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> columns = lines.at(i).simplified().split(' ');
        if (columns.size() < 8)
            continue;
        bool ok = false;
        const uint flags = columns.at(3).toUInt(&ok, 16);
        if (ok && columns.at(1) == "00000000" && columns.at(7) == "00000000" && (flags & 0x1))
            return true;
    }
    return false;
}

// Columns: dest prefixlen src srcprefixlen nexthop metric refcnt use flags iface.
bool RouteReachability::ipv6TableHasDefaultRoute(const QByteArray& table) {
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() < 10 || columns.at(9) == "lo")
            continue;
        bool ok = false;
        const uint flags = columns.at(8).toUInt(&ok, 16);
        if (ok && columns.at(0) == QByteArray(32, '0') && columns.at(1) == "00" && (flags & 0x1) &&
            !(flags & 0x200))
            return true;
    }
    return false;
}
