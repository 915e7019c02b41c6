#include "tunnel/SignOut.h"

#include "core/AppState.h"
#include "core/ConnectionObserver.h"
#include "core/ContentWindow.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "core/TunnelTeardown.h"
#include "platform/Preferences.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"

#include <QWidget>

void signOut() {
    AppState& state = appState();
    Services& wired = services();
    state.stopFailoverTimer();
    // Connecting as well as connected: the OpenVPN or the IKE SA may already be there,
    // and an administrator dialog answered later must start nothing.
    const bool attemptUnderway = state.isConnected || state.isConnecting;
    state.isConnected = false;
    state.isConnecting = false;
    state.pendingOpenVPNInstall = false;
    if (wired.teardown) {
        if (attemptUnderway && state.selectedProtocol == QLatin1String("IKEV2"))
            wired.teardown->disconnectIKEv2();
        if (state.openVPNMayRun)
            wired.teardown->runOpenVPNStopScript();
        wired.teardown->restoreDNS();
    }
    if (wired.connectionObserver)
        wired.connectionObserver->userDisconnected();
    if (wired.preferences) {
        wired.preferences->setValue(QStringLiteral("isChecked"), 0);
        wired.preferences->setValue(QStringLiteral("email"), QString());
    }
    KeychainWrapper::shared().removeItem(kAccountPasswordItem);
    ContentWindow* window = wired.mainWindow;
    if (!window || !wired.storyboard)
        return;
    if (QWidget* login = wired.storyboard->instantiateController(QStringLiteral("LoginController")))
        window->setContentViewController(login);
}
