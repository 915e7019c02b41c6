#include "connection/Failover.h"

#include "api/ApiClient.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionStates.h"
#include "connection/ConnectionView.h"
#include "connection/TunnelControl.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/ConnectionObserver.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "tunnel/TunnelInterfaces.h"

#include <QSysInfo>
#include <QTimer>

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");
const QString kOpenVPN = QStringLiteral("OPENVPN");

std::shared_ptr<ServerData> stableServerFrom(const ApiReply& item) {
    return std::make_shared<ServerData>(
        item.text("name"), item.text("hostdomain"), item.text("hostip"), item.boolean("is_active"),
        item.boolean("is_status"), item.text("country"), item.text("pd_name"), item.text("telecom"),
        item.text("protocol"), item.text("config"));
}

ApiFields healthFields(const QString& name, const QString& address) {
    return {{QStringLiteral("telecom"), QStringLiteral("EM")},
            {QStringLiteral("server_name"), name},
            {QStringLiteral("server_ip"), address},
            {QStringLiteral("platform"), QStringLiteral("macOS")},
            {QStringLiteral("device"), Failover::deviceDescription()},
            {QStringLiteral("app_version"), appShortVersion()},
            {QStringLiteral("protocol"), appState().selectedProtocol}};
}
} // namespace

Failover::Failover(std::shared_ptr<ConnectionStates> states, TunnelControl& tunnel)
    : m_states(std::move(states)), m_tunnel(tunnel) {
    ConnectionEvents& events = ConnectionEvents::shared();
    connect(&events, &ConnectionEvents::administratorAnswered, this,
            &Failover::onAdministratorAnswered);
    // However an attempt ends, a dialog still open no longer holds the supervision.
    for (auto ended : {&ConnectionEvents::attemptCancelled, &ConnectionEvents::connected,
                       &ConnectionEvents::disconnected})
        connect(&events, ended, this, [this] { m_waitingForAdministrator = false; });
}

QString Failover::deviceDescription() {
    const QString name = QSysInfo::prettyProductName();
    return QStringLiteral("macOS ") + (name.isEmpty() ? QSysInfo::kernelVersion() : name);
}

void Failover::startStage(Stage stage) {
    AppState& state = appState();
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(1000);
    QObject::connect(timer.get(), &QTimer::timeout, this,
                     [self = shared_from_this(), stage] { self->tick(stage); });
    // The stage may be started from the previous timer's own tick: that one is only
    // stopped here and goes away once its tick has returned.
    std::unique_ptr<QTimer> previous = std::move(state.failoverTimer);
    if (previous) {
        previous->stop();
        previous.release()->deleteLater();
    }
    state.failoverTimer = std::move(timer);
    state.failoverTimer->start();
}

void Failover::checkConnectMainServer() {
    tick(Stage::Main);
}

void Failover::checkConnectEM1() {
    tick(Stage::EM1);
}

void Failover::checkConnectEM2() {
    tick(Stage::EM2);
}

void Failover::tick(Stage stage) {
    if (m_waitingForAdministrator)
        return;
    AppState& state = appState();
    ConnectionView* view = m_states->view();
    state.failoverCountdown -= 1;
    if (state.isConnected) {
        endStage();
        m_states->showConnected();
        state.failoverCountdown = 10;
        if (stage != Stage::Main && (view = m_states->view()))
            view->hideFailoverMessage();
        return;
    }
    if (state.failoverCountdown % 2 == 0 && view)
        view->restartLoadingAnimation();
    if (tunnelInterfaceAppeared())
        m_states->showConnected();
    if (stage != Stage::Main && state.failoverCountdown == 7 && (view = m_states->view()))
        view->hideFailoverMessage();
    if (state.failoverCountdown <= 0 && !state.isConnected) {
        switch (stage) {
        case Stage::Main:
            expireMainServer();
            break;
        case Stage::EM1:
            expireEM1();
            break;
        case Stage::EM2:
            expireEM2();
            break;
        }
    }
    if (stage != Stage::EM1 && state.pendingOpenVPNInstall) {
        state.pendingOpenVPNInstall = false;
        startAttempt({state.currentServer}, [self = shared_from_this()] {
            auto states = self->m_states;
            self->m_tunnel.installAndLaunchOpenVPN([states] { states->showConnecting(); },
                                                   [guard = QPointer<Failover>(self.get())] {
                                                       if (guard)
                                                           guard->askForAdministrator();
                                                   });
        });
    }
    switch (stage) {
    case Stage::Main:
        logLine(QStringLiteral("Timer - Main Server Failed Timer"));
        break;
    case Stage::EM1:
        logLine(QStringLiteral("Timer - EM1 Server Failed Timer"));
        break;
    case Stage::EM2:
        logLine(QStringLiteral("Timer - EM2 Server Failed Timer"));
        break;
    }
}

