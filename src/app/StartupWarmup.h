#pragma once

#include <thread>

// Work the first screen and the first request will need, started on a second core
// while QApplication connects to the display: the font configuration and the TLS
// backend. Both are thread-safe to set up and are found ready later; nothing waits for
// this thread but the end of the process.
class StartupWarmup {
public:
    StartupWarmup();
    ~StartupWarmup();

    StartupWarmup(const StartupWarmup&) = delete;
    StartupWarmup& operator=(const StartupWarmup&) = delete;

private:
    std::thread m_thread;
};
