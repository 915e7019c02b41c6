#include "connection/ConnectSequence.h"

#include "ConnectionFixture.h"
#include "api/ApiClient.h"
#include "connection/ConnectionEvents.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingConnectionObserver.h"
#include "ui/NetworkButton.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {
const char* kCheck = ApiPath::newCheckServer;

QString autoText() {
    return localized(QStringLiteral("AUTO_MATCHING"));
}
} // namespace

class ConnectSequenceTest : public ConnectionTest {
protected:
    void selectOpenVPN() { screen->ClickCheckBoxOpen(); }
    void refuseWith(const QString& result) {
        service().scenario().resultOverrides[QLatin1String(kCheck)] = result;
    }
};

TEST_F(ConnectSequenceTest, IKEv2_PermissionConnectsAndStatusEventsDriveTheScreen) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    pressConnectAndWait();

    const auto forms = formsOf(kCheck);
    ASSERT_EQ(forms.size(), 1);
    EXPECT_EQ(forms[0].value("server_name"), QString());
    EXPECT_EQ(forms[0].value("server_protocol"), QStringLiteral("IKEV2"));
    EXPECT_EQ(forms[0].value("csrfmiddlewaretoken"), appState().csrfToken);
    const auto& server = appState().currentServer;
    ASSERT_TRUE(server);
    EXPECT_EQ(tunnel.calls, QStringList{"connectIKEv2 " + server->hostdomain});
    EXPECT_EQ(server->hostip, server->hostdomain);
    EXPECT_EQ(server->telecom, QStringLiteral("KT"));
    EXPECT_TRUE(server->vpnProtocol.isEmpty());
    EXPECT_EQ(appState().vpnUsername, QStringLiteral("vpnuser"));
    EXPECT_TRUE(screen->isAutoServer());
    ASSERT_TRUE(appState().failoverTimer);
    EXPECT_TRUE(appState().failoverTimer->isActive());

    tunnel.report(VpnStatus::Connecting);
    EXPECT_TRUE(appState().isConnecting);
    EXPECT_FALSE(screen->NetworkButton->isEnabled());
    EXPECT_FALSE(screen->CheckBoxIKEV->isEnabled());
    EXPECT_EQ(screen->ServerName->text(), server->name);

    tunnel.report(VpnStatus::Connected);
    EXPECT_TRUE(appState().isConnected);
    EXPECT_FALSE(appState().failoverTimer->isActive());
    EXPECT_TRUE(screen->svConnected->isVisibleTo(screen.get()));
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("applyDNSOverride"));

    screen->ClickConnect();
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("disconnectIKEv2"));
    EXPECT_TRUE(appState().isConnected) << "the screen waits for the system's status";

    tunnel.report(VpnStatus::Disconnected);
    EXPECT_FALSE(appState().isConnected);
    EXPECT_EQ(screen->ServerName->text(), autoText());
    EXPECT_TRUE(screen->NetworkButton->isEnabled());
    // The status that follows the user's disconnect is no drop of its own.
    EXPECT_EQ(observer.events,
              QStringList({QStringLiteral("attemptStarting 1"), QStringLiteral("tunnelConnected"),
                           QStringLiteral("userDisconnected")}));
}

TEST_F(ConnectSequenceTest, OpenVPN_WithKnownAdministrator_LaunchesAndShowsConnecting) {
    selectOpenVPN();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();

    ASSERT_EQ(tunnel.calls.size(), 2);
    EXPECT_TRUE(tunnel.calls[0].startsWith(QStringLiteral("writeOpenVPNFiles client")));
    EXPECT_EQ(tunnel.calls[1], QStringLiteral("launchOpenVPN"));
    EXPECT_EQ(formsOf(kCheck).last().value("server_protocol"), QStringLiteral("OPENVPN"));
    EXPECT_TRUE(appState().isConnecting);
    EXPECT_TRUE(appState().failoverTimer->isActive());

    interfaces.addUpIPv4(QStringLiteral("utun0"));
    tickMain(1);
    EXPECT_TRUE(appState().isConnected);

    screen->ClickConnect();
    EXPECT_EQ(tunnel.calls.mid(tunnel.calls.size() - 1), QStringList{"stopOpenVPN"});
    EXPECT_FALSE(appState().isConnected) << "no status event exists for OpenVPN";
    EXPECT_TRUE(screen->ConnectComment->isVisibleTo(screen.get()));
}

TEST_F(ConnectSequenceTest, OpenVPN_WithoutAdministrator_AsksForItAndStillSupervises) {
    Storyboard storyboard;
    int dialogs = 0;
    storyboard.registerController(QStringLiteral("DialogController"), [&dialogs] {
        ++dialogs;
        return new QWidget;
    });
    services().storyboard = &storyboard;
    selectOpenVPN();
    pressConnectAndWait();

    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(tunnel.calls.contains(QStringLiteral("launchOpenVPN")));
    EXPECT_FALSE(appState().isConnecting) << "the screen stays as it was behind the dialog";
    EXPECT_TRUE(appState().failoverTimer->isActive());

    appState().pendingOpenVPNInstall = true;
    emit ConnectionEvents::shared().administratorAnswered(true);
    tickMain(1);
    EXPECT_FALSE(appState().pendingOpenVPNInstall);
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("installAndLaunchOpenVPN"));
    EXPECT_TRUE(appState().isConnecting);
    screen.reset();
    services().storyboard = nullptr;
}

