#pragma once

#include "core/ConnectionObserver.h"
#include "killswitch/KillSwitchRules.h"
#include "killswitch/ServerEndpoints.h"
#include "platform/Firewall.h"
#include "platform/HostResolver.h"

#include <QObject>
#include <QThreadPool>
#include <optional>

class Preferences;

// "Block traffic outside the VPN": while an attempt runs and while connected, only the
// tunnel, the servers being tried, the service's API hosts, DHCP, lookups of the
// service's names and, when allowed, the local network get out. An attempt starts only
// once its rules are in place; rules that cannot be loaded stop it. A user's disconnect,
// sign-out or quit removes the rules; a tunnel that drops, or an attempt that fails,
// leaves them in place until a reconnect succeeds or the user leaves. Rules are loaded
// one at a time, in order, on a thread of their own; names are looked up first, so the
// rules hold addresses.
class KillSwitch final : public QObject, public ConnectionObserver {
    Q_OBJECT
public:
    static constexpr const char* kEnabledKey = "killswitch_enabled";
    static constexpr const char* kAllowLocalNetworkKey = "killswitch_allow_lan";
    // In the working folder while our table may be in place: a run that ends without
    // removing it (a crash) leaves it for the next start to report.
    static constexpr const char* kMarkerName = "killswitch.active";
    static constexpr int kLookupTimeoutMs = 2000;

    struct Ports {
        Firewall& firewall;
        HostResolver& resolver;
        Preferences& preferences;
    };

    // `vpnHome` is the working folder that holds the marker.
    KillSwitch(Ports ports, QString vpnHome, QObject* parent = nullptr);
    ~KillSwitch() override;

    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool allowsLocalNetwork() const;
    void setAllowLocalNetwork(bool allow);

    // At start: a table an earlier run left (it crashed) is reported; the user keeps it
    // (it is loaded again, as blocking as before) or clears it.
    void offerLeftTable();

    // ConnectionObserver
    void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers,
                         AttemptGate gate) override;
    void tunnelConnected() override;
    void userDisconnected() override;
    void quitting() override;

    // Whether the last rules that took effect block traffic.
    bool isBlocking() const { return m_blocking; }
    // Nothing queued or loading: the rules in place are the last ones asked for.
    bool isSettled() const { return !m_running && !m_next && !m_lookingUp; }

private:
    enum class Phase { Off, Attempt, Connected };
    struct Load {
        Firewall::Job job;
        bool blocks = false;
        // Runs once the load has ended, unless a newer load took its place first.
        std::function<void()> then;
        // The attempt whose servers the rules hold: its gate waits for them.
        std::optional<quint64> attempt;
    };

    void refresh(bool lookUpNames);
    void installWithLookups(const QStringList& names);
    void lookUp(const QStringList& names, quint64 round);
    KillSwitchRules rules(const QStringList& names) const;
    QStringList namesInUse() const;
    QList<KillSwitchRules::Endpoint> addressesOf(const QList<HostEndpoint>& endpoints) const;
    void install(const QStringList& names, std::function<void()> then = {});
    void removeTable();
    void enqueue(Load load);
    void runNext();
    void loaded(Firewall::Outcome outcome, const Load& load);
    // The attempt's gate, once its rules are in place or could not be loaded.
    void answerGate(Firewall::Outcome outcome, const Load& load);
    void openGate();
    void setBlocking(bool blocking);
    QString markerPath() const;
    bool tableMayBeIn() const;

    Ports m_ports;
    QString m_vpnHome;
    Phase m_phase = Phase::Off;
    QList<HostEndpoint> m_serverEndpoints;
    // Counts the attempts; the newest one's gate waits until its rules are in place.
    quint64 m_attempt = 0;
    std::optional<AttemptGate> m_gate;
    // Last addresses each name resolved to: a lookup that fails later keeps them.
    HostResolver::Addresses m_known;
    // Names whose lookups the last blocking rules let through.
    QStringList m_lookupsLoaded;
    quint64 m_round = 0;
    bool m_lookingUp = false;
    bool m_running = false;
    // Only the newest rules matter: one that waits is replaced by a newer one.
    std::optional<Load> m_next;
    bool m_blocking = false;
    bool m_failureShown = false;
    QThreadPool m_loader;
};
