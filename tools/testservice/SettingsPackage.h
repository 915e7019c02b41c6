#pragma once

#include <QByteArray>
#include <QString>

// The settings package the client downloads at first start: a ZIP holding the
// "openvpn" launcher (mode 0755) and the folders "Cellar" and "opt".
class SettingsPackage final {
public:
    static QByteArray build(QString* error = nullptr);
    static QByteArray launcherScript();
};
