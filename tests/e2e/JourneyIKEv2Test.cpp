// Journey: IKEv2 through charon, from the connect button over VPNManager and the
// strongSwan VPN service, and back.
#include "JourneySupport.h"
#include "core/AppState.h"
#include "platform/Preferences.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"
#include "ui/ViewController.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

namespace {

class JourneyIKEv2Test : public JourneyTest {
protected:
    void SetUp() override { prepareWorld({true, false, true}); }
};

TEST_F(JourneyIKEv2Test, ConnectCarriesTraffic_ThenDisconnect) {
    startClient();
    ViewController* login = waitForScreen<ViewController>();
    ASSERT_TRUE(login);
    signInThroughScreen(login, false);
    NetworkVC* network = waitForNetworkScreen();
    ASSERT_TRUE(network);
    ASSERT_TRUE(network->CheckBoxIKEV->isChecked());

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return appState().isConnecting || appState().isConnected; }));
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 25000))
        << "charon did not bring the tunnel up";
    std::printf("IKEv2 connect press to connected: %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    EXPECT_EQ(network->ServerName->text(), QStringLiteral("Seoul IKE"));
    EXPECT_EQ(clientPreferences().string(QStringLiteral("vpn_recent_connected_server")),
              QStringLiteral("10.251.0.1"));
    EXPECT_EQ(pingThroughIKEv2Tunnel(), 0);
    EXPECT_FALSE(appState().failoverTimer && appState().failoverTimer->isActive());

    clock.restart();
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([] { return !appState().isConnected; }, 15000));
    std::printf("IKEv2 disconnect press to disconnected: %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    EXPECT_TRUE(network->NetworkButton->isEnabled());
    EXPECT_EQ(clientPreferences().string(QStringLiteral("vpn_recent_connected_server")), QString());
    EXPECT_NE(pingThroughIKEv2Tunnel(), 0);
}

} // namespace