// With a watcher that holds the attempt (the kill switch loading its rules) nothing
// starts until it lets go; its refusal ends the attempt with its reason. The launch after
// the administrator dialog waits the same way.
TEST_F(ConnectSequenceTest, HeldAttempt_StartsOnlyWhenLetGoAndARefusalEndsIt) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    QString refused;
    QObject::connect(&ConnectionEvents::shared(), &ConnectionEvents::connectRefused, screen.get(),
                     [&refused](const QString& text) { refused = text; });
    observer.holding = true;
    for (const bool ikev2 : {true, false}) {
        ikev2 ? screen->ClickCheckBoxIKEV() : selectOpenVPN();
        appState().isAdminAuthorized = true;
        tunnel.calls.clear();
        pressConnectAndWait();
        EXPECT_TRUE(tunnel.calls.isEmpty()) << ikev2;
        EXPECT_FALSE(appState().failoverTimer && appState().failoverTimer->isActive()) << ikev2;
        observer.gate.proceed();
        EXPECT_EQ(tunnel.calls.last(),
                  ikev2 ? QStringLiteral("connectIKEv2 ") + appState().currentServer->hostdomain
                        : QStringLiteral("launchOpenVPN"));
        ASSERT_TRUE(appState().failoverTimer);
        EXPECT_TRUE(appState().failoverTimer->isActive());
        appState().stopFailoverTimer();
    }

    tunnel.calls.clear();
    pressConnectAndWait();
    observer.gate.refuse(QStringLiteral("no block, no connection"));
    EXPECT_FALSE(tunnel.calls.contains(QStringLiteral("launchOpenVPN")));
    EXPECT_EQ(alerts().confirmTexts.last(), QStringLiteral("no block, no connection"));
    EXPECT_EQ(refused, QStringLiteral("no block, no connection"));
    EXPECT_FALSE(appState().isConnecting);

    appState().pendingOpenVPNInstall = true;
    appState().failoverCountdown = 10;
    tunnel.calls.clear();
    screen->checkConnectMainServer();
    EXPECT_FALSE(tunnel.calls.contains(QStringLiteral("installAndLaunchOpenVPN")));
    observer.gate.proceed();
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("installAndLaunchOpenVPN"));
}

TEST_F(ConnectSequenceTest, Refusals_ShowTheirAlertAndStartNothing) {
    const QList<std::pair<QString, QString>> cases = {{"300", "EXPIREALERT"},
                                                      {"500", "SERVERERROR"},
                                                      {"600", "EXCEEDUSERALERT"},
                                                      {"1002", "SERVER_MAINTENANCE"},
                                                      {"777", "ERRORALERT"}};
    for (const auto& [result, key] : cases) {
        refuseWith(result);
        alerts().confirmTexts.clear();
        pressConnectAndWait();
        EXPECT_EQ(alerts().confirmTexts, QStringList{localized(key)}) << result.toStdString();
        EXPECT_FALSE(appState().failoverTimer) << result.toStdString();
        EXPECT_TRUE(tunnel.calls.isEmpty()) << result.toStdString();
        EXPECT_FALSE(appState().isConnecting);
        EXPECT_EQ(screen->ServerName->text(), autoText());
    }
}

TEST_F(ConnectSequenceTest, SessionGone_SignsOut) {
    preferences().setValue(QStringLiteral("isChecked"), 1);
    refuseWith(QStringLiteral("400"));
    pressConnectAndWait();
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    EXPECT_TRUE(tunnel.calls.isEmpty());
}

TEST_F(ConnectSequenceTest, PermissionMissingAField_IsAnErrorAndStartsNothing) {
    const auto before = appState().currentServer;
    ApiReply reply(nlohmann::json{{"result", 200},
                                  {"vpn_username", "u"},
                                  {"vpn_password", "p"},
                                  {"vpn_smart_match_name", "Seoul"},
                                  {"vpn_smart_match_hostname", "h"},
                                  {"vpn_smart_match_country", "KR"}});
    screen->connectSequence().handleCheckReply(reply);
    EXPECT_EQ(alerts().confirmTexts, QStringList{localized(QStringLiteral("ERRORALERT"))});
    EXPECT_TRUE(tunnel.calls.isEmpty());
    EXPECT_FALSE(appState().failoverTimer);
    EXPECT_EQ(appState().currentServer, before);
    EXPECT_TRUE(appState().vpnUsername.isEmpty());
}

TEST_F(ConnectSequenceTest, NumericResult200_GrantsPermission) {
    screen->connectSequence().handleCheckReply(
        ApiReply(nlohmann::json{{"result", 200},
                                {"vpn_username", "u"},
                                {"vpn_password", "p"},
                                {"vpn_smart_match_name", "Seoul"},
                                {"vpn_smart_match_hostname", "h.example"},
                                {"vpn_smart_match_country", "KR"},
                                {"vpn_smart_match_config", ""}}));
    EXPECT_EQ(tunnel.calls, QStringList{"connectIKEv2 h.example"});
}

TEST_F(ConnectSequenceTest, PickedServer_SendsItsHostAndAfter1001ShowsTheMatchedName) {
    appState().currentServer = appState().ikev2ServerList.at(1);
    screen->refreshServerDisplay();
    pressConnectAndWait();

    EXPECT_EQ(formsOf(kCheck).last().value("server_name"), QStringLiteral("127.0.1.2"));
    EXPECT_FALSE(screen->isAutoServer());
    const QString matched = appState().currentServer->name;
    tunnel.report(VpnStatus::Connected);
    tunnel.report(VpnStatus::Disconnected);
    EXPECT_EQ(screen->ServerName->text(), localized(matched));
}

TEST_F(ConnectSequenceTest, SecondPressWhileChecking_IsIgnored) {
    screen->ClickConnect();
    screen->ClickConnect();
    ASSERT_TRUE(waitUntil([this] { return !screen->connectSequence().isCheckOutstanding(); }));
    QTest::qWait(50);
    EXPECT_EQ(formsOf(kCheck).size(), 1);
    EXPECT_EQ(tunnel.calls.size(), 1);
}
