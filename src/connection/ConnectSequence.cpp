#include "connection/ConnectSequence.h"

#include "api/ApiClient.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionStates.h"
#include "connection/ConnectionView.h"
#include "connection/Failover.h"
#include "connection/TunnelControl.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/ConnectionObserver.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "tunnel/SignOut.h"

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");

// Watchers hear of the refusal before the modal alert holds the main loop.
void alertKey(const char* key) {
    const QString text = localized(QLatin1String(key));
    emit ConnectionEvents::shared().connectRefused(text);
    showConfirmAlert(text);
}
} // namespace

ConnectSequence::ConnectSequence(std::shared_ptr<ConnectionStates> states,
                                 std::shared_ptr<Failover> failover, TunnelControl& tunnel)
    : m_states(std::move(states)), m_failover(std::move(failover)), m_tunnel(tunnel) {}

void ConnectSequence::ClickConnect() {
    logLine(QStringLiteral("ClickConnect()"));
    AppState& state = appState();
    if (!state.isConnected) {
        if (!m_checkOutstanding)
            m_nameFixed = false;
        checkServer();
        return;
    }
    ConnectionEvents::shared().expectDisconnect();
    if (ConnectionObserver* observer = services().connectionObserver)
        observer->userDisconnected();
    if (state.selectedProtocol == kIKEv2) {
        m_tunnel.disconnectIKEv2();
        return;
    }
    m_tunnel.stopOpenVPN();
    m_states->showDisconnected();
}

bool ConnectSequence::isCheckOutstanding() const {
    return m_checkOutstanding && m_checkGeneration == ConnectionEvents::shared().generation();
}

void ConnectSequence::checkServer() {
    ApiClient* api = services().api;
    if (isCheckOutstanding() || !api)
        return;
    ConnectionView* view = m_states->view();
    if (view && !m_nameFixed)
        m_shownName = view->shownServerName();
    if (m_shownName != localized(QStringLiteral("AUTO_MATCHING")) && !appState().currentServer) {
        alertKey("ERRORALERT");
        return;
    }
    m_checkOutstanding = true;
    m_checkGeneration = ConnectionEvents::shared().generation();
    const quint64 generation = m_checkGeneration;
    auto self = shared_from_this();
    api->send(
        QLatin1String(ApiPath::newCheckServer),
        [self] {
            return ApiFields{{QStringLiteral("server_name"), self->serverNameField()},
                             {QStringLiteral("server_protocol"), appState().selectedProtocol}};
        },
        [self, generation](const ApiReply& reply) {
            if (generation != ConnectionEvents::shared().generation())
                return;
            self->m_checkOutstanding = false;
            self->m_nameFixed = false;
            self->handleCheckReply(reply);
        });
}

void ConnectSequence::reconnect() {
    const auto& server = appState().currentServer;
    m_shownName = m_states->isAutoServer || !server ? localized(QStringLiteral("AUTO_MATCHING"))
                                                    : server->name;
    m_nameFixed = true;
    checkServer();
}

QString ConnectSequence::serverNameField() {
    ConnectionView* view = m_states->view();
    if (view && !m_nameFixed)
        m_shownName = view->shownServerName();
    if (m_shownName == localized(QStringLiteral("AUTO_MATCHING")))
        return {};
    const auto& server = appState().currentServer;
    return server ? server->hostdomain : QString();
}

std::shared_ptr<ServerData> ConnectSequence::smartMatchServer(const ApiReply& reply) {
    for (const char* key : {"vpn_smart_match_name", "vpn_smart_match_hostname",
                            "vpn_smart_match_country", "vpn_smart_match_config"}) {
        if (!reply.has(key))
            return nullptr;
    }
    const QString host = reply.text("vpn_smart_match_hostname");
    return std::make_shared<ServerData>(reply.text("vpn_smart_match_name"), host, host, true, true,
                                        reply.text("vpn_smart_match_country"), QString(),
                                        QStringLiteral("KT"), QString(),
                                        reply.text("vpn_smart_match_config"));
}

void ConnectSequence::handleCheckReply(const ApiReply& reply) {
    const QString result = reply.text("result");
    if (result == QLatin1String("200") || result == QLatin1String("1001"))
        connectWithPermission(reply, result == QLatin1String("200"));
    else if (result == QLatin1String("300"))
        alertKey("EXPIREALERT");
    else if (result == QLatin1String("400")) {
        emit ConnectionEvents::shared().connectRefused(QString());
        signOut();
    } else if (result == QLatin1String("500"))
        alertKey("SERVERERROR");
    else if (result == QLatin1String("600"))
        alertKey("EXCEEDUSERALERT");
    else if (result == QLatin1String("1002"))
        alertKey("SERVER_MAINTENANCE");
    else
        alertKey("ERRORALERT");
}

void ConnectSequence::connectWithPermission(const ApiReply& reply, bool automatic) {
    std::shared_ptr<ServerData> matched = smartMatchServer(reply);
    // Without the whole account and server nothing sensible can be started.
    if (!matched || !reply.has("vpn_username") || !reply.has("vpn_password")) {
        alertKey("ERRORALERT");
        return;
    }
    AppState& state = appState();
    state.vpnUsername = reply.text("vpn_username");
    state.vpnPassword = reply.text("vpn_password");
    state.currentServer = matched;
    m_states->isAutoServer = automatic;
    const bool ikev2 = state.selectedProtocol == kIKEv2;
    auto start = [self = shared_from_this(), matched, ikev2] {
        if (ikev2)
            self->m_tunnel.connectIKEv2(matched->hostdomain);
        else
            self->m_failover->startOpenVPN(matched->config);
        self->m_failover->startStage(Failover::Stage::Main);
    };
    // Without the administrator an OpenVPN attempt only asks for one: its launch, once
    // the administrator is given, starts an attempt of its own.
    if (ikev2 || state.isAdminAuthorized)
        m_failover->startAttempt({matched}, std::move(start));
    else
        start();
}
