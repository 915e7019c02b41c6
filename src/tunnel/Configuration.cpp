#include "tunnel/Configuration.h"

#include "platform/Preferences.h"

void Configuration::saveToDefaults(Preferences& preferences) const {
    preferences.setValue(QStringLiteral("SERVER_KEY"), server);
    preferences.setValue(QStringLiteral("ACCOUNT_KEY"), account);
    preferences.setValue(QStringLiteral("PASSWORD_KEY"), password);
    preferences.setValue(QStringLiteral("ONDEMAND_KEY"), false);
    if (psk)
        preferences.setValue(QStringLiteral("PSK_KEY"), *psk);
    else
        preferences.remove(QStringLiteral("PSK_KEY"));
}
