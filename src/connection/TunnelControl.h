#pragma once

#include "core/Subject.h"
#include "platform/SystemVpnService.h"

#include <QString>
#include <functional>

// The tunnel operations the connection logic starts; each returns at once.
class TunnelControl {
public:
    virtual ~TunnelControl() = default;

    // Configuration(host, vpnUsername, vpnPassword, no on-demand, no psk), saved to the
    // defaults, then VPNManager connect with a completion that only logs.
    virtual void connectIKEv2(const QString& hostdomain) = 0;
    virtual void disconnectIKEv2() = 0;
    // auth.txt from vpnUsername/vpnPassword, then default.ovpn from `config`.
    virtual void writeOpenVPNFiles(const QString& config) = 0;
    virtual void launchOpenVPN() = 0;
    // Copies the package into place with the account just entered, rewrites the working
    // files for currentServer and launches, or asks for the administrator again; the two
    // screen steps come from the caller.
    virtual void installAndLaunchOpenVPN(const std::function<void()>& showConnecting,
                                         const std::function<void()>& presentAdminDialog) = 0;
    virtual void stopOpenVPN() = 0;
    // Whether the OpenVPN launched last is still running: its process, not its interface.
    virtual bool openVPNRunning() const = 0;
    // `handler` runs on the main thread when the OpenVPN launched last exits.
    virtual void setOpenVPNExitHandler(std::function<void()> handler) = 0;
    // Reads the IKEv2 tunnel's state again; a change comes as a status event.
    virtual void recheckIKEv2() = 0;
    // The system VPN connection's status and its changes.
    virtual VpnStatus vpnStatus() const = 0;
    virtual Subject<VpnStatus>& statusEvent() = 0;
    // The DNS override of the connected state.
    virtual void applyDNSOverride() = 0;
};
