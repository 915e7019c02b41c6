#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The swanctl.conf text of the one client connection: EAP-MSCHAPv2 with user name and
// password, the server authenticated by its certificate, a virtual IP requested.
struct SwanctlConfig {
    QString connectionName;
    QString serverAddress;
    QString remoteIdentifier;
    QString username;
    std::optional<QByteArray> password;
    QString remoteTrafficSelector;

    // Absent, with the reason, when a value cannot be written safely.
    std::optional<QString> render(QString* error) const;
};
