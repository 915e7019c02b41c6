#include "connection/ConnectionSession.h"

#include "connection/ConnectSequence.h"
#include "connection/ConnectionStates.h"
#include "connection/Failover.h"
#include "connection/Reconnector.h"
#include "connection/TunnelControl.h"
#include "connection/TunnelWatch.h"
#include "core/AppState.h"

#include <utility>

ConnectionSession::ConnectionSession(TunnelControl& tunnel, LinkMonitor* links, SleepMonitor* sleep,
                                     QObject* parent)
    : QObject(parent), m_tunnel(tunnel), m_states(std::make_shared<ConnectionStates>(tunnel)),
      m_failover(std::make_shared<Failover>(m_states, tunnel)),
      m_connect(std::make_shared<ConnectSequence>(m_states, m_failover, tunnel)),
      m_watch(std::make_unique<TunnelWatch>(*m_states, tunnel, links, sleep)),
      m_reconnector(std::make_unique<Reconnector>(*m_states, *m_connect)) {}

ConnectionSession::~ConnectionSession() {
    m_tunnel.setOpenVPNExitHandler({});
}

bool ConnectionSession::isAttemptUnderway() const {
    const AppState& state = appState();
    return state.isConnecting || (state.failoverTimer && state.failoverTimer->isActive());
}

void ConnectionSession::followSystemStatus() {
    Subject<VpnStatus>& event = m_tunnel.statusEvent();
    if (std::exchange(m_followed, &event) != &event)
        event.subscribe(this, &ConnectionSession::applySystemStatus);
}

void ConnectionSession::applySystemStatus(VpnStatus status) {
    if (appState().selectedProtocol == QLatin1String("IKEV2"))
        m_states->applyStateForStatus(status);
}
