#include "app/StartupWarmup.h"

#include <QDBusConnection>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <openssl/ssl.h>

StartupWarmup::StartupWarmup(const std::function<void()>& work) : m_thread(work) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}

StartupWarmup StartupWarmup::fontsAndTls() {
    return StartupWarmup([] {
        FcInit();
        // Kept loaded: Qt opens the same library by the same name. Without it, nothing is
        // warmed and Qt says why when it needs it.
        if (void* ssl = dlopen(ORVEL_LIBSSL_SONAME, RTLD_NOW | RTLD_LOCAL)) {
            if (auto init =
                    reinterpret_cast<decltype(&OPENSSL_init_ssl)>(dlsym(ssl, "OPENSSL_init_ssl")))
                init(0, nullptr);
        }
    });
}

StartupWarmup StartupWarmup::sessionBus() {
    return StartupWarmup([] { QDBusConnection::sessionBus(); });
}
