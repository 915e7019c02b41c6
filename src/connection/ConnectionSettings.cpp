#include "connection/ConnectionSettings.h"

#include "platform/Preferences.h"

namespace {
const QString kReconnectAutomatically = QStringLiteral("reconnect_automatically");
const QString kConnectAtStart = QStringLiteral("connect_at_start");
} // namespace

ConnectionSettings::ConnectionSettings(Preferences& preferences) : m_preferences(preferences) {}

bool ConnectionSettings::reconnectAutomatically() const {
    return m_preferences.integer(kReconnectAutomatically).value_or(1) != 0;
}

void ConnectionSettings::setReconnectAutomatically(bool on) {
    m_preferences.setValue(kReconnectAutomatically, on ? 1 : 0);
}

bool ConnectionSettings::connectAtStart() const {
    return m_preferences.integer(kConnectAtStart).value_or(0) != 0;
}

void ConnectionSettings::setConnectAtStart(bool on) {
    m_preferences.setValue(kConnectAtStart, on ? 1 : 0);
}
