#include "tunnel/Configuration.h"

#include "platform/Preferences.h"

void Configuration::saveToDefaults(Preferences& preferences) const {
    preferences.setValue(QStringLiteral("SERVER_KEY"), server);
    preferences.setValue(QStringLiteral("ACCOUNT_KEY"), account);
    preferences.setValue(QStringLiteral("ONDEMAND_KEY"), false);
    // The password and the pre-shared key live in the keychain items the profile
    // references; the record keeps neither in clear, and drops what older versions kept.
    preferences.remove(QStringLiteral("PASSWORD_KEY"));
    preferences.remove(QStringLiteral("PSK_KEY"));
}
