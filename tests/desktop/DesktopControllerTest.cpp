// The tray's and the command line's way into the client: what a connect asked for is what
// its answer tells, the screen the user looks at stays, and its alerts go to the caller.
#include "app/DesktopController.h"

#include "api/ApiClient.h"
#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "connection/ConnectionFixture.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "desktop/ControlServer.h"
#include "desktop/DeferredAlerts.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DesktopSettings.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "platform/SingleInstance.h"
#include "support/IdleTeardown.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingDesktopNotifications.h"
#include "ui/OrvelController.h"

#include <QJsonDocument>

class DesktopControllerTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        storyboard.registerController(QStringLiteral("NetworkVC"),
                                      [this] { return new NetworkVC(*session); });
        storyboard.registerController(QStringLiteral("UserVC"), [] { return new QWidget; });
        storyboard.registerController(QStringLiteral("PasswordChangeVC"),
                                      [] { return new QWidget; });
        storyboard.registerController(QStringLiteral("SettingsVC"), [] {
            auto* settings = new QWidget;
            settings->setObjectName(QStringLiteral("SettingsVC"));
            return settings;
        });
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        appState().ikev2ServerList.append(
            makeServer("Frankfurt 1", "127.0.1.4", "DE", QStringLiteral("IKEV2")));
        shell = new OrvelController;
        window.setContentViewController(shell);
        // In view: an alert nobody held back would be shown at once.
        window.show();
        deferred.setQuiet([this] { return controller.isDrivingAttempt(); });
        services().alerts = &deferred;
    }
    void TearDown() override {
        services().alerts = &alerts();
        window.setContentViewController(nullptr);
        services().storyboard = nullptr;
        ConnectionTest::TearDown();
    }
    // The command line's request; its answer once it has come.
    std::shared_ptr<QJsonObject> ask(const QByteArray& line) {
        auto answer = std::make_shared<QJsonObject>();
        server.handle(line, [answer](const QJsonObject& reply) { *answer = reply; });
        return answer;
    }
    NetworkVC* shownScreen() { return qobject_cast<NetworkVC*>(shell->splitViewItems().value(1)); }
    void waitForTunnelCall(const QString& call) {
        ASSERT_TRUE(waitUntil([&] { return tunnel.calls.contains(call); }, 5000))
            << qPrintable(tunnel.calls.join('|'));
    }

    Storyboard storyboard;
    IdleTeardown teardown;
    AppDelegate delegate{teardown};
    MainWindow window;
    OrvelController* shell = nullptr;
    ServerShortcuts shortcuts{preferences()};
    SettingsCatalog catalog;
    DesktopController controller{window, delegate, *session};
    RecordingDesktopNotifications notifications;
    DesktopSettings settings{preferences()};
    DesktopNotifier notifier{notifications, settings, [] { return false; }};
    DeferredAlerts deferred{alerts(), window, notifier};
    SingleInstance instance{QString()};
    ControlServer server{instance, controller, shortcuts, catalog};
};

// Connected to Tokyo 1 as asked, or to the stable server the failover moved on to.
TEST_F(DesktopControllerTest, Connect_TellsWhetherTheTunnelIsToWhatWasAsked) {
    for (const bool failover : {false, true}) {
        auto answer =
            ask(R"({"version":1,"command":"connect","server":"Tokyo 1","protocol":"ikev2"})");
        waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.2"));
        if (failover) {
            for (int tick = 0; tick < 10; ++tick)
                shownScreen()->checkConnectMainServer();
            waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.12"));
        }
        tunnel.report(VpnStatus::Connected);
        ASSERT_TRUE(waitUntil([&] { return answer->contains("ok"); }, 5000));
        EXPECT_TRUE(answer->value("ok").toBool());
        EXPECT_EQ(answer->value("as_asked").toBool(), !failover);
        EXPECT_EQ(answer->value("status").toObject().value("server").toString(),
                  failover ? "Tokyo 2" : "Tokyo 1");
        EXPECT_TRUE(
            answer->value("status").toObject().value("connected_since").toString().endsWith('Z'));
        tunnel.report(VpnStatus::Disconnected);
        tunnel.calls.clear();
    }
}

TEST_F(DesktopControllerTest, WhileAnotherScreenIsShown_ConnectsWithoutSwitchingAndWithoutAlerts) {
    shell->menu()->clickMenu(shell->menu()->SettingsBtn);
    QWidget* settings = shell->splitViewItems().value(1);
    ASSERT_EQ(settings->objectName(), "SettingsVC");

    service().scenario().resultOverrides[QLatin1String(ApiPath::newCheckServer)] = "1002";
    auto refused = ask(R"({"version":1,"command":"connect","server":"Tokyo 1"})");
    ASSERT_TRUE(waitUntil([&] { return refused->contains("ok"); }, 5000));
    EXPECT_FALSE(refused->value("ok").toBool());
    EXPECT_TRUE(alerts().confirmTexts.isEmpty()) << "the refusal went to the caller";
    EXPECT_TRUE(notifications.bodies().contains(localized("SERVER_MAINTENANCE")));
    EXPECT_EQ(appState().currentServer->name, localized("AUTO_MATCHING")) << "selection kept";

    service().scenario().resultOverrides.clear();
    auto connected = ask(R"({"version":1,"command":"connect"})");
    waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.1"));
    tunnel.report(VpnStatus::Connected);
    ASSERT_TRUE(waitUntil([&] { return connected->value("ok").toBool(); }, 5000));
    EXPECT_EQ(shell->splitViewItems().value(1), settings) << "the user's screen stays";
}

TEST_F(DesktopControllerTest, WhileConnected_AnUnknownServerIsNamedAndAnotherIsSwitchedTo) {
    auto first = ask(R"({"version":1,"command":"connect","server":"Tokyo 1"})");
    waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.2"));
    tunnel.report(VpnStatus::Connected);
    ASSERT_TRUE(waitUntil([&] { return first->value("ok").toBool(); }, 5000));

    auto unknown = ask(R"({"version":1,"command":"connect","server":"Nowhere"})");
    EXPECT_EQ(unknown->value("error").toString(), "unknown server Nowhere");

    auto other = ask(R"({"version":1,"command":"connect","server":"Frankfurt 1"})");
    waitForTunnelCall(QStringLiteral("disconnectIKEv2"));
    tunnel.report(VpnStatus::Disconnected);
    waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.4"));
    tunnel.report(VpnStatus::Connected);
    ASSERT_TRUE(waitUntil([&] { return other->value("ok").toBool(); }, 5000));
    EXPECT_TRUE(other->value("as_asked").toBool());
}

// Disconnect and cancel end an attempt underway; with none, cancel says so.
TEST_F(DesktopControllerTest, DisconnectDuringAnAttempt_CancelsIt) {
    EXPECT_EQ(ask(R"({"version":1,"command":"cancel"})")->value("error").toString(),
              "no connection attempt to cancel");
    for (const char* command : {"cancel", "disconnect"}) {
        auto attempt = ask(R"({"version":1,"command":"connect"})");
        waitForTunnelCall(QStringLiteral("connectIKEv2 127.0.1.1"));
        EXPECT_EQ(controller.status().state, "connecting");
        const QByteArray line = QByteArray(R"({"version":1,"command":")") + command + "\"}";
        EXPECT_TRUE(ask(line)->value("ok").toBool()) << command;
        EXPECT_EQ(attempt->value("error").toString(), "attempt cancelled");
        EXPECT_EQ(controller.status().state, "disconnected");
        EXPECT_EQ(tunnel.calls.last(), QStringLiteral("disconnectIKEv2"));
        tunnel.calls.clear();
    }
}
