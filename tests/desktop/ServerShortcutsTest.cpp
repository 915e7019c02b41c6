#include "desktop/ServerShortcuts.h"

#include "support/MemoryPreferences.h"

#include <gtest/gtest.h>

namespace {
ServerShortcut server(int n, const char* protocol = "IKEV2") {
    return {QLatin1String(protocol), QStringLiteral("host%1.test").arg(n),
            QStringLiteral("Server %1").arg(n)};
}
} // namespace

TEST(ServerShortcutsTest, Recent_KeepsTheLastFiveMostRecentFirstWithoutRepeats) {
    MemoryPreferences preferences;
    ServerShortcuts shortcuts(preferences);
    for (int n = 1; n <= 6; ++n)
        shortcuts.recordUsed(server(n));
    shortcuts.recordUsed(server(3));
    const QList<ServerShortcut> recent = ServerShortcuts(preferences).recent();
    ASSERT_EQ(recent.size(), ServerShortcuts::kRecentCount);
    QStringList hosts;
    for (const ServerShortcut& kept : recent)
        hosts << kept.hostdomain;
    EXPECT_EQ(hosts,
              QStringList({"host3.test", "host6.test", "host5.test", "host4.test", "host2.test"}));
}

TEST(ServerShortcutsTest, Favourite_TogglesPerProtocolAndSurvivesANewStore) {
    MemoryPreferences preferences;
    ServerShortcuts(preferences).toggleFavourite(server(1));
    ServerShortcuts(preferences).toggleFavourite(server(1, "OPENVPN"));
    ServerShortcuts shortcuts(preferences);
    EXPECT_TRUE(shortcuts.isFavourite(server(1)));
    shortcuts.toggleFavourite(server(1));
    EXPECT_FALSE(shortcuts.isFavourite(server(1)));
    EXPECT_TRUE(shortcuts.isFavourite(server(1, "OPENVPN")));
}

TEST(ServerShortcutsTest, DamagedPreference_ReadsAsEmptyAndIsRepairedByTheNextWrite) {
    MemoryPreferences preferences;
    preferences.setValue(QStringLiteral("recent_servers"), QStringLiteral("{not json"));
    preferences.setValue(QStringLiteral("favourite_servers"),
                         QStringLiteral(R"([{"name":"x"}, 5])"));
    ServerShortcuts shortcuts(preferences);
    EXPECT_TRUE(shortcuts.recent().isEmpty());
    EXPECT_TRUE(shortcuts.favourites().isEmpty());
    shortcuts.recordUsed(server(1));
    EXPECT_EQ(shortcuts.recent().size(), 1);
}
