#include "app/StartupWarmup.h"

#include <QDBusConnection>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <openssl/ssl.h>

StartupWarmup::StartupWarmup(const std::function<void()>& work) : m_thread(work) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}

namespace {
template <typename Function> Function* symbol(void* library, const char* name) {
    return reinterpret_cast<Function*>(dlsym(library, name));
}

// OpenSSL 3 fetches every algorithm from its providers for the first context it makes and
// keeps them for the process: the first connection's context then comes cheap.
void warmOpenSsl(void* ssl) {
    auto* init = symbol<decltype(OPENSSL_init_ssl)>(ssl, "OPENSSL_init_ssl");
    auto* clientMethod = symbol<decltype(TLS_client_method)>(ssl, "TLS_client_method");
    auto* newContext = symbol<decltype(SSL_CTX_new)>(ssl, "SSL_CTX_new");
    auto* freeContext = symbol<decltype(SSL_CTX_free)>(ssl, "SSL_CTX_free");
    if (!init || !clientMethod || !newContext || !freeContext)
        return;
    init(0, nullptr);
    freeContext(newContext(clientMethod()));
}
} // namespace

StartupWarmup StartupWarmup::fontsAndTls() {
    return StartupWarmup([] {
        FcInit();
        // Kept loaded: Qt opens the same library by the same name. Without it, nothing is
        // warmed and Qt says why when it needs it.
        if (void* ssl = dlopen(ORVEL_LIBSSL_SONAME, RTLD_NOW | RTLD_LOCAL))
            warmOpenSsl(ssl);
    });
}

StartupWarmup StartupWarmup::sessionBus() {
    return StartupWarmup([] { QDBusConnection::sessionBus(); });
}
