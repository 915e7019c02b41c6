#include "ui/MenuVC.h"

#include "app/MainWindow.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingBrowser.h"
#include "support/TestEnvironment.h"
#include "ui/ImageNamed.h"
#include "ui/OrvelController.h"

#include <QLabel>

namespace {
// Distinct classes stand in for the three content screens.
class FakeNetwork final : public QWidget {
    Q_OBJECT
};
class FakeUser final : public QWidget {
    Q_OBJECT
};
class FakePassword final : public QWidget {
    Q_OBJECT
};

bool shows(MenuButton* button, const char* image) {
    return button->icon().pixmap(28, 28).toImage() ==
           QIcon(imageNamed(QLatin1String(image))).pixmap(28, 28).toImage();
}
} // namespace

class MenuVCTest : public OrvelTest {
protected:
    MenuVCTest() {
        storyboard.registerController("NetworkVC", [this] {
            ++made;
            return new FakeNetwork;
        });
        storyboard.registerController("UserVC", [] { return new FakeUser; });
        storyboard.registerController("PasswordChangeVC", [] { return new FakePassword; });
        storyboard.registerController("LoginController", [] { return new QLabel("login"); });
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        shell = new OrvelController;
        window.setContentViewController(shell);
        menu = shell->menu();
    }
    QWidget* content() const { return shell->splitViewItems().value(1); }

    Storyboard storyboard;
    MainWindow window;
    OrvelController* shell = nullptr;
    MenuVC* menu = nullptr;
    int made = 0;
};

TEST_F(MenuVCTest, Shell_HoldsTheMenuAndTheConnectionScreen) {
    EXPECT_EQ(shell->splitViewItems().value(0), menu);
    EXPECT_TRUE(qobject_cast<FakeNetwork*>(content()));
    EXPECT_EQ(menu->NetworkLabel->text(), QStringLiteral("VPN"));
    EXPECT_EQ(menu->UpdateLabel->text(), QStringLiteral("Update"));
}

TEST_F(MenuVCTest, SwitchingScreens_ReplacesContentAndHighlightsOnlyItsButton) {
    QPointer<QWidget> network = content();
    menu->clickMenu(menu->UserBtn);
    EXPECT_TRUE(qobject_cast<FakeUser*>(content()));
    EXPECT_TRUE(waitUntil([&] { return network.isNull(); })) << "the old screen is released";
    EXPECT_TRUE(shows(menu->UserBtn, "usr_white"));
    EXPECT_TRUE(menu->UserBtn->isClicked);
    EXPECT_TRUE(shows(menu->NetworkBtn, "ntw"));

    menu->clickMenu(menu->ChangeBtn);
    EXPECT_TRUE(qobject_cast<FakePassword*>(content()));
    EXPECT_TRUE(shows(menu->ChangeBtn, "cng_white"));
    EXPECT_TRUE(shows(menu->UserBtn, "usr"));
}

TEST_F(MenuVCTest, SameScreenAgain_IsNotReplacedButReHighlighted) {
    QWidget* before = content();
    const int madeBefore = made;
    menu->clickMenu(menu->NetworkBtn);
    EXPECT_EQ(content(), before);
    EXPECT_EQ(made, madeBefore + 1) << "new controllers are made and discarded";
    EXPECT_TRUE(shows(menu->NetworkBtn, "ntw_white"));
    EXPECT_FALSE(menu->NetworkBtn->isClicked);
}

TEST_F(MenuVCTest, ReturningToConnection_BuildsANewScreen) {
    QWidget* first = content();
    menu->clickMenu(menu->UserBtn);
    menu->clickMenu(menu->NetworkBtn);
    EXPECT_TRUE(qobject_cast<FakeNetwork*>(content()));
    EXPECT_NE(content(), first);
}

TEST_F(MenuVCTest, Pay_OpensThePricePageAndKeepsTheScreen) {
    menu->clickMenu(menu->UserBtn);
    QWidget* before = content();
    menu->clickMenu(menu->CardBtn);
    EXPECT_EQ(content(), before);
    EXPECT_EQ(browser().opened, QList<QUrl>{QUrl(appState().apiBaseURL + "/price")});
    EXPECT_TRUE(shows(menu->UserBtn, "usr_white"));
    EXPECT_TRUE(shows(menu->CardBtn, "cd"));
}

TEST_F(MenuVCTest, Logout_RefusedWhileConnectedOtherwiseSignsOut) {
    appState().isConnected = true;
    menu->clickMenu(menu->ExitBtn);
    EXPECT_EQ(alerts().confirmTexts, QStringList{localized("VPNDISCONNECT")});
    EXPECT_EQ(window.contentViewController(), shell);

    appState().isConnected = false;
    preferences().setValue("isChecked", 1);
    menu->clickMenu(menu->ExitBtn);
    EXPECT_EQ(preferences().integer("isChecked"), 0);
    EXPECT_TRUE(qobject_cast<QLabel*>(window.contentViewController()));
}

TEST_F(MenuVCTest, Update_ShowsTheNoticeOfTheVersionCheck) {
    menu->clickMenu(menu->UpdateBtn);
    appState().startupNoticeFlag = true;
    menu->clickMenu(menu->UpdateBtn);
    EXPECT_EQ(alerts().confirmTexts,
              (QStringList{localized("UPDATE_NOTICE"), localized("CHECKNETWORK")}));
}

TEST_F(MenuVCTest, WithoutAShell_AClickDoesNothing) {
    MenuVC loose;
    loose.clickMenu(loose.UserBtn);
    EXPECT_TRUE(qobject_cast<FakeNetwork*>(content()));
}

#include "MenuVCTest.moc"

TEST_F(MenuVCTest, Settings_ShowsTheRegisteredScreenAndKeepsItsHighlightOnPay) {
    storyboard.registerController("SettingsVC", [] {
        auto* screen = new QWidget;
        screen->setObjectName("SettingsVC");
        return screen;
    });
    menu->clickMenu(menu->SettingsBtn);
    ASSERT_TRUE(content());
    EXPECT_EQ(content()->objectName(), QStringLiteral("SettingsVC"));
    EXPECT_TRUE(shows(menu->SettingsBtn, "stg_white"));
    EXPECT_TRUE(shows(menu->NetworkBtn, "ntw"));

    QWidget* settings = content();
    menu->clickMenu(menu->CardBtn);
    EXPECT_EQ(content(), settings);
    EXPECT_TRUE(shows(menu->SettingsBtn, "stg_white"));
}
