#include "tunnel/SignOut.h"

#include "app/MainWindow.h"
#include "core/AppState.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "core/TunnelTeardown.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingConnectionObserver.h"
#include "support/RecordingScriptRunner.h"
#include "support/TestEnvironment.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/OpenVPNSession.h"

#include <QDir>
#include <QFile>

namespace {

// The quit and sign-out teardown, with the real OpenVPN stop script behind it.
class RecordingTeardown final : public TunnelTeardown {
public:
    void disconnectIKEv2() override { calls << QStringLiteral("disconnect"); }
    void disconnectIKEv2ForTermination(std::function<void(bool)>) override {
        calls << QStringLiteral("disconnectForTermination");
    }
    void runOpenVPNStopScript() override {
        calls << QStringLiteral("stopScript");
        runStopScript();
    }
    void restoreDNS() override { calls << QStringLiteral("restoreDNS"); }
    void forgetLeftovers() override { calls << QStringLiteral("forget"); }

    QStringList calls;
};

class SignOutTest : public OrvelTest {
protected:
    SignOutTest() {
        home = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(home);
        appState().vpnHomeDir = home;
        appState().failoverTimer = std::make_unique<QTimer>();
        appState().failoverTimer->start(1000);
        services().scriptRunner = &runner;
        services().teardown = &teardown;
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        storyboard.registerController(QStringLiteral("LoginController"), [] {
            auto* login = new QWidget;
            login->setObjectName(QStringLiteral("login"));
            return login;
        });
        preferences().setValue(QStringLiteral("isChecked"), 1);
        preferences().setValue(QStringLiteral("email"), QStringLiteral("a@b.c"));
        KeychainWrapper::shared().writeString(QStringLiteral("secret"), kAccountPasswordItem);
    }

    void expectSignedOut() {
        EXPECT_FALSE(appState().failoverTimer->isActive());
        EXPECT_FALSE(appState().isConnected);
        EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
        EXPECT_EQ(preferences().string(QStringLiteral("email")), QString());
        EXPECT_FALSE(KeychainWrapper::shared().contains(kAccountPasswordItem));
        ASSERT_TRUE(window.contentViewController());
        EXPECT_EQ(window.contentViewController()->objectName(), QStringLiteral("login"));
    }

    QString home;
    RecordingScriptRunner runner;
    RecordingTeardown teardown;
    Storyboard storyboard;
    MainWindow window;
};

TEST_F(SignOutTest, NotConnected_TouchesNoTunnelAndForgetsTheLogin) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    signOut();
    expectSignedOut();
    // A kill switch left blocking after a drop must not outlive the session.
    EXPECT_EQ(observer.events, QStringList{QStringLiteral("userDisconnected")});
    EXPECT_EQ(teardown.calls, QStringList{QStringLiteral("restoreDNS")});
    EXPECT_TRUE(runner.scriptFiles.isEmpty());
}

TEST_F(SignOutTest, ConnectedOpenVPN_RunsTheStopScriptAsLastWritten) {
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    appState().isConnected = true;
    appState().openVPNMayRun = true;
    appState().adminUserName = QStringLiteral("old");
    writeStopScript();
    appState().adminUserName = QStringLiteral("new");

    signOut();

    expectSignedOut();
    EXPECT_EQ(teardown.calls,
              QStringList({QStringLiteral("stopScript"), QStringLiteral("restoreDNS")}));
    EXPECT_EQ(runner.scriptFiles, QStringList{home + QStringLiteral("disconnect.scpt")});
    QFile script(home + QStringLiteral("disconnect.scpt"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    EXPECT_TRUE(script.readAll().contains("user name \"old\""));
}

TEST_F(SignOutTest, ConnectedIKEv2_DisconnectsThroughTheManager) {
    appState().isConnected = true;
    signOut();
    expectSignedOut();
    EXPECT_EQ(teardown.calls,
              QStringList({QStringLiteral("disconnect"), QStringLiteral("restoreDNS")}));
}

// Connecting counts: the OpenVPN may already run, and a dialog answered later starts nothing.
TEST_F(SignOutTest, ConnectingOpenVPN_StopsItAndDropsThePendingInstall) {
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    appState().isConnecting = true;
    appState().openVPNMayRun = true;
    appState().pendingOpenVPNInstall = true;
    signOut();
    expectSignedOut();
    EXPECT_EQ(teardown.calls,
              QStringList({QStringLiteral("stopScript"), QStringLiteral("restoreDNS")}));
    EXPECT_FALSE(appState().isConnecting);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
    EXPECT_FALSE(appState().openVPNMayRun);
}

TEST_F(SignOutTest, NoMainWindow_StillTearsDownAndForgets) {
    services().mainWindow = nullptr;
    appState().isConnected = true;
    signOut();
    EXPECT_EQ(teardown.calls,
              QStringList({QStringLiteral("disconnect"), QStringLiteral("restoreDNS")}));
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_FALSE(window.contentViewController());
}

} // namespace
