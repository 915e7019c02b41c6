#include "app/StartupWarmup.h"

#include <QSslSocket>
#include <QThread>
#include <fontconfig/fontconfig.h>

namespace {
// Qt takes the first thread that asks for its thread data as its main thread, and the TLS
// backend asks: were the warm-up first, QApplication would run on a thread Qt calls
// foreign and its events (a window's close among them) would go astray.
std::thread afterClaimingQtMainThread(void (*work)()) {
    QThread::currentThread();
    return std::thread(work);
}
} // namespace

StartupWarmup::StartupWarmup()
    : m_thread(afterClaimingQtMainThread([] {
          FcInit();
          QSslSocket::supportsSsl();
      })) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}
