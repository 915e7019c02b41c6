#include "desktop/Autostart.h"

#include "desktop/DesktopSettings.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/SettingsVC.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QFile>

class AutostartTest : public OrvelTest {};

TEST_F(AutostartTest, StartAtLoginToggle_WritesAndRemovesTheXdgEntry) {
    Autostart autostart(tempPath() + "/config", "/opt/Orvel VPN/bin/orvelvpn");
    DesktopSettings settings(preferences());
    SettingsCatalog catalog;
    addDesktopSettings(catalog, settings, autostart);
    SettingsVC screen(catalog);
    ASSERT_FALSE(screen.StartAtLoginBox->isChecked());

    screen.StartAtLoginBox->click();
    const QString path = tempPath() + "/config/autostart/orvelvpn.desktop";
    ASSERT_TRUE(QFile::exists(path));
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    // A path with a space is quoted the way the desktop entry format wants.
    EXPECT_TRUE(text.contains("\nExec=\"/opt/Orvel VPN/bin/orvelvpn\" --hidden\n"))
        << text.constData();

    screen.StartAtLoginBox->click();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(SettingsVC(catalog).StartAtLoginBox->isChecked());
}

TEST_F(AutostartTest, EntryThatCannotBeWritten_LeavesTheToggleOffAndSaysSo) {
    QFile blocker(tempPath() + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)) << "a file where the folder should be";
    blocker.close();
    Autostart autostart(tempPath() + "/config", "/usr/bin/orvelvpn");
    DesktopSettings settings(preferences());
    SettingsCatalog catalog;
    addDesktopSettings(catalog, settings, autostart);
    SettingsVC screen(catalog);
    screen.StartAtLoginBox->click();
    EXPECT_FALSE(screen.StartAtLoginBox->isChecked());
    EXPECT_FALSE(alerts().confirmTexts.isEmpty());
}

TEST_F(AutostartTest, HiddenAndNotificationToggles_AreKeptInThePreferences) {
    Autostart autostart(tempPath(), "/usr/bin/orvelvpn");
    DesktopSettings settings(preferences());
    EXPECT_TRUE(settings.notificationsEnabled());
    SettingsCatalog catalog;
    addDesktopSettings(catalog, settings, autostart);
    SettingsVC screen(catalog);
    screen.NotificationsBox->click();
    screen.StartHiddenBox->click();
    DesktopSettings reread(preferences());
    EXPECT_FALSE(reread.notificationsEnabled());
    EXPECT_TRUE(reread.startHidden());
}
