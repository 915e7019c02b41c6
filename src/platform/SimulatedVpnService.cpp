#include "platform/SimulatedVpnService.h"

SimulatedVpnService::SimulatedVpnService(QObject* parent) : SystemVpnService(parent) {
    m_connectDelay.setSingleShot(true);
    m_connectDelay.setInterval(300);
    QObject::connect(&m_connectDelay, &QTimer::timeout, this,
                     [this] { changeStatusLater(VpnStatus::Connected); });
}

void SimulatedVpnService::later(std::function<void()> step) {
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

// The status changes when its notification is delivered, so each notification reads
// the status it announces.
void SimulatedVpnService::changeStatusLater(VpnStatus status) {
    later([this, status] {
        if (m_status == status)
            return;
        m_status = status;
        emit statusDidChange();
    });
}

void SimulatedVpnService::loadFromPreferences(
    std::function<void(const QString& error)> completion) {
    ++m_loads;
    later([this, completion = std::move(completion)] {
        if (m_loadError.isEmpty()) {
            m_settings = m_stored.settings;
            m_enabled = m_stored.enabled;
            m_onDemandEnabled = m_stored.onDemandEnabled;
        }
        if (completion)
            completion(m_loadError);
    });
}

void SimulatedVpnService::saveToPreferences(std::function<void(const QString& error)> completion) {
    ++m_saves;
    later([this, completion = std::move(completion)] {
        if (m_saveError.isEmpty())
            m_stored = {m_settings, m_enabled, m_onDemandEnabled, m_description};
        if (completion)
            completion(m_saveError);
    });
}

void SimulatedVpnService::setProtocolConfiguration(const std::optional<IKEv2Settings>& settings) {
    m_settings = settings;
}

void SimulatedVpnService::setLocalizedDescription(const QString& description) {
    m_description = description;
}

SystemVpnService::ErrorCode SimulatedVpnService::startVPNTunnel() {
    ++m_starts;
    const ErrorCode error =
        m_queuedStartErrors.isEmpty() ? m_startError : m_queuedStartErrors.takeFirst();
    if (error != ErrorCode::None)
        return error;
    if (!m_stored.settings)
        return ErrorCode::ConfigurationInvalid;
    if (!m_stored.enabled)
        return ErrorCode::ConfigurationDisabled;
    changeStatusLater(VpnStatus::Connecting);
    m_connectDelay.start();
    return ErrorCode::None;
}

void SimulatedVpnService::stopVPNTunnel() {
    ++m_stops;
    if (m_status == VpnStatus::Disconnected && !m_connectDelay.isActive())
        return;
    m_connectDelay.stop();
    changeStatusLater(VpnStatus::Disconnecting);
    changeStatusLater(VpnStatus::Disconnected);
}

void SimulatedVpnService::drop() {
    m_connectDelay.stop();
    changeStatusLater(VpnStatus::Disconnected);
}
