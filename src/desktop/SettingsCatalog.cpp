#include "desktop/SettingsCatalog.h"

#include "connection/ConnectionSettings.h"
#include "core/LocalizeStrings.h"
#include "desktop/Autostart.h"
#include "desktop/DesktopSettings.h"
#include "killswitch/KillSwitch.h"

namespace {
// A setting whose change always takes.
template <typename Owner>
SettingsCatalog::Entry flag(const char* name, Owner& owner, bool (Owner::*get)() const,
                            void (Owner::*set)(bool)) {
    return {QLatin1String(name), [&owner, get] { return (owner.*get)(); },
            [&owner, set](bool value) {
                (owner.*set)(value);
                return true;
            },
            QString()};
}
} // namespace

void SettingsCatalog::add(Entry entry) {
    m_entries.append(std::move(entry));
}

QStringList SettingsCatalog::names() const {
    QStringList list;
    for (const Entry& entry : m_entries)
        list << entry.name;
    return list;
}

const SettingsCatalog::Entry* SettingsCatalog::find(const QString& name) const {
    for (const Entry& entry : m_entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

std::optional<bool> SettingsCatalog::value(const QString& name) const {
    const Entry* entry = find(name);
    return entry ? std::optional<bool>(entry->value()) : std::nullopt;
}

QString SettingsCatalog::set(const QString& name, bool value) {
    const Entry* entry = find(name);
    if (!entry)
        return QStringLiteral("unknown setting ") + name;
    if (entry->value() == value)
        return {};
    if (!entry->change(value))
        return entry->failure;
    emit changed(name, value);
    return {};
}

void addDesktopSettings(SettingsCatalog& catalog, DesktopSettings& settings, Autostart& autostart) {
    catalog.add({QStringLiteral("start_at_login"), [&autostart] { return autostart.isEnabled(); },
                 [&autostart](bool value) { return autostart.setEnabled(value); },
                 localized(QStringLiteral("SETTINGS_AUTOSTART_FAILED"))});
    catalog.add(flag("start_hidden", settings, &DesktopSettings::startHidden,
                     &DesktopSettings::setStartHidden));
    catalog.add(flag("notifications", settings, &DesktopSettings::notificationsEnabled,
                     &DesktopSettings::setNotificationsEnabled));
}

void addConnectionSettings(SettingsCatalog& catalog, ConnectionSettings& settings) {
    catalog.add(flag("reconnect_automatically", settings,
                     &ConnectionSettings::reconnectAutomatically,
                     &ConnectionSettings::setReconnectAutomatically));
    catalog.add(flag("connect_at_start", settings, &ConnectionSettings::connectAtStart,
                     &ConnectionSettings::setConnectAtStart));
}

void addKillSwitchSettings(SettingsCatalog& catalog, KillSwitch& killSwitch) {
    catalog.add(flag("kill_switch", killSwitch, &KillSwitch::isEnabled, &KillSwitch::setEnabled));
    catalog.add(flag("local_network", killSwitch, &KillSwitch::allowsLocalNetwork,
                     &KillSwitch::setAllowLocalNetwork));
}
