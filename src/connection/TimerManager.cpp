#include "connection/TimerManager.h"

#include <cmath>

int TimerManager::s_remaining = 0;
std::unique_ptr<QTimer> TimerManager::s_timer;
TimerManager::Handler TimerManager::s_handler;

void TimerManager::start(int seconds, Handler handler) {
    if (s_timer)
        s_timer->stop();
    s_remaining = seconds;
    s_timer = std::make_unique<QTimer>();
    s_timer->setInterval(1000);
    QObject::connect(s_timer.get(), &QTimer::timeout, [] { update(); });
    s_handler = std::move(handler);
    s_timer->start();
}

void TimerManager::update() {
    if (s_remaining != 0) {
        --s_remaining;
        const QString text = timeString(s_remaining);
        if (s_handler)
            s_handler(text, false);
        return;
    }
    if (s_timer)
        s_timer->stop();
    if (s_handler)
        s_handler(std::nullopt, true);
}

QString TimerManager::timeString(double seconds) {
    // The count is a small integer; anything a long long cannot hold reads as zero.
    const bool representable = std::isfinite(seconds) && std::fabs(seconds) < 9.2e18;
    const long long whole = representable ? static_cast<long long>(std::trunc(seconds)) : 0;
    const long long hours = whole / 3600;
    const long long minutes = (whole / 60) % 60;
    const long long rest = whole % 60;
    return QString::asprintf("%02lld:%02lld:%02lld", hours, minutes, rest);
}

int TimerManager::remainingSeconds() {
    return s_remaining;
}

bool TimerManager::isRunning() {
    return s_timer && s_timer->isActive();
}

void TimerManager::reset() {
    s_timer.reset();
    s_handler = nullptr;
    s_remaining = 0;
}
