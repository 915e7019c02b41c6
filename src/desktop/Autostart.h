#pragma once

#include <QString>

// Start at login through the XDG autostart entry orvelvpn.desktop, which starts the
// client hidden in the tray.
class Autostart {
public:
    // `configHome` is $XDG_CONFIG_HOME (~/.config when unset); `program` the client.
    Autostart(QString configHome, QString program);
    static QString defaultConfigHome();

    QString entryPath() const;
    bool isEnabled() const;
    // Writes or removes the entry; false when the file system refused.
    bool setEnabled(bool enabled);

private:
    QString entryText() const;

    QString m_configHome;
    QString m_program;
};
