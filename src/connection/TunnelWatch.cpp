#include "connection/TunnelWatch.h"

#include "connection/ConnectionEvents.h"
#include "connection/ConnectionStates.h"
#include "connection/Failover.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "platform/LinkMonitor.h"
#include "platform/SleepMonitor.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTunnelWatch, "orvel.connection")

namespace {
bool overIKEv2() {
    return appState().selectedProtocol == QLatin1String("IKEV2");
}
} // namespace

TunnelWatch::TunnelWatch(ConnectionStates& states, TunnelControl& tunnel, LinkMonitor* links,
                         SleepMonitor* sleep, QObject* parent)
    : QObject(parent), m_states(states), m_tunnel(tunnel), m_links(links), m_sleep(sleep) {
    m_grace.setSingleShot(true);
    m_grace.setInterval(kRestartGraceMs);
    connect(&m_grace, &QTimer::timeout, this, [this] {
        if (m_states.isReasserting())
            drop("OpenVPN did not bring its tunnel back in time");
    });
    m_ikev2Check.setSingleShot(true);
    m_ikev2Check.setInterval(kIKEv2CheckDelayMs);
    connect(&m_ikev2Check, &QTimer::timeout, this, [this] {
        if (appState().isConnected && overIKEv2())
            m_tunnel.recheckIKEv2();
    });
    if (m_links)
        connect(m_links, &LinkMonitor::linksChanged, this, &TunnelWatch::linksChanged);
    if (m_sleep)
        connect(m_sleep, &SleepMonitor::resumed, this, &TunnelWatch::resumed);
    m_tunnel.setOpenVPNExitHandler([this] { openVPNExited(); });
    const ConnectionEvents& events = ConnectionEvents::shared();
    for (auto change : {&ConnectionEvents::connecting, &ConnectionEvents::connected,
                        &ConnectionEvents::disconnected, &ConnectionEvents::restored})
        connect(&events, change, this, &TunnelWatch::update);
    update();
}

void TunnelWatch::update() {
    const AppState& state = appState();
    if (!state.isConnecting)
        m_grace.stop();
    const bool openvpnComingUp = state.isConnecting && !overIKEv2();
    const bool watch = state.isConnected || openvpnComingUp;
    if (watch && m_sleep)
        m_sleep->start();
    if (!m_links)
        return;
    if (watch)
        m_links->start();
    else
        m_links->stop();
}

void TunnelWatch::linksChanged() {
    const AppState& state = appState();
    if (overIKEv2()) {
        if (state.isConnected)
            m_ikev2Check.start();
    } else if (state.isConnected || m_states.isReasserting()) {
        checkOpenVPN();
    } else if (state.isConnecting && Failover::tunnelInterfaceAppeared()) {
        m_states.showConnected();
    }
}

void TunnelWatch::resumed() {
    const AppState& state = appState();
    if (overIKEv2() && state.isConnected)
        m_tunnel.recheckIKEv2();
    else if (!overIKEv2() && (state.isConnected || m_states.isReasserting()))
        checkOpenVPN();
}

void TunnelWatch::checkOpenVPN() {
    const bool running = m_tunnel.openVPNRunning();
    const bool interfaceUp = Failover::tunnelInterfaceAppeared();
    if (!running) {
        drop("our OpenVPN has exited");
    } else if (m_states.isReasserting() && interfaceUp) {
        qCInfo(lcTunnelWatch) << "OpenVPN brought its tunnel back by itself";
        m_grace.stop();
        m_states.showRestored();
    } else if (!m_states.isReasserting() && !interfaceUp) {
        qCInfo(lcTunnelWatch) << "OpenVPN's interface went away while it runs: it restarts";
        m_states.showReasserting();
        m_grace.start();
    }
}

void TunnelWatch::openVPNExited() {
    if (!overIKEv2() && (appState().isConnected || m_states.isReasserting()))
        drop("our OpenVPN has exited");
}

void TunnelWatch::drop(const char* why) {
    qCInfo(lcTunnelWatch) << "the tunnel dropped:" << why;
    m_grace.stop();
    m_states.showDisconnected();
}
