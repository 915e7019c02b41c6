#include "startup/StartupRetry.h"

#include "core/Services.h"
#include "platform/Reachability.h"

#include <algorithm>

StartupRetry::StartupRetry(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StartupRetry::runNow);
}

StartupRetry::~StartupRetry() {
    stopWatching();
}

void StartupRetry::schedule(std::function<void()> step) {
    m_step = std::move(step);
    Reachability* reachability = services().reachability;
    if (reachability && !m_routes) {
        m_routes =
            connect(reachability, &Reachability::routesChanged, this, &StartupRetry::routesChanged);
        reachability->startWatching();
    }
    m_timer.start(m_pauseMs);
    m_pauseMs = std::min(m_pauseMs * 2, kMaxPauseMs);
}

// A route that goes away is no reason to try again.
void StartupRetry::routesChanged() {
    const Reachability* reachability = services().reachability;
    if (m_step && reachability && reachability->isReachable())
        runNow();
}

void StartupRetry::runNow() {
    m_timer.stop();
    stopWatching();
    if (const std::function<void()> step = std::exchange(m_step, {}))
        step();
}

void StartupRetry::stopWatching() {
    if (!m_routes)
        return;
    disconnect(m_routes);
    m_routes = {};
    if (Reachability* reachability = services().reachability)
        reachability->stopWatching();
}
