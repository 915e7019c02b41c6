// The connect button end to end: the test service grants permission, VPNManager drives
// the simulated system VPN, the screen follows its status events and the DNS statements
// go through the recording runner.
#include "api/ApiClient.h"
#include "connection/ConnectionSession.h"
#include "connection/ConnectionStates.h"
#include "connection/SystemTunnelControl.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "platform/SimulatedVpnService.h"
#include "servers/ServerList.h"
#include "support/FakeInterfaceList.h"
#include "support/MemoryItemStore.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingScriptRunner.h"
#include "support/ServiceFixture.h"
#include "tunnel/VPNManager.h"
#include "ui/NetworkVC.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

class ConnectJourneyTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        signIn();
        appState().vpnHomeDir = tempPath() + QStringLiteral("/OrvelVPN/");
        QDir().mkpath(appState().vpnHomeDir);
        services().interfaces = &interfaces;
        services().vpnService = &vpn;
        services().scriptRunner = &scripts;
        VPNManager::resetShared(new VPNManager(vpn, items, preferences()));
        bool done = false;
        ServerListRequest request;
        request.onRebuilt = [&done] { done = true; };
        getServerList(request);
        ASSERT_TRUE(waitUntil([&done] { return done; }));
    }
    void TearDown() override {
        if (screen && screen->states().workItem())
            screen->states().workItem()->waitForFinished(5000);
        screen.reset();
        resetAppState();
        connection.reset();
        VPNManager::resetShared();
        ServiceTest::TearDown();
    }

    SimulatedVpnService vpn;
    MemoryItemStore items;
    FakeInterfaceList interfaces;
    RecordingScriptRunner scripts;
    std::unique_ptr<ConnectionSession> connection;
    std::unique_ptr<NetworkVC> screen;
};

TEST_F(ConnectJourneyTest, IKEv2_PermissionConnectingConnectedAndDisconnect) {
    connection =
        std::make_unique<ConnectionSession>(SystemTunnelControl::shared(), nullptr, nullptr);
    screen = std::make_unique<NetworkVC>(*connection);
    screen->loadViewIfNeeded();
    screen->states().workItem()->waitForFinished(5000);
    screen->ClickConnect();
    ASSERT_TRUE(waitUntil([] { return appState().isConnecting; }));
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }));

    const auto& server = appState().currentServer;
    ASSERT_TRUE(server);
    EXPECT_EQ(screen->ServerName->text(), server->name);
    ASSERT_TRUE(vpn.storedConfiguration());
    EXPECT_EQ(vpn.storedConfiguration()->serverAddress, server->hostdomain);
    EXPECT_EQ(vpn.storedConfiguration()->username, QStringLiteral("vpnuser"));
    EXPECT_EQ(preferences().string(QStringLiteral("SERVER_KEY")), server->hostdomain);
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_TRUE(scripts.scriptFiles.contains(appState().vpnHomeDir +
                                             QStringLiteral("setEthernetDNS.scpt")));

    screen->ClickConnect();
    ASSERT_TRUE(waitUntil([] { return !appState().isConnected; }));
    EXPECT_EQ(screen->ServerName->text(), localized(QStringLiteral("AUTO_MATCHING")));
    screen->states().workItem()->waitForFinished(5000);
    EXPECT_TRUE(scripts.statements.last().contains(QStringLiteral("Wi-Fi empty")));
}
