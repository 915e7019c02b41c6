#include "tunnel/Configuration.h"

#include "platform/MemoryPreferences.h"

#include <gtest/gtest.h>

TEST(ConfigurationTest, SaveToDefaults_WritesEveryKeyAndOnDemandAlwaysFalse) {
    MemoryPreferences preferences;
    const Configuration configuration{QStringLiteral("kr1.vpn.example"), QStringLiteral("user"),
                                      QStringLiteral("secret"), true, QStringLiteral("psk")};
    configuration.saveToDefaults(preferences);
    EXPECT_EQ(preferences.string(QStringLiteral("SERVER_KEY")), QStringLiteral("kr1.vpn.example"));
    EXPECT_EQ(preferences.string(QStringLiteral("ACCOUNT_KEY")), QStringLiteral("user"));
    EXPECT_EQ(preferences.string(QStringLiteral("PASSWORD_KEY")), QStringLiteral("secret"));
    EXPECT_EQ(preferences.value(QStringLiteral("ONDEMAND_KEY")), QVariant(false));
    EXPECT_EQ(preferences.string(QStringLiteral("PSK_KEY")), QStringLiteral("psk"));
}

TEST(ConfigurationTest, SaveToDefaults_WithoutPsk_RemovesTheStoredOne) {
    MemoryPreferences preferences;
    preferences.setValue(QStringLiteral("PSK_KEY"), QStringLiteral("old"));
    Configuration{QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("p"), false,
                  std::nullopt}
        .saveToDefaults(preferences);
    EXPECT_FALSE(preferences.contains(QStringLiteral("PSK_KEY")));
    EXPECT_EQ(preferences.value(QStringLiteral("ONDEMAND_KEY")), QVariant(false));
}
