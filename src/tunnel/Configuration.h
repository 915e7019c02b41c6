#pragma once

#include <QString>
#include <optional>

class Preferences;

// The IKEv2 profile record.
struct Configuration {
    QString server;
    QString account;
    QString password;
    bool onDemand = false;
    std::optional<QString> psk;

    // A record of the last profile under SERVER_KEY, ACCOUNT_KEY and ONDEMAND_KEY, without
    // its secrets; nothing reads it back.
    void saveToDefaults(Preferences& preferences) const;
};
