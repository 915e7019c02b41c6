// The kill switch on the desktop: its two toggles in the settings screen and the line
// the tray shows while traffic is blocked.
#include "app/AppDelegate.h"
#include "app/DesktopController.h"
#include "app/MainWindow.h"
#include "connection/ConnectionFixture.h"
#include "connection/ConnectionSession.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/TunnelTeardown.h"
#include "desktop/Autostart.h"
#include "desktop/DesktopSettings.h"
#include "desktop/KillSwitchToggles.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/SettingsVC.h"
#include "desktop/TrayIcon.h"
#include "killswitch/KillSwitch.h"
#include "platform/NotificationCenter.h"
#include "support/FixedHostResolver.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingFirewall.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>

namespace {

class NoTeardown final : public TunnelTeardown {
public:
    void disconnectIKEv2() override {}
    void disconnectIKEv2ForTermination(std::function<void(bool)>) override {}
    void runOpenVPNStopScript() override {}
    void restoreDNS() override {}
    void forgetLeftovers() override {}
};

class KillSwitchDesktopTest : public OrvelTest {
protected:
    RecordingFirewall firewall;
    FixedHostResolver resolver;
    KillSwitch killSwitch{{firewall, resolver, preferences()}, tempPath() + QStringLiteral("/")};
};

TEST_F(KillSwitchDesktopTest, Toggles_ChangeTheSettingsAndTheLocalNetworkNeedsTheBlockOn) {
    DesktopSettings settings(preferences());
    Autostart autostart(tempPath(), QStringLiteral("/usr/bin/orvelvpn"));
    SettingsCatalog catalog;
    addDesktopSettings(catalog, settings, autostart);
    SettingsVC screen(catalog);
    addKillSwitchToggles(screen, killSwitch);
    auto* block = screen.findChild<QCheckBox*>(QStringLiteral("KillSwitchBox"));
    auto* local = screen.findChild<QCheckBox*>(QStringLiteral("AllowLocalNetworkBox"));
    ASSERT_TRUE(block && local);
    EXPECT_EQ(block->text(), QStringLiteral("Block traffic outside the VPN"));
    EXPECT_FALSE(block->isChecked()) << "off by default";
    EXPECT_FALSE(local->isEnabled());

    block->click();
    EXPECT_TRUE(killSwitch.isEnabled());
    ASSERT_TRUE(local->isEnabled());
    local->click();
    EXPECT_TRUE(killSwitch.allowsLocalNetwork());
    block->click();
    EXPECT_FALSE(killSwitch.isEnabled());
    EXPECT_FALSE(local->isEnabled());
}

TEST_F(KillSwitchDesktopTest, Tray_SaysWhileTrafficIsBlocked) {
    NoTeardown teardown;
    AppDelegate delegate(teardown);
    MainWindow window;
    ServerShortcuts shortcuts(preferences());
    RecordingTunnelControl tunnel;
    ConnectionSession session{tunnel, nullptr, nullptr};
    DesktopController controller(window, delegate, session);
    TrayIcon tray(controller, shortcuts);
    const QString text = localized(QStringLiteral("KILLSWITCH_BLOCKING"));
    const auto blockedLine = [&tray, &text]() -> QAction* {
        for (QAction* action : tray.menu().actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    };
    ASSERT_TRUE(blockedLine());
    EXPECT_FALSE(blockedLine()->isVisible());

    appState().trafficBlocked = true;
    notifications().post(QStringLiteral("trafficBlockedChanged"));
    EXPECT_TRUE(blockedLine()->isVisible());
    EXPECT_TRUE(tray.icon().toolTip().endsWith(text));

    appState().trafficBlocked = false;
    notifications().post(QStringLiteral("trafficBlockedChanged"));
    EXPECT_FALSE(blockedLine()->isVisible());
    EXPECT_FALSE(tray.icon().toolTip().contains(text));
}

} // namespace
