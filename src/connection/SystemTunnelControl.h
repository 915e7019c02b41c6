#pragma once

#include "connection/TunnelControl.h"
#include "tunnel/OpenVPNSession.h"

// The tunnel operations over VPNManager.shared and the OpenVPN session.
class SystemTunnelControl final : public TunnelControl {
public:
    // The one instance: supervision outlives the screens that start attempts.
    static SystemTunnelControl& shared();

    SystemTunnelControl();

    void connectIKEv2(const QString& hostdomain) override;
    void disconnectIKEv2() override;
    void writeOpenVPNFiles(const QString& config) override;
    void launchOpenVPN() override;
    void installAndLaunchOpenVPN(const std::function<void()>& showConnecting,
                                 const std::function<void()>& presentAdminDialog) override;
    void stopOpenVPN() override;
    bool openVPNRunning() const override;
    void setOpenVPNExitHandler(std::function<void()> handler) override;
    void recheckIKEv2() override;
    VpnStatus vpnStatus() const override;
    Subject<VpnStatus>& statusEvent() override;
    void applyDNSOverride() override;

private:
    OpenVPNScreen m_screen;
    OpenVPNLauncher m_launcher;
};
