#pragma once

#include <functional>
#include <thread>

// Work the first screen and the first request will need, done on another core while the
// main thread is busy elsewhere. Everything here is thread-safe to set up and is found
// ready later; nothing waits for a warm-up but its own end, when it goes out of scope.
class StartupWarmup {
public:
    // Before QApplication, while it connects to the display: the font configuration, then
    // the OpenSSL library Qt's TLS backend opens for the first request (loaded, set up and
    // its algorithms fetched, Qt finds it ready). Nothing of Qt runs here: Qt takes the
    // first thread that uses it for its main thread.
    static StartupWarmup fontsAndTls();
    // Once QApplication exists, and to end before it (an early exit must not pull the
    // application from under it): the session bus, which the tray asks whether a tray
    // host is there. Where no bus address is set, libdbus first runs dbus-launch to find
    // or start one.
    static StartupWarmup sessionBus();

    ~StartupWarmup();

    StartupWarmup(const StartupWarmup&) = delete;
    StartupWarmup& operator=(const StartupWarmup&) = delete;

private:
    explicit StartupWarmup(const std::function<void()>& work);

    std::thread m_thread;
};
