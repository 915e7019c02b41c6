#pragma once

#include "core/Subject.h"
#include "platform/SystemVpnService.h"

#include <QObject>
#include <memory>

class ConnectSequence;
class ConnectionStates;
class Failover;
class LinkMonitor;
class Reconnector;
class SleepMonitor;
class TunnelControl;
class TunnelWatch;

// The connection logic of a run. The menu makes a new connection screen on every visit;
// an attempt, the watch over the tunnel and the way back after a drop go on meanwhile,
// and the screen on show attaches itself to see them.
class ConnectionSession final : public QObject {
    Q_OBJECT
public:
    ConnectionSession(TunnelControl& tunnel, LinkMonitor* links, SleepMonitor* sleep,
                      QObject* parent = nullptr);
    ~ConnectionSession() override;

    TunnelControl& tunnel() { return m_tunnel; }
    ConnectionStates& states() { return *m_states; }
    std::shared_ptr<ConnectionStates> sharedStates() { return m_states; }
    Failover& failover() { return *m_failover; }
    std::shared_ptr<Failover> sharedFailover() { return m_failover; }
    ConnectSequence& connectSequence() { return *m_connect; }
    TunnelWatch& watch() { return *m_watch; }
    Reconnector& reconnector() { return *m_reconnector; }

    // An attempt runs, or the client reconnects by itself: a screen shows it connecting.
    bool isAttemptUnderway() const;
    // From the first screen on, when the system VPN behind the tunnel is wired: the
    // statuses of the IKEv2 connection move the states, whichever screen is on show.
    void followSystemStatus();

private:
    // Disconnected, connecting and connected; the other statuses only touch a screen.
    void applySystemStatus(VpnStatus status);

    TunnelControl& m_tunnel;
    std::shared_ptr<ConnectionStates> m_states;
    std::shared_ptr<Failover> m_failover;
    std::shared_ptr<ConnectSequence> m_connect;
    std::unique_ptr<TunnelWatch> m_watch;
    std::unique_ptr<Reconnector> m_reconnector;
    Subject<VpnStatus>* m_followed = nullptr;
};
