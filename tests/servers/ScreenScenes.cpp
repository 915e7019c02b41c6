// Scenes for scripts/screenshots, not part of the suite (disabled): each builds real
// screens over the real client against the in-process test service, writes the file
// named by ORVEL_SCREENSHOT_READY when the scene is on screen, and stays until that
// file's ".done" companion appears.
#include "api/ApiClient.h"
#include "api/ViewController.h"
#include "app/AppState.h"
#include "app/InitialVC.h"
#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/Storyboard.h"
#include "platform/MessageBoxAlerts.h"
#include "servers/TableViewController.h"
#include "support/ServiceFixture.h"
#include "ui/CustomAlertView.h"

#include <QFile>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

namespace {
class ScreenScenes : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        services().alerts = &messageBoxes;
        storyboard.registerController(QStringLiteral("LoginController"),
                                      [this] { return new ViewController(&storyboard); });
        window.move(40, 40);
    }

    void TearDown() override {
        window.setContentViewController(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ServiceTest::TearDown();
    }

    // Tells the script the scene is ready and waits for its screenshot.
    void holdScene() {
        const QString ready = qEnvironmentVariable("ORVEL_SCREENSHOT_READY");
        ASSERT_FALSE(ready.isEmpty());
        QTest::qWait(300);
        QFile marker(ready);
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        marker.close();
        waitUntil([&] { return QFile::exists(ready + QStringLiteral(".done")); }, 30000);
    }

    Storyboard storyboard;
    MainWindow window;
    MessageBoxAlerts messageBoxes;
};
} // namespace

TEST_F(ScreenScenes, DISABLED_Startup) {
    // The version answer is held back so the checks stay on screen.
    service().setFault(QStringLiteral("/v1/app_osx_version"),
                       Fault{Fault::Kind::Delay, 60000, {}, -1});
    window.setContentViewController(new InitialVC(&storyboard));
    window.show();
    ASSERT_TRUE(waitUntil(
        [&] { return !service().requests(QStringLiteral("/v1/app_osx_version")).isEmpty(); }));
    holdScene();
}

TEST_F(ScreenScenes, DISABLED_LoginAlert) {
    openSession();
    auto* screen = new ViewController(&storyboard);
    window.setContentViewController(screen);
    window.show();
    screen->idField->setText(service().scenario().accounts.first().email);
    screen->pwField->setText(QStringLiteral("wrong-password"));
    screen->ClickLogin();
    ASSERT_TRUE(waitUntil([&] { return screen->findChild<CustomAlertView*>() != nullptr; }));
    holdScene();
}

TEST_F(ScreenScenes, DISABLED_ServerList) {
    signIn();
    QWidget behind;
    behind.setFixedSize(350, 500);
    behind.setStyleSheet(QStringLiteral("background: rgb(46, 28, 126);"));
    window.setContentViewController(&behind);
    window.show();
    TableViewController list(&window);
    list.show();
    ASSERT_TRUE(waitUntil([&] { return list.myTableView->rowCount() > 1; }));
    list.myTableView->selectRow(2);
    holdScene();
    window.takeCentralWidget();
}
