#pragma once

#include "core/Subject.h"
#include "platform/SystemVpnService.h"
#include "tunnel/Configuration.h"
#include "tunnel/KeychainWrapper.h"

#include <QObject>
#include <functional>

class ItemStore;
class Preferences;

// Brings the IKEv2 tunnel up and down through the system VPN profile and relays every
// status change of its connection through statusEvent, on the main thread.
class VPNManager final : public QObject {
    Q_OBJECT
public:
    // The one instance, made on first use from the wired services.
    static VPNManager& shared();
    // Tests replace the instance with one over their doubles; nullptr drops it.
    static void resetShared(VPNManager* replacement = nullptr);

    VPNManager(SystemVpnService& manager, ItemStore& items, Preferences& preferences,
               QObject* parent = nullptr);

    // completion is called only on failure, with "Unable to save vpn profile",
    // "Unable to load profile" or "Can't connect".
    void connect(const Configuration& configuration, const QString& serverName,
                 std::function<void(const QString&)> completion);
    void disconnect(std::function<void()> completion = {});
    // Answers the pending quit with yes once the tunnel is down after the stop, or after
    // kTerminationWaitMs at most.
    void disconnectForTermination(std::function<void(bool)> replyToTerminate,
                                  std::function<void()> completion = {});
    void reconnectCurrentServer();

    SystemVpnService& manager() { return m_manager; }
    Subject<VpnStatus> statusEvent;

    // Reconnects that follow "Can't connect" in a row before the manager gives up.
    static constexpr int kReconnectLimit = 3;
    static constexpr int kTerminationWaitMs = 4000;

private:
    void VPNStatusDidChange();

    IKEv2Settings makeProtocol(const Configuration& configuration);
    void loadProfile(std::function<void(bool)> completion = {});
    void saveProfile(std::function<void(bool)> completion);
    bool startTunnel();
    void afterRefusedStart(quint64 disconnectsAtConnect);
    void clearProfileAndStop(std::function<void()> completion);
    static void logMessage(const QString& message);

    SystemVpnService& m_manager;
    KeychainWrapper m_keychain;
    Preferences& m_preferences;
    int m_refusedStartsInARow = 0;
    // A disconnect ends the reconnect attempts of chains started before it.
    quint64 m_disconnects = 0;
    // A connect is on its way and its tunnel has not reported connecting yet.
    bool m_connectPending = false;
    // A stop was asked of a tunnel that was up and its end has not been reported yet.
    bool m_stopUnreported = false;
};
