#pragma once

#include <QByteArray>
#include <functional>

// The machine's packet filter, changed by loading rules in its own language. Loading
// runs as root and takes a moment, so a call only makes the job, on the main thread with
// the administrator of that moment; any thread may run it. The job tells whether the
// rules took effect, and if not, why.
class Firewall {
public:
    enum class Outcome {
        Loaded,
        // No administrator is known to load them as.
        NoAdministrator,
        // The packet filter's program is not installed.
        NotInstalled,
        // The rules could not be handed over (no private folder to write them in).
        NotWritten,
        // The administrator's password, or the packet filter, refused them.
        Refused,
    };
    using Job = std::function<Outcome()>;

    virtual ~Firewall() = default;

    // `ruleset` is loaded as one transaction: all of it or nothing.
    virtual Job load(const QByteArray& ruleset) = 0;
};
