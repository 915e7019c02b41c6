#include "ui/BackgroundConnection.h"

#include "connection/ConnectSequence.h"
#include "connection/ConnectionStates.h"
#include "connection/Failover.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "ui/DialogController.h"

BackgroundConnection::BackgroundConnection(TunnelControl& tunnel, QWidget& window,
                                           std::function<bool()> screenless)
    : m_window(window), m_screenless(std::move(screenless)),
      m_states(std::make_shared<ConnectionStates>(tunnel)),
      m_failover(std::make_shared<Failover>(m_states, tunnel, services().linkMonitor)),
      m_connect(std::make_shared<ConnectSequence>(m_states, m_failover, tunnel)) {
    m_states->attachView(this, this);
    showCurrentServer();
    tunnel.statusEvent().subscribe(this, &BackgroundConnection::applyVPNStatus);
}

BackgroundConnection::~BackgroundConnection() = default;

void BackgroundConnection::showCurrentServer() {
    const auto& server = appState().currentServer;
    m_shownName = server ? localized(server->name) : localized(QStringLiteral("AUTO_MATCHING"));
}

void BackgroundConnection::renderDisconnected(bool showAutoMatching) {
    if (showAutoMatching)
        m_shownName = localized(QStringLiteral("AUTO_MATCHING"));
    else
        showCurrentServer();
}

void BackgroundConnection::renderConnecting() {
    showCurrentServer();
}

void BackgroundConnection::renderConnected() {
    showCurrentServer();
}

void BackgroundConnection::showServer(const QString& name, const QString&) {
    m_shownName = name;
}

void BackgroundConnection::presentAdminDialog() {
    DialogController::present(&m_window);
}

// The screen applies the system's IKEv2 states while it exists; without it, this does.
void BackgroundConnection::applyVPNStatus(VpnStatus status) {
    if (appState().selectedProtocol != QLatin1String("IKEV2") || !m_screenless())
        return;
    if (status == VpnStatus::Disconnected || status == VpnStatus::Connecting ||
        status == VpnStatus::Connected)
        m_states->applyStateForStatus(status);
}