void Failover::expireMainServer() {
    appState().failoverCountdown = 10;
    endStage();
    disconnectAttempt();
    requestStableServer();
}

void Failover::expireEM1() {
    AppState& state = appState();
    state.failoverCountdown = 10;
    endStage();
    disconnectAttempt();
    const auto stable = state.stableServerList;
    if (!stable.isEmpty())
        reportFailedServer(stable.at(0)->name, stable.at(0)->hostdomain);
    if (stable.size() < 2) {
        m_states->showDisconnected();
        emit ConnectionEvents::shared().allServersFailed();
        alertUnlessReconnecting("error_connect_failed");
        return;
    }
    const std::shared_ptr<ServerData>& next = stable.at(1);
    emit ConnectionEvents::shared().switchedToStableServer(next->name);
    // Made current first: the connecting state shows currentServer, and it must show the
    // server being tried rather than the one that just failed.
    state.currentServer = next;
    if (ConnectionView* view = m_states->view()) {
        view->showFailoverMessage(localized(QStringLiteral("error_connect_failed2")));
        view->setProtocolBoxes(false, true);
        view->showServer(next->name, next->country);
    }
    m_states->showConnecting();
    if (next->vpnProtocol.contains(kOpenVPN)) {
        startOpenVPN(next->config);
        startStage(Stage::EM2);
        state.selectedProtocol = kOpenVPN;
    } else if (next->vpnProtocol.contains(kIKEv2)) {
        state.selectedProtocol = kIKEv2;
        m_tunnel.connectIKEv2(next->hostdomain);
    }
}

void Failover::expireEM2() {
    AppState& state = appState();
    disconnectAttempt();
    // With a single stable server the one just tried is the one that failed.
    const std::shared_ptr<ServerData> failed =
        state.stableServerList.size() >= 2 ? state.stableServerList.at(1) : state.currentServer;
    if (failed)
        reportFailedServer(failed->name, failed->hostdomain);
    state.failoverCountdown = 10;
    endStage();
    m_states->showDisconnected();
    emit ConnectionEvents::shared().allServersFailed();
    alertUnlessReconnecting("error_connect_failed");
}

void Failover::requestStableServer() {
    appState().stableServerList.clear();
    ApiClient* api = services().api;
    if (!api)
        return;
    const quint64 generation = ConnectionEvents::shared().generation();
    auto self = shared_from_this();
    api->send(
        QLatin1String(ApiPath::stableServer),
        [] {
            const auto& server = appState().currentServer;
            return healthFields(server ? server->name : QString(),
                                server ? server->hostdomain : QString());
        },
        [self, generation](const ApiReply& reply) {
            if (generation == ConnectionEvents::shared().generation())
                self->handleStableServers(reply);
        });
}

void Failover::handleStableServers(const ApiReply& reply) {
    AppState& state = appState();
    const bool openvpnAttempt = state.selectedProtocol != kIKEv2;
    if (reply.text("result") == QLatin1String("200")) {
        for (const ApiReply& item : reply.array("data"))
            state.stableServerList.append(stableServerFrom(item));
    }
    if (state.stableServerList.isEmpty()) {
        emit ConnectionEvents::shared().allServersFailed();
        alertUnlessReconnecting("error_no_stable_server");
        // The OpenVPN attempt has no status event that could end its connecting look.
        if (openvpnAttempt)
            m_states->showDisconnected();
        return;
    }
    const std::shared_ptr<ServerData> first = state.stableServerList.at(0);
    auto start = [self = shared_from_this(), openvpnAttempt] {
        self->tryFirstStableServer(openvpnAttempt);
    };
    // As at the connect: an OpenVPN server without the administrator only asks for one.
    if (!first->vpnProtocol.contains(kOpenVPN) || first->vpnProtocol.contains(kIKEv2) ||
        state.isAdminAuthorized)
        startAttempt(state.stableServerList, std::move(start));
    else
        start();
}

