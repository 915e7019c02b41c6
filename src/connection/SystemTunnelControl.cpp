#include "connection/SystemTunnelControl.h"

#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "tunnel/Configuration.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/VPNManager.h"

SystemTunnelControl& SystemTunnelControl::shared() {
    static SystemTunnelControl control;
    return control;
}

// The launcher asks the screen through m_screen, which each install call points at the
// screen of that moment.
SystemTunnelControl::SystemTunnelControl()
    : m_launcher(OpenVPNScreen{[this] {
                                   if (m_screen.showConnecting)
                                       m_screen.showConnecting();
                               },
                               [this] {
                                   if (m_screen.presentAdminDialog)
                                       m_screen.presentAdminDialog();
                               }}) {}

void SystemTunnelControl::connectIKEv2(const QString& hostdomain) {
    const AppState& state = appState();
    const Configuration configuration{hostdomain, state.vpnUsername, state.vpnPassword, false,
                                      std::nullopt};
    if (services().preferences)
        configuration.saveToDefaults(*services().preferences);
    VPNManager::shared().connect(configuration, hostdomain, [](const QString& message) {
        logLine(message);
        // A start refused because charon is not there is something the user can mend.
        if (message == QLatin1String("Can't connect") &&
            !VPNManager::shared().manager().isAvailable())
            showConfirmAlert(localized(QStringLiteral("IKEV2_UNAVAILABLE")));
    });
}

void SystemTunnelControl::disconnectIKEv2() {
    VPNManager::shared().disconnect();
}

void SystemTunnelControl::writeOpenVPNFiles(const QString& config) {
    writeAuthFile();
    writeOvpnFile(config);
}

void SystemTunnelControl::launchOpenVPN() {
    m_launcher.launchOpenVPN();
}

void SystemTunnelControl::installAndLaunchOpenVPN(const std::function<void()>& showConnecting,
                                                  const std::function<void()>& presentAdminDialog) {
    m_screen = {showConnecting, presentAdminDialog};
    m_launcher.installAndLaunchOpenVPN();
}

void SystemTunnelControl::stopOpenVPN() {
    ::stopOpenVPN();
}

bool SystemTunnelControl::openVPNRunning() const {
    return m_launcher.isRunning();
}

void SystemTunnelControl::setOpenVPNExitHandler(std::function<void()> handler) {
    m_launcher.setExitHandler(std::move(handler));
}

void SystemTunnelControl::recheckIKEv2() {
    VPNManager::shared().manager().recheckStatus();
}

VpnStatus SystemTunnelControl::vpnStatus() const {
    return VPNManager::shared().manager().status();
}

Subject<VpnStatus>& SystemTunnelControl::statusEvent() {
    return VPNManager::shared().statusEvent;
}

void SystemTunnelControl::applyDNSOverride() {
    ::applyDNSOverride();
}
