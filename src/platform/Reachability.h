#pragma once

#include <QObject>

// Whether the internet can be reached at all (not a particular host), and word when the
// routes change, so that whoever waits for the network can look again.
class Reachability : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isReachable() const = 0;
    // Both may be called repeatedly; an implementation that cannot watch stays silent.
    virtual void startWatching() = 0;
    virtual void stopWatching() = 0;

signals:
    void routesChanged();
};
