#include "app/StartupWarmup.h"

#include <QDBusConnection>
#include <QSslSocket>
#include <fontconfig/fontconfig.h>

StartupWarmup::StartupWarmup(const std::function<void()>& work) : m_thread(work) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}

StartupWarmup StartupWarmup::fonts() {
    return StartupWarmup([] { FcInit(); });
}

StartupWarmup StartupWarmup::tls() {
    return StartupWarmup([] { QSslSocket::supportsSsl(); });
}

StartupWarmup StartupWarmup::sessionBus() {
    return StartupWarmup([] { QDBusConnection::sessionBus(); });
}
