#include "killswitch/KillSwitch.h"

#include "api/ApiHosts.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/Alerts.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "tunnel/DnsOverride.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QPointer>

Q_LOGGING_CATEGORY(lcKillSwitch, "orvel.killswitch")

namespace {

const QString kBlockedChanged = QStringLiteral("trafficBlockedChanged");
// charon's interface when it runs with userspace IPsec.
const QString kCharonInterface = QStringLiteral("ipsec0");

bool preference(const Preferences& preferences, const char* key) {
    return preferences.integer(QLatin1String(key)).value_or(0) != 0;
}

QString reason(Firewall::Outcome outcome) {
    switch (outcome) {
    case Firewall::Outcome::NoAdministrator:
        return localized(QStringLiteral("KILLSWITCH_WHY_ADMIN"));
    case Firewall::Outcome::NotInstalled:
        return localized(QStringLiteral("KILLSWITCH_WHY_NFT"));
    case Firewall::Outcome::NotWritten:
        return localized(QStringLiteral("KILLSWITCH_WHY_FILE"));
    case Firewall::Outcome::Loaded:
    case Firewall::Outcome::Refused:
        break;
    }
    return localized(QStringLiteral("KILLSWITCH_WHY_REFUSED"));
}

} // namespace

KillSwitch::KillSwitch(Ports ports, QString vpnHome, QObject* parent)
    : QObject(parent), m_ports(ports), m_vpnHome(std::move(vpnHome)) {
    m_loader.setMaxThreadCount(1);
}

KillSwitch::~KillSwitch() {
    m_loader.waitForDone();
}

bool KillSwitch::isEnabled() const {
    return preference(m_ports.preferences, kEnabledKey);
}

void KillSwitch::setEnabled(bool enabled) {
    m_ports.preferences.setValue(QLatin1String(kEnabledKey), enabled ? 1 : 0);
    refresh(true);
}

bool KillSwitch::allowsLocalNetwork() const {
    return preference(m_ports.preferences, kAllowLocalNetworkKey);
}

void KillSwitch::setAllowLocalNetwork(bool allow) {
    m_ports.preferences.setValue(QLatin1String(kAllowLocalNetworkKey), allow ? 1 : 0);
    refresh(false);
}

void KillSwitch::offerLeftTable() {
    if (!tableMayBeIn())
        return;
    qCInfo(lcKillSwitch) << "an earlier run left its kill switch table in place";
    Alerts* alerts = services().alerts;
    const int choice =
        alerts ? alerts->showChoiceAlert(localized(QStringLiteral("KILLSWITCH_LEFT")),
                                         {localized(QStringLiteral("KILLSWITCH_KEEP")),
                                          localized(QStringLiteral("KILLSWITCH_CLEAR"))})
               : 0;
    if (choice == 0) {
        // Loaded again rather than trusted: after a restart of the machine it is gone.
        m_phase = Phase::Attempt;
        if (!isEnabled())
            m_ports.preferences.setValue(QLatin1String(kEnabledKey), 1);
        refresh(true);
    } else {
        removeTable();
    }
}

void KillSwitch::attemptStarting(const QList<std::shared_ptr<ServerData>>& servers,
                                 AttemptGate gate) {
    ++m_attempt;
    m_gate = std::move(gate);
    m_phase = Phase::Attempt;
    m_serverEndpoints.clear();
    for (const auto& server : servers) {
        if (!server)
            continue;
        // The smart-matched server carries no protocol: it is tried with the ticked one.
        const QString protocol =
            server->vpnProtocol.isEmpty() ? appState().selectedProtocol : server->vpnProtocol;
        m_serverEndpoints << ServerEndpoints::ofServer(*server, protocol);
    }
    refresh(true);
}

void KillSwitch::tunnelConnected() {
    m_phase = Phase::Connected;
    // Nothing new to look up; lookups now could leave before the tunnel carries them.
    refresh(false);
}

void KillSwitch::userDisconnected() {
    m_phase = Phase::Off;
    m_gate.reset();
    refresh(false);
}

