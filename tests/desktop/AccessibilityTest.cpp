// Every screen as assistive technology reads it (QAccessible, what AT-SPI is fed from):
// each control it can reach is named, each alert names itself, and Tab follows the layout.
#include "api/ApiClient.h"
#include "app/MainWindow.h"
#include "connection/ConnectionFixture.h"
#include "connection/ConnectionSettings.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "desktop/Autostart.h"
#include "desktop/DesktopSettings.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/SettingsVC.h"
#include "platform/MessageBoxAlerts.h"
#include "support/MemoryPreferences.h"
#include "support/TestEnvironment.h"
#include "ui/CustomAlertView.h"
#include "ui/DialogController.h"
#include "ui/InitialVC.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/PasswordChangeVC.h"
#include "ui/TableViewController.h"
#include "ui/UserVC.h"
#include "ui/ViewController.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

namespace {
bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::Link:
    case QAccessible::Table:
        return true;
    default:
        return false;
    }
}

// The controls on screen that have no name, as "class objectName".
void collectUnnamed(QAccessibleInterface* node, QStringList& unnamed) {
    if (!node || node->state().invisible)
        return;
    if (isControl(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
        QObject* object = node->object();
        unnamed << (object ? QString::fromLatin1(object->metaObject()->className()) +
                                 QLatin1Char(' ') + object->objectName()
                           : QStringLiteral("?"));
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectUnnamed(node->child(i), unnamed);
}

QStringList unnamedControls(QWidget* screen) {
    QStringList unnamed;
    collectUnnamed(QAccessible::queryAccessibleInterface(screen), unnamed);
    return unnamed;
}
} // namespace

class AccessibilityTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        storyboard.registerController(QStringLiteral("NetworkVC"),
                                      [this] { return new NetworkVC(*session); });
        storyboard.registerController(QStringLiteral("UserVC"), [] { return new UserVC; });
        storyboard.registerController(QStringLiteral("PasswordChangeVC"),
                                      [] { return new PasswordChangeVC; });
        storyboard.registerController(QStringLiteral("DialogController"),
                                      [] { return new DialogController; });
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        addDesktopSettings(catalog, settings, autostart);
        addConnectionSettings(catalog, connectionSettings);
    }
    void TearDown() override {
        services().storyboard = nullptr;
        services().mainWindow = nullptr;
        ConnectionTest::TearDown();
    }
    // Shown in a window of its own, as the user meets it.
    QStringList unnamedOnScreen(QWidget* screen) {
        screen->show();
        QCoreApplication::processEvents();
        const QStringList unnamed = unnamedControls(screen);
        delete screen;
        return unnamed;
    }

    Storyboard storyboard;
    MainWindow window;
    DesktopSettings settings{preferences()};
    ConnectionSettings connectionSettings{preferences()};
    Autostart autostart{tempPath(), QStringLiteral("/usr/bin/orvelvpn")};
    SettingsCatalog catalog;
};

TEST_F(AccessibilityTest, EveryScreen_NamesEachOfItsControls) {
    const QList<std::pair<const char*, std::function<QWidget*()>>> screens{
        {"start-up", [this] { return new InitialVC(&storyboard); }},
        {"login", [this] { return new ViewController(&storyboard); }},
        {"shell and connection", [] { return new OrvelController; }},
        {"user", [] { return new UserVC; }},
        {"password change", [] { return new PasswordChangeVC; }},
        {"server list", [] { return new TableViewController; }},
        {"settings", [this] { return new SettingsVC(catalog); }},
        {"administrator", [] { return new DialogController; }},
        {"in-window alert",
         [] {
             return new CustomAlertView({}, QStringLiteral("Wrong password"),
                                        QStringLiteral("alert"));
         }},
    };
    for (const auto& [name, make] : screens)
        EXPECT_EQ(unnamedOnScreen(make()).join(", ").toStdString(), "") << name;
}

TEST_F(AccessibilityTest, Alerts_AreNamedAndDescribedByTheirText) {
    MessageBoxAlerts boxes;
    QWidget window;
    window.show();
    boxes.setWindow(&window, QStringLiteral("OrvelVPN"));
    QString name;
    QString description;
    QTimer::singleShot(0, [&] {
        auto* box = window.findChild<QMessageBox*>();
        ASSERT_TRUE(box);
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(box);
        name = node->text(QAccessible::Name);
        description = node->text(QAccessible::Description);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal) << "the tray stays usable";
        box->close();
    });
    boxes.showConfirmAlert(QStringLiteral("Server under maintenance"), QStringLiteral("OK"));
    EXPECT_EQ(name, QStringLiteral("OrvelVPN"));
    EXPECT_EQ(description, QStringLiteral("Server under maintenance"));
}

// Tab moves down the settings column whatever order its boxes were made in (the network
// toggles come last).
TEST_F(AccessibilityTest, SettingsTabOrder_FollowsTheColumn) {
    SettingsVC settingsScreen(catalog);
    settingsScreen.addNetworkToggle(QStringLiteral("Block traffic outside the VPN"));
    settingsScreen.show();
    QCoreApplication::processEvents();
    QWidget* first = settingsScreen.StartAtLoginBox.data();
    QList<int> heights;
    QWidget* at = first;
    do {
        if ((at->focusPolicy() & Qt::TabFocus) && at->isVisible())
            heights << at->mapTo(&settingsScreen, QPoint(0, 0)).y();
        at = at->nextInFocusChain();
    } while (at != first && settingsScreen.isAncestorOf(at));
    EXPECT_GE(heights.size(), 7);
    QList<int> sorted = heights;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(heights, sorted);
}
