// Journeys that leave: quit and sign-out while an OpenVPN is coming up or up, quit while
// IKEv2 is up, a client killed while connected and the start after it, and IKEv2 with no
// charon at all. Whatever the state, nothing of the client's stays behind: no OpenVPN,
// no IKE SA, the resolver file byte for byte as it was.
#include "JourneySupport.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "platform/Preferences.h"
#include "tunnel/SignOut.h"
#include "ui/DialogController.h"
#include "ui/MenuVC.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/ViewController.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace {

class JourneyTeardownTest : public JourneyTest {
protected:
    NetworkVC* signedIn(bool openvpn) {
        startClient();
        ViewController* login = waitForScreen<ViewController>();
        if (!login)
            return nullptr;
        signInThroughScreen(login, false);
        NetworkVC* network = waitForNetworkScreen();
        if (network && openvpn)
            QTest::mouseClick(network->CheckBoxOpen, Qt::LeftButton, {},
                              QPoint(8, network->CheckBoxOpen->height() / 2));
        return network;
    }

    // Presses connect and answers the administrator dialog when it comes.
    void pressConnect(NetworkVC* network) {
        QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
        if (appState().isAdminAuthorized)
            return;
        DialogController* dialog = waitForAdminDialog();
        ASSERT_TRUE(dialog) << "no administrator dialog";
        answerAdminDialog(dialog, e2e::kAdminPassword);
    }

    // Quits as a session logout would (SIGTERM); false when the delegate never agreed.
    bool quitClient() {
        QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
        watchdog.start(20000);
        return QCoreApplication::exec() == 0;
    }

    bool openVPNGone() {
        return waitUntil([&] { return !clientOpenVPNRunning() && !utun0Up(); }, 10000);
    }
    bool resolverRestored() {
        return waitUntil([&] { return resolverContent() == originalResolver(); }, 10000);
    }
};

class JourneyOpenVPNTeardownTest : public JourneyTeardownTest {
protected:
    void SetUp() override { prepareWorld({true, true, false}); }

    // The smart match on a port nobody answers: the OpenVPN runs and never connects.
    void makeTheServerSilent() {
        Scenario& scenario = service().scenario();
        scenario.smartMatch[QStringLiteral("OPENVPN")].config = ovpnConfig(kDeadOvpnPort);
    }
};

TEST_F(JourneyOpenVPNTeardownTest, SignOutAndQuitWhileConnecting_LeaveNoOpenVPN) {
    makeTheServerSilent();
    NetworkVC* network = signedIn(true);
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(pressConnect(network));
    ASSERT_TRUE(waitUntil([&] { return clientOpenVPNRunning(); }, 10000)) << "no OpenVPN started";
    ASSERT_TRUE(appState().isConnecting);

    // The menu's logout: not connected yet, so it signs out at once.
    auto* shell = qobject_cast<OrvelController*>(content());
    ASSERT_TRUE(shell);
    shell->menu()->clickMenu(shell->menu()->ExitBtn);
    ASSERT_TRUE(waitForScreen<ViewController>()) << "the login screen did not come back";
    EXPECT_TRUE(openVPNGone()) << "sign-out left the OpenVPN that was coming up";

    ViewController* login = waitForScreen<ViewController>();
    signInThroughScreen(login, false);
    network = waitForNetworkScreen();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(pressConnect(network));
    ASSERT_TRUE(waitUntil([&] { return clientOpenVPNRunning(); }, 10000)) << "no OpenVPN started";
    ASSERT_FALSE(appState().isConnected);

    EXPECT_TRUE(quitClient()) << "the delegate never let the process end";
    EXPECT_TRUE(openVPNGone()) << "quit left the OpenVPN that was coming up";
}

