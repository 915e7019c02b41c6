#include "servers/SelectionStore.h"

#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"

void saveSelection(const std::shared_ptr<ServerData>& record) {
    AppState& state = appState();
    state.currentServer = record;
    Services& wired = services();
    if (wired.preferences && state.currentServer) {
        const ServerData& current = *state.currentServer;
        Preferences& preferences = *wired.preferences;
        preferences.setValue(QStringLiteral("vpn_selected_hostname"), current.hostdomain);
        preferences.setValue(QStringLiteral("vpn_selected_name"), current.name);
        preferences.setValue(QStringLiteral("vpn_selected_country"), current.country);
        preferences.setValue(QStringLiteral("vpn_selected_protocol"), current.vpnProtocol);
        preferences.setValue(QStringLiteral("vpn_selected_config"), current.config);
    }
    if (wired.notifications)
        wired.notifications->post(QStringLiteral("changedServer"));
}