void KillSwitch::quitting() {
    m_phase = Phase::Off;
    m_gate.reset();
    ++m_round;
    m_next.reset();
    m_loader.waitForDone();
    if (!tableMayBeIn())
        return;
    if (m_ports.firewall.load(KillSwitchRules::removal())() == Firewall::Outcome::Loaded)
        QFile::remove(markerPath());
    else
        qCWarning(lcKillSwitch) << "the kill switch table could not be removed at quit";
}

void KillSwitch::refresh(bool lookUpNames) {
    ++m_round;
    m_lookingUp = false;
    // Turned off while an attempt waits for its rules: nothing is to be blocked any more.
    if (!isEnabled())
        openGate();
    if (!isEnabled() || m_phase == Phase::Off) {
        if (tableMayBeIn() || m_blocking)
            removeTable();
        return;
    }
    const QStringList names = namesInUse();
    if (!lookUpNames || names.isEmpty()) {
        install(names);
        return;
    }
    installWithLookups(names);
}

void KillSwitch::installWithLookups(const QStringList& names) {
    // Our table drops the lookups of names it does not know yet: it learns them first,
    // with the addresses known so far.
    const bool newNames = std::any_of(names.cbegin(), names.cend(), [this](const QString& name) {
        return !m_lookupsLoaded.contains(name);
    });
    m_lookingUp = true;
    const quint64 round = m_round;
    if (tableMayBeIn() && newNames)
        install(names, [this, round, names] {
            if (round == m_round)
                lookUp(names, round);
        });
    else
        lookUp(names, round);
}

void KillSwitch::lookUp(const QStringList& names, quint64 round) {
    QPointer<KillSwitch> self(this);
    m_ports.resolver.lookUp(names, kLookupTimeoutMs,
                            [self, round, names](const HostResolver::Addresses& found) {
                                if (!self || round != self->m_round)
                                    return;
                                self->m_lookingUp = false;
                                for (auto it = found.cbegin(); it != found.cend(); ++it)
                                    self->m_known.insert(it.key(), it.value());
                                for (const QString& name : names) {
                                    if (!self->m_known.contains(name))
                                        qCWarning(lcKillSwitch) << "no address for" << name;
                                }
                                self->install(names);
                            });
}

QStringList KillSwitch::namesInUse() const {
    QStringList names;
    for (const HostEndpoint& endpoint :
         m_serverEndpoints + ServerEndpoints::apiHosts(apiHostTable())) {
        if (!endpoint.host.name.isEmpty() && !names.contains(endpoint.host.name))
            names << endpoint.host.name;
    }
    return names;
}

QList<KillSwitchRules::Endpoint>
KillSwitch::addressesOf(const QList<HostEndpoint>& endpoints) const {
    QList<KillSwitchRules::Endpoint> resolved;
    for (const HostEndpoint& endpoint : endpoints) {
        const QList<QHostAddress> addresses = endpoint.host.name.isEmpty()
                                                  ? QList<QHostAddress>{endpoint.host.address}
                                                  : m_known.value(endpoint.host.name);
        for (const QHostAddress& address : addresses)
            resolved << KillSwitchRules::Endpoint{address, endpoint.transport, endpoint.port};
    }
    return resolved;
}

KillSwitchRules KillSwitch::rules(const QStringList& names) const {
    KillSwitchRules rules;
    rules.tunnelInterfaces = utunNames() + QStringList{kCharonInterface};
    rules.endpoints =
        addressesOf(m_serverEndpoints) + addressesOf(ServerEndpoints::apiHosts(apiHostTable()));
    rules.lookups = names;
    rules.resolvers = m_ports.resolver.configuredServers();
    rules.allowLocalNetwork = allowsLocalNetwork();
    rules.connected = m_phase == Phase::Connected;
    rules.tunnelResolvers = {QHostAddress(QLatin1String(kOverrideResolver))};
    return rules;
}

