#include "connection/ConnectionStates.h"

#include "connection/ConnectionEvents.h"
#include "connection/ConnectionView.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "core/ConnectionObserver.h"
#include "core/Diagnostics.h"
#include "core/Services.h"
#include "platform/ScriptRunner.h"
#include "tunnel/DnsOverride.h"
#include "tunnel/OpenVPNSession.h"

#include <QObject>

ConnectionStates::ConnectionStates(TunnelControl& tunnel) : m_tunnel(tunnel) {}

void ConnectionStates::attachView(QObject* viewObject, ConnectionView* view) {
    m_viewObject = viewObject;
    m_view = view;
}

ConnectionView* ConnectionStates::view() const {
    return m_viewObject ? m_view : nullptr;
}

void ConnectionStates::showDisconnected() {
    AppState& state = appState();
    const bool wasConnected = isReasserting() || state.isConnected;
    m_reasserting = false;
    state.isConnected = false;
    state.isConnecting = false;
    state.failoverCountdown = 10;
    if (ConnectionView* screen = view())
        screen->renderDisconnected(isAutoServer);
    endAttempt();
    // The disconnected look means no tunnel: an OpenVPN still coming up goes too, and the
    // credentials of one that never launched (cancelled at the administrator dialog).
    if (state.openVPNMayRun)
        m_tunnel.stopOpenVPN();
    else
        removeAuthFile();
    resetDNS();
    ConnectionEvents::shared().announceDisconnected(wasConnected);
}

void ConnectionStates::cancelAttempt() {
    ConnectionEvents& events = ConnectionEvents::shared();
    events.cancelAttempt();
    events.expectDisconnect();
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->userDisconnected();
    if (appState().selectedProtocol == QLatin1String("IKEV2"))
        m_tunnel.disconnectIKEv2();
    showDisconnected();
}

void ConnectionStates::showConnecting() {
    AppState& state = appState();
    m_reasserting = false;
    state.isConnected = false;
    state.isConnecting = true;
    if (ConnectionView* screen = view())
        screen->renderConnecting();
    logLine(QStringLiteral("연결중 vpnStateChanged"));
    ConnectionEvents::shared().announceConnecting();
}

bool ConnectionStates::isReasserting() const {
    return m_reasserting && appState().isConnecting;
}

void ConnectionStates::showReasserting() {
    showConnecting();
    m_reasserting = true;
    // OpenVPN looks its server up again as it restarts: the kill switch lets that through,
    // as for an attempt, and blocks the rest as before.
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->attemptStarting({appState().currentServer}, {[] {}, [](const QString&) {}});
}

void ConnectionStates::showRestored() {
    AppState& state = appState();
    m_reasserting = false;
    state.isConnected = true;
    state.isConnecting = false;
    if (ConnectionView* screen = view())
        screen->renderConnected();
    logLine(QStringLiteral("연결됨 vpnStateChanged"));
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->tunnelConnected();
    ConnectionEvents::shared().announceRestored();
}

void ConnectionStates::showConnected() {
    AppState& state = appState();
    m_reasserting = false;
    const bool wasConnected = state.isConnected;
    state.isConnected = true;
    state.isConnecting = false;
    state.failoverCountdown = 10;
    if (ConnectionView* screen = view())
        screen->renderConnected();
    endAttempt();
    logLine(QStringLiteral("연결됨 vpnStateChanged"));
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->tunnelConnected();
    m_tunnel.applyDNSOverride();
    ConnectionEvents::shared().announceConnected(wasConnected);
}

void ConnectionStates::applyStateForStatus(VpnStatus status) {
    switch (status) {
    case VpnStatus::Disconnected:
        showDisconnected();
        break;
    case VpnStatus::Connecting:
        showConnecting();
        break;
    case VpnStatus::Connected:
        showConnected();
        break;
    default:
        break;
    }
}

void ConnectionStates::resetDNS() {
    ScriptRunner* runner = services().scriptRunner;
    if (!runner)
        return;
    // Fixed now: the job must not read the shared credentials from its thread.
    const QStringList statements = dnsResetStatements();
    m_workItem = WorkItem::start([runner, statements] {
        for (const QString& statement : statements)
            runner->runAppleScript(statement);
    });
}

void ConnectionStates::endAttempt() {
    AppState& state = appState();
    state.stopFailoverTimer();
    // An administrator dialog answered after this must not launch anything.
    state.pendingOpenVPNInstall = false;
}
