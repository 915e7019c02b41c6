// Journeys over a real OpenVPN tunnel: the administrator dialog, the tunnel found by the
// supervision, traffic to the server's tunnel address, the DNS override and its reset;
// and leaving while connected, by a session the service dropped and by quitting.
#include "JourneySupport.h"
#include "api/PasswordChangeVC.h"
#include "api/ViewController.h"
#include "app/AppState.h"
#include "connection/NetworkVC.h"
#include "platform/Preferences.h"
#include "tunnel/DialogController.h"
#include "ui/MenuVC.h"
#include "ui/NetworkButton.h"
#include "ui/OrvelController.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace {

class JourneyOpenVPNTest : public JourneyTest {
protected:
    void SetUp() override { prepareWorld({true, true, false}); }

    NetworkVC* signedInWithOpenVPN() {
        startClient();
        ViewController* login = waitForScreen<ViewController>();
        if (!login)
            return nullptr;
        signInThroughScreen(login, false);
        NetworkVC* network = waitForNetworkScreen();
        if (network)
            QTest::mouseClick(network->CheckBoxOpen, Qt::LeftButton, {},
                              QPoint(8, network->CheckBoxOpen->height() / 2));
        return network;
    }

    // Presses connect, answers the administrator dialog and waits for the tunnel.
    void connectThroughAdminDialog(NetworkVC* network) {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
        DialogController* dialog = waitForAdminDialog();
        ASSERT_TRUE(dialog) << "no administrator dialog";
        answerAdminDialog(dialog, e2e::kAdminPassword);
        ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 15000))
            << "the tunnel did not come up";
        std::printf("connect press to connected: %lld ms\n",
                    static_cast<long long>(clock.elapsed()));
    }

    bool everythingDown() { return !utun0Up() && !clientOpenVPNRunning(); }
};

TEST_F(JourneyOpenVPNTest, AdminDialog_TunnelTrafficDns_ThenDisconnectLeavesNothing) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    EXPECT_TRUE(utun0Up());
    EXPECT_EQ(pingTunnelPeer(), 0) << "no traffic through the tunnel";
    EXPECT_EQ(network->ServerName->text(), QStringLiteral("Tokyo OVPN"));
    EXPECT_TRUE(network->svConnected->isVisible());
    EXPECT_EQ(appState().adminUserName, e2e::kAdminUser);
    EXPECT_EQ(clientPreferences().string(QStringLiteral("username")), e2e::kAdminUser);
    for (const char* script : {"setEthernetDNS.scpt", "setWifiDNS.scpt"})
        EXPECT_TRUE(QFileInfo::exists(vpnHome() + QLatin1String(script))) << script;
    EXPECT_TRUE(waitUntil([&] { return resolverContent().startsWith("nameserver 8.8.8.8\n"); }))
        << resolverContent().toStdString();

    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    EXPECT_FALSE(appState().isConnected);
    EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
        << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    EXPECT_TRUE(waitUntil([&] { return resolverContent() == originalResolver(); }))
        << resolverContent().toStdString();
    EXPECT_NE(pingTunnelPeer(), 0);
}

TEST_F(JourneyOpenVPNTest, SessionDroppedWhileConnected_TunnelTornDownAndLoginBack) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    // The password change is answered "400": the session is gone.
    service().scenario().resultOverrides[QStringLiteral("/v1/app_change_password")] =
        QStringLiteral("400");
    auto* shell = qobject_cast<OrvelController*>(content());
    ASSERT_TRUE(shell);
    shell->menu()->clickMenu(shell->menu()->ChangeBtn);
    PasswordChangeVC* change = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        for (QWidget* item : shell->splitViewItems())
            change = change ? change : qobject_cast<PasswordChangeVC*>(item);
        return change != nullptr;
    }));
    const QString password = service().scenario().accounts.first().password;
    change->PrePassword->setText(password);
    change->NowPassword->setText(QStringLiteral("New-pass-123"));
    change->RePassword->setText(QStringLiteral("New-pass-123"));
    QTest::mouseClick(change->ChangeButton, Qt::LeftButton);

    ASSERT_TRUE(waitForScreen<ViewController>()) << "the login screen did not come back";
    EXPECT_FALSE(appState().isConnected);
    EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
        << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    EXPECT_EQ(clientPreferences()
                  .string(QStringLiteral("vpn_recent_connected_server"))
                  .value_or(QString()),
              QString());
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("isChecked")), 0);
}

TEST_F(JourneyOpenVPNTest, QuitWhileConnected_TunnelTornDownBeforeTheProcessEnds) {
    NetworkVC* network = signedInWithOpenVPN();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(connectThroughAdminDialog(network));

    // SIGTERM asks the delegate, as a session logout would; the loop ends when it agrees.
    QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the delegate never let the process end";

    EXPECT_TRUE(waitUntil([&] { return everythingDown(); }))
        << "utun0 " << utun0Up() << ", client openvpn " << clientOpenVPNRunning();
    EXPECT_EQ(clientPreferences().string(QStringLiteral("vpn_recent_connected_server")), QString());
}

} // namespace
