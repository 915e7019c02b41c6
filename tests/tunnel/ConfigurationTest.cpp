#include "tunnel/Configuration.h"

#include "support/MemoryPreferences.h"

#include <gtest/gtest.h>

TEST(ConfigurationTest, SaveToDefaults_RecordsTheProfileWithoutItsSecrets) {
    MemoryPreferences preferences;
    preferences.setValue(QStringLiteral("PASSWORD_KEY"), QStringLiteral("older secret"));
    preferences.setValue(QStringLiteral("PSK_KEY"), QStringLiteral("old"));
    const Configuration configuration{QStringLiteral("kr1.vpn.example"), QStringLiteral("user"),
                                      QStringLiteral("secret"), true, QStringLiteral("psk")};
    configuration.saveToDefaults(preferences);
    EXPECT_EQ(preferences.string(QStringLiteral("SERVER_KEY")), QStringLiteral("kr1.vpn.example"));
    EXPECT_EQ(preferences.string(QStringLiteral("ACCOUNT_KEY")), QStringLiteral("user"));
    EXPECT_EQ(preferences.value(QStringLiteral("ONDEMAND_KEY")), QVariant(false));
    EXPECT_FALSE(preferences.contains(QStringLiteral("PASSWORD_KEY")));
    EXPECT_FALSE(preferences.contains(QStringLiteral("PSK_KEY")));
}
