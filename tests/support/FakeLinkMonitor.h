#pragma once

#include "platform/LinkMonitor.h"

// A monitor a test drives: announce() stands for the kernel's message.
class FakeLinkMonitor final : public LinkMonitor {
    Q_OBJECT
public:
    using LinkMonitor::LinkMonitor;

    void start() override { m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }

    void announce() {
        if (m_running)
            emit linksChanged();
    }

private:
    bool m_running = false;
};
