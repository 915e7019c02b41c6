#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <functional>

// Looks host names up in the system's resolver.
class HostResolver {
public:
    using Addresses = QHash<QString, QList<QHostAddress>>;

    virtual ~HostResolver() = default;

    // The addresses of each name that resolved within `timeoutMs`; `done` comes once, on
    // the calling thread, and never from inside this call. A resolver that does not
    // answer (a packet filter drops its queries) costs `timeoutMs`, never more.
    virtual void lookUp(const QStringList& names, int timeoutMs,
                        std::function<void(const Addresses&)> done) = 0;
    // The name servers whose answers those lookups wait for, as this machine is set up
    // now; none when it cannot tell.
    virtual QList<QHostAddress> configuredServers() const = 0;
};
