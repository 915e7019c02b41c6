#include "desktop/DesktopSettings.h"

#include "platform/Preferences.h"

namespace {
constexpr const char* kNotifications = "desktop_notifications";
constexpr const char* kStartHidden = "desktop_start_hidden";
} // namespace

DesktopSettings::DesktopSettings(Preferences& preferences) : m_preferences(preferences) {}

bool DesktopSettings::flag(const char* key, bool fallback) const {
    const std::optional<qint64> value = m_preferences.integer(QLatin1String(key));
    return value ? *value != 0 : fallback;
}

bool DesktopSettings::notificationsEnabled() const {
    return flag(kNotifications, true);
}

void DesktopSettings::setNotificationsEnabled(bool enabled) {
    m_preferences.setValue(QLatin1String(kNotifications), enabled ? 1 : 0);
}

bool DesktopSettings::startHidden() const {
    return flag(kStartHidden, false);
}

void DesktopSettings::setStartHidden(bool hidden) {
    m_preferences.setValue(QLatin1String(kStartHidden), hidden ? 1 : 0);
}
