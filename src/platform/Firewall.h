#pragma once

#include <QString>
#include <functional>

// The machine's packet filter, changed by loading rules in its own language. Loading
// runs as root and takes a moment, so a call only makes the job, on the main thread with
// the administrator of that moment; any thread may run it. The job tells whether the
// rules took effect.
class Firewall {
public:
    using Job = std::function<bool()>;

    virtual ~Firewall() = default;

    // `ruleset` is loaded as one transaction: all of it or nothing.
    virtual Job load(const QString& ruleset) = 0;
};
