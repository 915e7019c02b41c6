#pragma once

#include <QObject>

// Tells when the kernel announces a network link coming or going, a new address or a
// changed route, so a tunnel that comes up is seen at once instead of at the next
// supervision tick, and one that goes away, or whose network moved, is seen at all.
class LinkMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Both may be called repeatedly; a monitor that cannot listen stays silent.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

signals:
    void linksChanged();
};
