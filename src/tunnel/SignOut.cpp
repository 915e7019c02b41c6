#include "tunnel/SignOut.h"

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/Storyboard.h"
#include "app/TunnelTeardown.h"
#include "platform/Preferences.h"

#include <QWidget>

void signOut() {
    AppState& state = appState();
    Services& wired = services();
    state.stopFailoverTimer();
    if (state.isConnected) {
        state.isConnected = false;
        if (wired.teardown) {
            if (state.selectedProtocol == QLatin1String("IKEV2"))
                wired.teardown->disconnectIKEv2();
            else
                wired.teardown->runOpenVPNStopScript();
        }
    }
    if (wired.preferences) {
        wired.preferences->setValue(QStringLiteral("isChecked"), 0);
        wired.preferences->setValue(QStringLiteral("email"), QString());
        wired.preferences->setValue(QStringLiteral("password"), QString());
    }
    auto* window = qobject_cast<MainWindow*>(wired.mainWindow);
    if (!window || !wired.storyboard)
        return;
    if (QWidget* login = wired.storyboard->instantiateController(QStringLiteral("LoginController")))
        window->setContentViewController(login);
}
