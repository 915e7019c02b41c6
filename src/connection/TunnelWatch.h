#pragma once

#include <QObject>
#include <QTimer>

class ConnectionStates;
class LinkMonitor;
class SleepMonitor;
class TunnelControl;

// Watches the tunnel between supervision ticks and after the network changed under it:
// the kernel's link and route messages and a resume from sleep. An OpenVPN attempt's
// interface is seen as it comes up. Once connected, each change leads to a check: for
// OpenVPN, our process still up and its interface there; for IKEv2, the SA's state from
// charon, whose MOBIKE and dead peer detection may well have kept it. A tunnel found gone
// is a drop.
//
// OpenVPN restarting inside its own process (ping-restart, a restarted server) takes its
// interface away and makes it again a second later. While the process runs, that is a
// reconnect inside OpenVPN: the connecting look and a grace, not a drop.
class TunnelWatch final : public QObject {
    Q_OBJECT
public:
    // OpenVPN's own restart is back within seconds; a tunnel not back by then has dropped.
    static constexpr int kRestartGraceMs = 30000;
    // Route and link messages come in bursts: charon is asked once per burst.
    static constexpr int kIKEv2CheckDelayMs = 500;

    TunnelWatch(ConnectionStates& states, TunnelControl& tunnel, LinkMonitor* links,
                SleepMonitor* sleep, QObject* parent = nullptr);

    bool isInRestartGrace() const { return m_grace.isActive(); }

private:
    // Listens to the links only while there is a tunnel, or an OpenVPN one coming up.
    void update();
    void linksChanged();
    void resumed();
    void checkOpenVPN();
    void openVPNExited();
    void drop(const char* why);

    ConnectionStates& m_states;
    TunnelControl& m_tunnel;
    LinkMonitor* m_links;
    SleepMonitor* m_sleep;
    QTimer m_grace;
    QTimer m_ikev2Check;
};