TEST_F(JourneyOpenVPNTeardownTest, SignOutAndQuitWhileConnected_RestoreTheResolverByteForByte) {
    NetworkVC* network = signedIn(true);
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(pressConnect(network));
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 15000));
    ASSERT_TRUE(waitUntil([&] { return resolverContent().startsWith("nameserver 8.8.8.8\n"); }))
        << resolverContent().toStdString();

    signOut();
    EXPECT_TRUE(resolverRestored()) << resolverContent().toStdString();
    EXPECT_TRUE(openVPNGone());

    ViewController* login = waitForScreen<ViewController>();
    ASSERT_TRUE(login);
    signInThroughScreen(login, false);
    network = waitForNetworkScreen();
    ASSERT_TRUE(network);
    ASSERT_NO_FATAL_FAILURE(pressConnect(network));
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 15000));
    ASSERT_TRUE(waitUntil([&] { return resolverContent().startsWith("nameserver 8.8.8.8\n"); }));

    EXPECT_TRUE(quitClient());
    // Restored before the process ended, not by a script still on its way.
    EXPECT_EQ(resolverContent(), originalResolver());
    EXPECT_TRUE(openVPNGone());
}

// A client killed while connected leaves its OpenVPN and its DNS override; the next
// start clears both before anything else.
TEST_F(JourneyOpenVPNTeardownTest, KilledWhileConnected_NextStartClearsTheLeftovers) {
    storeRememberedSignIn();
    QProcess client;
    ASSERT_TRUE(startClientProcess(client));
    const bool up = waitUntil(
        [&] { return utun0Up() && resolverContent().startsWith("nameserver 8.8.8.8\n"); }, 30000);
    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    client.waitForFinished();
    ASSERT_TRUE(up) << "the client did not connect; see " << worldDir().toStdString()
                    << "/client.log";
    ASSERT_TRUE(clientOpenVPNRunning()) << "the killed client's OpenVPN is gone already";

    startClient();
    // Cleared before the start-up screen counted the tunnels.
    EXPECT_TRUE(openVPNGone());
    EXPECT_EQ(resolverContent(), originalResolver());
    EXPECT_FALSE(QFileInfo::exists(vpnHome() + QStringLiteral("teardown.pending")));
    EXPECT_TRUE(waitForNetworkScreen()) << "the start went on to sign in";
    EXPECT_EQ(appState().baselineUtunCount, 0);
}

class JourneyIKEv2TeardownTest : public JourneyTeardownTest {
protected:
    void SetUp() override { prepareWorld({true, false, true}); }
};

TEST_F(JourneyIKEv2TeardownTest, QuitWhileConnected_EndsTheSaBeforeTheProcessEnds) {
    NetworkVC* network = signedIn(false);
    ASSERT_TRUE(network);
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 25000));
    ASSERT_TRUE(ikev2SaUp());

    EXPECT_TRUE(quitClient());
    EXPECT_FALSE(ikev2SaUp()) << "the IKE SA outlived the client";
}

class JourneyNoCharonTest : public JourneyTeardownTest {
protected:
    void SetUp() override {
        prepareWorld({});
        qputenv("ORVEL_CHARON_VICI", (tempPath() + QStringLiteral("/no-charon.vici")).toUtf8());
    }
};

TEST_F(JourneyNoCharonTest, IKEv2WithoutCharon_IsRefusedAndNeverConnected) {
    NetworkVC* network = signedIn(false);
    ASSERT_TRUE(network);
    bool everConnected = false;
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    const QString unavailable = localized(QStringLiteral("IKEV2_UNAVAILABLE"));
    ASSERT_TRUE(waitUntil(
        [&] {
            everConnected = everConnected || appState().isConnected;
            return alerts().confirmTexts.contains(unavailable);
        },
        10000))
        << "the user was not told that strongSwan is not running";
    // The rest of the main stage: the attempt fails over, it is never "Connected".
    waitUntil(
        [&] {
            everConnected = everConnected || appState().isConnected;
            return false;
        },
        3000);
    EXPECT_FALSE(everConnected);
    EXPECT_FALSE(network->svConnected->isVisible());
}

} // namespace
