// Scenes for scripts/screenshots, not part of the suite (disabled): the signed-in shell
// over the real client pieces, the in-process test service and the simulated VPN
// service. Each writes the file named by ORVEL_SCREENSHOT_READY when it is on screen and
// stays until that file's ".done" companion appears.
#include "api/ApiClient.h"
#include "api/PasswordChangeVC.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/Services.h"
#include "app/Storyboard.h"
#include "connection/AccountNotices.h"
#include "connection/NetworkVC.h"
#include "connection/SystemTunnelControl.h"
#include "platform/FakeInterfaceList.h"
#include "platform/MemoryItemStore.h"
#include "platform/MemoryPreferences.h"
#include "platform/MessageBoxAlerts.h"
#include "platform/SimulatedVpnService.h"
#include "servers/ServerList.h"
#include "support/ServiceFixture.h"
#include "tunnel/DialogController.h"
#include "tunnel/VPNManager.h"
#include "ui/OrvelController.h"
#include "ui/UserVC.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

namespace {
class ConnectionScenes : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        signIn();
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        services().interfaces = &interfaces;
        services().vpnService = &vpn;
        VPNManager::resetShared(new VPNManager(vpn, items, preferences()));
        storyboard.registerController(QStringLiteral("NetworkVC"),
                                      [] { return new NetworkVC(SystemTunnelControl::shared()); });
        storyboard.registerController(QStringLiteral("UserVC"), [] { return new UserVC; });
        storyboard.registerController(QStringLiteral("PasswordChangeVC"),
                                      [] { return new PasswordChangeVC; });
        storyboard.registerController(QStringLiteral("DialogController"),
                                      [] { return new DialogController; });
        fillServerLists();
        window.move(40, 40);
    }

    void TearDown() override {
        window.setContentViewController(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        resetAppState();
        VPNManager::resetShared();
        ServiceTest::TearDown();
    }

    void fillServerLists() {
        bool done = false;
        ServerListRequest request;
        request.onRebuilt = [&done] { done = true; };
        getServerList(request);
        waitUntil([&done] { return done; });
    }

    NetworkVC* showShell() {
        shell = new OrvelController;
        window.setContentViewController(shell);
        window.setContentSize(350, 500);
        window.show();
        auto* screen = qobject_cast<NetworkVC*>(shell->splitViewItems().value(1));
        waitUntil([] { return !appState().userEmail.isEmpty(); });
        return screen;
    }

    void holdScene() {
        const QString ready = qEnvironmentVariable("ORVEL_SCREENSHOT_READY");
        ASSERT_FALSE(ready.isEmpty());
        QTest::qWait(400);
        QFile marker(ready);
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        marker.close();
        waitUntil([&] { return QFile::exists(ready + QStringLiteral(".done")); }, 30000);
    }

    Storyboard storyboard;
    MainWindow window;
    SimulatedVpnService vpn;
    MemoryItemStore items;
    FakeInterfaceList interfaces;
    OrvelController* shell = nullptr;
};
} // namespace

TEST_F(ConnectionScenes, DISABLED_Disconnected) {
    showShell();
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_Connecting) {
    vpn.setConnectDelay(60000);
    NetworkVC* screen = showShell();
    screen->ClickConnect();
    waitUntil([] { return appState().isConnecting; });
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_Connected) {
    NetworkVC* screen = showShell();
    screen->ClickConnect();
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }));
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_ServerList) {
    NetworkVC* screen = showShell();
    screen->performServerSelection();
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_UserScreen) {
    showShell();
    shell->menu()->clickMenu(shell->menu()->UserBtn);
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_PasswordScreen) {
    showShell();
    shell->menu()->clickMenu(shell->menu()->ChangeBtn);
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_Menu) {
    showShell();
    shell->menu()->clickMenu(shell->menu()->UserBtn);
    shell->menu()->UpdateBtn->mouseEntered();
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_AdminDialog) {
    NetworkVC* screen = showShell();
    screen->presentAdminDialog();
    holdScene();
}

TEST_F(ConnectionScenes, DISABLED_ExpiryAlert) {
    MessageBoxAlerts boxes;
    showShell();
    services().alerts = &boxes;
    QTimer::singleShot(300, &window, [this] {
        holdScene();
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    auto notices = std::make_shared<AccountNotices>();
    notices->runExpiryCheck();
}