void Failover::startAttempt(const QList<std::shared_ptr<ServerData>>& servers,
                            std::function<void()> start) {
    ConnectionObserver* observer = services().connectionObserver;
    if (!observer) {
        start();
        return;
    }
    observer->attemptStarting(
        servers, {std::move(start), [self = shared_from_this()](const QString& reason) {
                      self->refuseAttempt(reason);
                  }});
}

void Failover::refuseAttempt(const QString& reason) {
    endStage();
    m_states->showDisconnected();
    emit ConnectionEvents::shared().connectRefused(reason);
    showConfirmAlert(reason);
}

void Failover::tryFirstStableServer(bool openvpnAttempt) {
    AppState& state = appState();
    const std::shared_ptr<ServerData> first = state.stableServerList.at(0);
    ConnectionView* view = m_states->view();
    if (first->vpnProtocol.contains(kIKEv2) || first->vpnProtocol.contains(kOpenVPN))
        emit ConnectionEvents::shared().switchedToStableServer(first->name);
    if (first->vpnProtocol.contains(kIKEv2)) {
        if (view) {
            view->showFailoverMessage(localized(QStringLiteral("error_connect_failed1")));
            view->setProtocolBoxes(true, false);
        }
        state.selectedProtocol = kIKEv2;
        m_states->isAutoServer = true;
        state.currentServer = first;
        // On screen while it is tried; its own status events take the look on from here.
        if (view)
            view->showServer(first->name, first->country);
        m_tunnel.connectIKEv2(first->hostdomain);
        startStage(Stage::EM1);
    } else if (first->vpnProtocol.contains(kOpenVPN)) {
        if (view) {
            view->showFailoverMessage(localized(QStringLiteral("error_connect_failed2")));
            view->setProtocolBoxes(false, true);
        }
        state.selectedProtocol = kOpenVPN;
        if (view)
            view->showServer(first->name, first->country);
        // Made current first: the connecting state shows currentServer.
        state.currentServer = first;
        m_states->showConnecting();
        startOpenVPN(first->config);
        startStage(Stage::EM2);
    } else if (openvpnAttempt) {
        m_states->showDisconnected();
        emit ConnectionEvents::shared().allServersFailed();
    }
}

void Failover::reportFailedServer(const QString& name, const QString& address) {
    ApiClient* api = services().api;
    if (!api)
        return;
    // A failed report is sent again, unchanged, to the next host.
    api->send(
        QLatin1String(ApiPath::reportFailedServer),
        [name, address] { return healthFields(name, address); }, [](const ApiReply&) {});
}

void Failover::endStage() {
    appState().stopFailoverTimer();
}

void Failover::alertUnlessReconnecting(const char* key) {
    if (!ConnectionEvents::shared().isReconnecting())
        showConfirmAlert(localized(QLatin1String(key)));
}

void Failover::disconnectAttempt() {
    if (appState().selectedProtocol != kIKEv2)
        m_tunnel.stopOpenVPN();
    else
        m_tunnel.disconnectIKEv2();
}

void Failover::startOpenVPN(const QString& config) {
    m_tunnel.writeOpenVPNFiles(config);
    if (appState().isAdminAuthorized) {
        m_states->showConnecting();
        m_tunnel.launchOpenVPN();
    } else {
        askForAdministrator();
    }
}

void Failover::askForAdministrator() {
    ConnectionView* view = m_states->view();
    if (!view)
        return;
    m_waitingForAdministrator = true;
    view->presentAdminDialog();
}

void Failover::onAdministratorAnswered(bool accepted) {
    if (!m_waitingForAdministrator)
        return;
    m_waitingForAdministrator = false;
    const AppState& state = appState();
    if (accepted)
        appState().failoverCountdown = 10;
    else if (state.failoverTimer && state.failoverTimer->isActive())
        m_states->cancelAttempt();
}

bool Failover::tunnelInterfaceAppeared() {
    const InterfaceList* interfaces = services().interfaces;
    return interfaces && appState().baselineUtunCount < countTunnelInterfaces(*interfaces);
}
