#pragma once

#include "platform/SwanctlRunner.h"
#include "platform/SystemVpnService.h"

#include <QTimer>

class ItemStore;

// The profile as a 0600 JSON file, the tunnel through strongSwan's charon: save writes
// a swanctl connection file and loads it, start initiates it, the status follows the
// IKE SA. charon's userspace IPsec creates ipsec0 when the daemon starts, so the
// interface says nothing about a tunnel; only the SA state does.
//
// The status is read with `swanctl --list-sas` after each load, initiate and terminate,
// and every few seconds while connected to notice a tunnel the peer took down. Nothing
// polls while disconnected.
class StrongSwanVpnService final : public SystemVpnService {
    Q_OBJECT
public:
    struct Settings {
        QString profileFile;
        // swanctl.conf and its x509ca/ folder. The file holds the VPN password, so the
        // folder is private and outside the home.
        QString swanctlFolder;
        QString viciSocket;
        // A CA certificate file, or a folder of them, that the server certificate chains to.
        QString trustedCa;
        QString remoteTrafficSelector = QStringLiteral("0.0.0.0/0");
        int timeoutSeconds = 20;
        int connectedCheckMs = 5000;

        // The profile in the user's data folder, swanctl.conf in the private runtime
        // folder; overridden by ORVEL_CHARON_VICI, ORVEL_IKEV2_CA and ORVEL_IKEV2_REMOTE_TS.
        static Settings fromEnvironment();
    };

    static constexpr const char* kConnectionName = "orvel-ikev2";

    StrongSwanVpnService(ItemStore& items, SwanctlRunner& runner, Settings settings,
                         QObject* parent = nullptr);

    // Whether a daemon listens on the socket; a stale socket file does not count.
    static bool viciReachable(const QString& socketPath);

    void loadFromPreferences(std::function<void(const QString& error)> completion) override;
    void saveToPreferences(std::function<void(const QString& error)> completion) override;

    std::optional<IKEv2Settings> protocolConfiguration() const override { return m_settings; }
    void setProtocolConfiguration(const std::optional<IKEv2Settings>& settings) override;
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    void setLocalizedDescription(const QString& description) override;
    void setOnDemandEnabled(bool enabled) override { m_onDemandEnabled = enabled; }
    void clearOnDemandRules() override {}

    ErrorCode startVPNTunnel() override;
    void stopVPNTunnel() override;
    VpnStatus status() const override { return m_status; }
    // MOBIKE and dead peer detection are charon's: the SA's state says whether they kept it.
    void recheckStatus() override;
    bool isAvailable() const override { return viciReachable(m_config.viciSocket); }

private:
    QString readProfile();
    QString writeProfile() const;
    QString writeSwanctlFiles() const;
    void swanctl(QStringList arguments, std::function<void(const SwanctlRunner::Result&)> done);
    void runLoadAll(std::function<void(const SwanctlRunner::Result&)> done);
    void beginStart();
    void initiate(quint64 operation);
    // One timed swanctl command of operation; the state is read again when it ends, then
    // `then` runs.
    void runThenRefresh(const char* action, QStringList arguments, quint64 operation,
                        std::function<void()> then = {});
    void refreshStatus(quint64 operation, std::function<void()> then = {});
    void stopEnded();
    void setStatus(VpnStatus status);

    ItemStore& m_items;
    SwanctlRunner& m_runner;
    Settings m_config;

    std::optional<IKEv2Settings> m_settings;
    bool m_enabled = false;
    bool m_onDemandEnabled = false;
    QString m_description;
    bool m_statusSynced = false;

    VpnStatus m_status = VpnStatus::Disconnected;
    // Each start and stop begins a new operation; results of an older one are dropped.
    quint64 m_operation = 0;
    // A start was accepted and its outcome is not known yet.
    bool m_startInFlight = false;
    // A stop runs; a start asked for meanwhile waits for its end.
    bool m_stopPending = false;
    bool m_startQueued = false;
    QTimer m_connectedCheck;
};