void KillSwitch::install(const QStringList& names, std::function<void()> then) {
    // Before the rules go in: a crash from here on leaves them for the next start.
    QDir().mkpath(m_vpnHome);
    QFile marker(markerPath());
    if (!marker.exists() && !marker.open(QIODevice::WriteOnly))
        qCWarning(lcKillSwitch) << "cannot write" << marker.fileName();
    m_lookupsLoaded = m_phase == Phase::Connected ? QStringList() : names;
    // A load followed by lookups only lets them through; the one after them holds the
    // attempt's servers.
    std::optional<quint64> attempt;
    if (!then)
        attempt = m_attempt;
    enqueue(Load{m_ports.firewall.load(rules(names).ruleset()), true, std::move(then), attempt});
}

void KillSwitch::removeTable() {
    enqueue(Load{m_ports.firewall.load(KillSwitchRules::removal()), false, {}, {}});
}

void KillSwitch::enqueue(Load load) {
    m_next = std::move(load);
    runNext();
}

void KillSwitch::runNext() {
    if (m_running || !m_next)
        return;
    Load load = std::move(*m_next);
    m_next.reset();
    m_running = true;
    QPointer<KillSwitch> self(this);
    m_loader.start([self, load = std::move(load)] {
        QElapsedTimer clock;
        clock.start();
        const Firewall::Outcome outcome = load.job();
        qCInfo(lcKillSwitch) << (load.blocks ? "loading the rules" : "removing the rules") << "took"
                             << clock.elapsed() << "ms";
        QMetaObject::invokeMethod(
            self, [self, outcome, load] { self->loaded(outcome, load); }, Qt::QueuedConnection);
    });
}

void KillSwitch::loaded(Firewall::Outcome outcome, const Load& load) {
    m_running = false;
    const bool ok = outcome == Firewall::Outcome::Loaded;
    if (ok) {
        m_failureShown = false;
        setBlocking(load.blocks);
        qCInfo(lcKillSwitch) << (load.blocks ? "rules in place" : "rules removed");
    }
    // Gone for sure only once a removal worked and nothing is about to load again.
    if (ok && !load.blocks && !(m_next && m_next->blocks))
        QFile::remove(markerPath());
    answerGate(outcome, load);
    // A waiting attempt's stop says it, once its own rules have failed.
    if (!ok && !m_next && !m_failureShown && !m_gate) {
        // The rules stay as they were: the user must know they are not what was asked.
        m_failureShown = true;
        showConfirmAlert(localized(QStringLiteral("KILLSWITCH_FAILED")).arg(reason(outcome)));
    }
    if (load.then)
        load.then();
    runNext();
}

void KillSwitch::answerGate(Firewall::Outcome outcome, const Load& load) {
    if (!m_gate || load.attempt != m_attempt)
        return;
    if (outcome == Firewall::Outcome::Loaded) {
        openGate();
        return;
    }
    // A newer load for the same attempt may still work.
    if (m_next && m_next->attempt == m_attempt)
        return;
    const AttemptGate gate = std::move(*m_gate);
    m_gate.reset();
    // The refusal is the message: the alert for failed rules would say it twice.
    m_failureShown = true;
    qCWarning(lcKillSwitch) << "the attempt stops: its rules could not be loaded";
    gate.refuse(localized(QStringLiteral("KILLSWITCH_NOT_SET")).arg(reason(outcome)));
}

void KillSwitch::openGate() {
    if (!m_gate)
        return;
    const AttemptGate gate = std::move(*m_gate);
    m_gate.reset();
    gate.proceed();
}

void KillSwitch::setBlocking(bool blocking) {
    m_blocking = blocking;
    if (appState().trafficBlocked == blocking)
        return;
    appState().trafficBlocked = blocking;
    if (NotificationCenter* notifications = services().notifications)
        notifications->post(kBlockedChanged);
}

QString KillSwitch::markerPath() const {
    return m_vpnHome + QLatin1String(kMarkerName);
}

bool KillSwitch::tableMayBeIn() const {
    return QFile::exists(markerPath());
}
