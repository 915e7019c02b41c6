#pragma once

#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// A class-level countdown: one tick a second hands the remaining time to one handler,
// then one last call reports the end.
class TimerManager {
public:
    using Handler = std::function<void(std::optional<QString> text, bool finished)>;

    // Stops a countdown still running before the new one takes its place.
    static void start(int seconds, Handler handler);
    static void update();
    static QString timeString(double seconds);

    static int remainingSeconds();
    static bool isRunning();
    static void reset();

private:
    static int s_remaining;
    static std::unique_ptr<QTimer> s_timer;
    static Handler s_handler;
};
