#pragma once

#include "platform/SystemVpnService.h"

#include <QList>
#include <QTimer>

// The system VPN profile and connection played in memory, with scripted outcomes. Like
// the platform, every completion and every status change arrives later, queued on the
// thread that owns the service.
class SimulatedVpnService final : public SystemVpnService {
    Q_OBJECT
public:
    explicit SimulatedVpnService(QObject* parent = nullptr);

    void loadFromPreferences(std::function<void(const QString& error)> completion) override;
    void saveToPreferences(std::function<void(const QString& error)> completion) override;

    std::optional<IKEv2Settings> protocolConfiguration() const override { return m_settings; }
    void setProtocolConfiguration(const std::optional<IKEv2Settings>& settings) override;
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    void setLocalizedDescription(const QString& description) override;
    void setOnDemandEnabled(bool enabled) override { m_onDemandEnabled = enabled; }
    void clearOnDemandRules() override { m_onDemandRulesCleared = true; }

    ErrorCode startVPNTunnel() override;
    void stopVPNTunnel() override;
    VpnStatus status() const override { return m_status; }

    // Script: an empty text means success.
    void setLoadError(const QString& error) { m_loadError = error; }
    void setSaveError(const QString& error) { m_saveError = error; }
    // Refusals taken one per start before startError applies.
    void queueStartErrors(const QList<ErrorCode>& errors) { m_queuedStartErrors += errors; }
    void setStartError(ErrorCode error) { m_startError = error; }
    void setConnectDelay(int milliseconds) { m_connectDelay.setInterval(milliseconds); }
    // The peer goes away: the connection falls to Disconnected.
    void drop();

    // What a test looks at.
    const std::optional<IKEv2Settings>& storedConfiguration() const { return m_stored.settings; }
    bool storedEnabled() const { return m_stored.enabled; }
    bool storedOnDemandEnabled() const { return m_stored.onDemandEnabled; }
    QString storedDescription() const { return m_stored.description; }
    int loadCount() const { return m_loads; }
    int saveCount() const { return m_saves; }
    int startCount() const { return m_starts; }
    int stopCount() const { return m_stops; }
    bool onDemandRulesCleared() const { return m_onDemandRulesCleared; }

private:
    struct Profile {
        std::optional<IKEv2Settings> settings;
        bool enabled = false;
        bool onDemandEnabled = false;
        QString description;
    };

    void later(std::function<void()> step);
    void changeStatusLater(VpnStatus status);

    std::optional<IKEv2Settings> m_settings;
    bool m_enabled = false;
    bool m_onDemandEnabled = false;
    bool m_onDemandRulesCleared = false;
    QString m_description;
    Profile m_stored;
    VpnStatus m_status = VpnStatus::Disconnected;

    QString m_loadError;
    QString m_saveError;
    QList<ErrorCode> m_queuedStartErrors;
    ErrorCode m_startError = ErrorCode::None;
    QTimer m_connectDelay;
    int m_loads = 0;
    int m_saves = 0;
    int m_starts = 0;
    int m_stops = 0;
};
