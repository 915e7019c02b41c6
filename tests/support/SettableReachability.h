#pragma once

#include "platform/Reachability.h"

// Reachability a test sets; setReachable stands for the kernel's route message.
class SettableReachability final : public Reachability {
    Q_OBJECT
public:
    using Reachability::Reachability;

    bool isReachable() const override { return m_reachable; }
    void startWatching() override { m_watching = true; }
    void stopWatching() override { m_watching = false; }
    bool isWatching() const { return m_watching; }

    void setReachable(bool reachable) {
        m_reachable = reachable;
        if (m_watching)
            emit routesChanged();
    }

private:
    bool m_reachable = true;
    bool m_watching = false;
};
