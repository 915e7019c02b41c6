#include "connection/ConnectionSettings.h"

#include "platform/Preferences.h"

namespace {
constexpr const char* kReconnectAutomatically = "reconnect_automatically";
constexpr const char* kConnectAtStart = "connect_at_start";
} // namespace

ConnectionSettings::ConnectionSettings(Preferences& preferences) : m_preferences(preferences) {}

bool ConnectionSettings::flag(const char* key, bool fallback) const {
    const std::optional<qint64> value = m_preferences.integer(QLatin1String(key));
    return value ? *value != 0 : fallback;
}

void ConnectionSettings::setFlag(const char* key, bool enabled) {
    m_preferences.setValue(QLatin1String(key), enabled ? 1 : 0);
}

bool ConnectionSettings::reconnectAutomatically() const {
    return flag(kReconnectAutomatically, true);
}

void ConnectionSettings::setReconnectAutomatically(bool enabled) {
    setFlag(kReconnectAutomatically, enabled);
}

bool ConnectionSettings::connectAtStart() const {
    return flag(kConnectAtStart, false);
}

void ConnectionSettings::setConnectAtStart(bool enabled) {
    setFlag(kConnectAtStart, enabled);
}
