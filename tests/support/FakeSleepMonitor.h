#pragma once

#include "platform/SleepMonitor.h"

// A sleep a test decides on.
class FakeSleepMonitor final : public SleepMonitor {
    Q_OBJECT
public:
    using SleepMonitor::SleepMonitor;

    void start() override { started = true; }

    void sleepAndResume() {
        emit goingToSleep();
        emit resumed();
    }

    bool started = false;
};
