#pragma once

#include <QList>
#include <QString>
#include <optional>

// One entry of the system's interface address list, as getifaddrs gives it.
struct InterfaceAddress {
    QString name;
    unsigned int flags = 0;
    int family = 0;      // AF_INET = 2
    QString numericHost; // empty when no address or when getnameinfo fails
    // The link's traffic so far, on its link-layer entry (AF_PACKET) only.
    std::optional<quint64> bytesIn = std::nullopt;
    std::optional<quint64> bytesOut = std::nullopt;
};

class InterfaceList {
public:
    virtual ~InterfaceList() = default;
    // Empty when the list cannot be read.
    virtual QList<InterfaceAddress> addresses() const = 0;
};
