#include "app/StartupWarmup.h"

#include <QDBusConnection>
#include <fontconfig/fontconfig.h>

StartupWarmup::StartupWarmup(const std::function<void()>& work) : m_thread(work) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}

StartupWarmup StartupWarmup::fonts() {
    return StartupWarmup([] { FcInit(); });
}

StartupWarmup StartupWarmup::sessionBus() {
    return StartupWarmup([] { QDBusConnection::sessionBus(); });
}
