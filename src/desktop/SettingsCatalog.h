#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Autostart;
class ConnectionSettings;
class DesktopSettings;
class KillSwitch;

// The client's on/off settings by the names the command line uses ("start_at_login",
// "kill_switch"...): the Settings screen and `orvelctl get`/`set` read and change the same
// values, and each hears of the other's changes.
class SettingsCatalog final : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QString name;
        std::function<bool()> value;
        // False when the change could not be made; `failure` then says why.
        std::function<bool(bool)> change;
        QString failure;
    };

    using QObject::QObject;

    void add(Entry entry);
    QStringList names() const;
    std::optional<bool> value(const QString& name) const;
    // "" once changed, otherwise a one-line reason.
    QString set(const QString& name, bool value);

signals:
    void changed(const QString& name, bool value);

private:
    const Entry* find(const QString& name) const;

    QList<Entry> m_entries;
};

// Each owner's entries: start_at_login, start_hidden, notifications; reconnect_automatically,
// connect_at_start; kill_switch, local_network.
void addDesktopSettings(SettingsCatalog& catalog, DesktopSettings& settings, Autostart& autostart);
void addConnectionSettings(SettingsCatalog& catalog, ConnectionSettings& settings);
void addKillSwitchSettings(SettingsCatalog& catalog, KillSwitch& killSwitch);
