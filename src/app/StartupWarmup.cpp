#include "app/StartupWarmup.h"

#include <QSslSocket>
#include <fontconfig/fontconfig.h>

StartupWarmup::StartupWarmup()
    : m_thread([] {
          FcInit();
          QSslSocket::supportsSsl();
      }) {}

StartupWarmup::~StartupWarmup() {
    m_thread.join();
}
