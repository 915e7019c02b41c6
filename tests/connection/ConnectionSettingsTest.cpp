#include "connection/ConnectionSettings.h"

#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"

class ConnectionSettingsTest : public OrvelTest {};

// Unset, reconnecting is on and connecting at start off; a choice is kept in the
// preferences under its own key, and a later run reads it back.
TEST_F(ConnectionSettingsTest, DefaultsAndChoicesSurviveARestart) {
    MemoryPreferences preferences;
    ConnectionSettings settings(preferences);
    EXPECT_TRUE(settings.reconnectAutomatically());
    EXPECT_FALSE(settings.connectAtStart());

    settings.setReconnectAutomatically(false);
    settings.setConnectAtStart(true);
    const ConnectionSettings nextRun(preferences);
    EXPECT_FALSE(nextRun.reconnectAutomatically());
    EXPECT_TRUE(nextRun.connectAtStart());
    EXPECT_EQ(preferences.integer(QStringLiteral("reconnect_automatically")), 0);
    EXPECT_EQ(preferences.integer(QStringLiteral("connect_at_start")), 1);
}
