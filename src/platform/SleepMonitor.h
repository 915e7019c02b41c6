#pragma once

#include <QObject>

// Tells when the machine is about to sleep and when it has woken: a tunnel may not have
// survived the night.
class SleepMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Begins listening; may be called repeatedly.
    virtual void start() = 0;

signals:
    void goingToSleep();
    void resumed();
};
