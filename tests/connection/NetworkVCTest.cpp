#include "ConnectionFixture.h"
#include "api/ApiClient.h"
#include "connection/ConnectionStates.h"
#include "core/LocalizeStrings.h"
#include "core/NoticeModel.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "platform/NotificationCenter.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingBrowser.h"
#include "tunnel/DnsOverride.h"
#include "ui/ImageNamed.h"
#include "ui/NetworkButton.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

class NetworkVCTest : public ConnectionTest {
protected:
    bool visible(QWidget* element) { return element->isVisibleTo(screen.get()); }
};

TEST_F(NetworkVCTest, FirstLoad_ShowsAutomaticChoiceDisconnectedAndResetsDNS) {
    EXPECT_EQ(screen->ServerName->text(), localized(QStringLiteral("AUTO_MATCHING")));
    EXPECT_EQ(appState().currentServer, appState().ikev2ServerList.at(0));
    EXPECT_TRUE(visible(screen->ConnectComment));
    EXPECT_EQ(screen->ConnectComment->text(), localized(QStringLiteral("NOTCONNECT")));
    EXPECT_FALSE(visible(screen->svConnected));
    EXPECT_TRUE(visible(screen->ServerSelection));
    EXPECT_TRUE(screen->CheckBoxIKEV->isChecked());
    EXPECT_FALSE(screen->CheckBoxOpen->isChecked());
    EXPECT_EQ(screen->CheckBoxOpen->text(), QStringLiteral("OpenVPN"));

    waitForDnsJobs();
    const QStringList reset = dnsResetStatements();
    ASSERT_GE(scripts.statements().size(), 2);
    EXPECT_EQ(scripts.statements().mid(scripts.statements().size() - 2), reset);
    EXPECT_TRUE(reset[0].contains(QStringLiteral("-setdnsservers Ethernet empty")));
}

TEST_F(NetworkVCTest, LoadWithOpenVPNSelected_TicksTheOpenVPNBox) {
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    loadScreen();
    EXPECT_FALSE(screen->CheckBoxIKEV->isChecked());
    EXPECT_TRUE(screen->CheckBoxOpen->isChecked());
}

TEST_F(NetworkVCTest, OpenVPNSelected_StatusEventsChangeNothing) {
    screen->ClickCheckBoxOpen();
    tunnel.report(VpnStatus::Connected);
    EXPECT_FALSE(appState().isConnected);
    EXPECT_TRUE(tunnel.calls.isEmpty());
}

TEST_F(NetworkVCTest, StatusInvalid_RevealsOnlyTheIKEv2Box) {
    screen->CheckBoxOpen->hide();
    screen->OptionBg->hide();
    tunnel.report(VpnStatus::Invalid);
    EXPECT_TRUE(visible(screen->OptionBg));
    EXPECT_TRUE(visible(screen->CheckBoxIKEV));
    EXPECT_FALSE(visible(screen->CheckBoxOpen));
    EXPECT_TRUE(screen->NetworkButton->isEnabled());
}

TEST_F(NetworkVCTest, StatusReasserting_ShowsTheConnectedGroupWithTheButtonDisabled) {
    tunnel.report(VpnStatus::Reasserting);
    EXPECT_FALSE(screen->NetworkButton->isEnabled());
    EXPECT_TRUE(visible(screen->svConnected));
    EXPECT_FALSE(visible(screen->ServerSelection));
    EXPECT_FALSE(visible(screen->OptionBg));
    EXPECT_FALSE(appState().isConnected) << "flags are untouched";

    tunnel.report(VpnStatus::Disconnecting);
    EXPECT_FALSE(visible(screen->svConnected));
}

TEST_F(NetworkVCTest, ConnectedShowsRawNameDisconnectedShowsLocalizedName) {
    appState().currentServer = makeServer(QStringLiteral("NOTCONNECT"), QStringLiteral("h"),
                                          QStringLiteral("JP"), QStringLiteral("IKEV2"));
    screen->states().isAutoServer = false;
    screen->showConnected();
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("NOTCONNECT"));
    EXPECT_FALSE(screen->CheckBoxOpen->isEnabled());
    screen->showDisconnected();
    EXPECT_EQ(screen->ServerName->text(), localized(QStringLiteral("NOTCONNECT")));
    EXPECT_TRUE(screen->CheckBoxOpen->isEnabled());
}

TEST_F(NetworkVCTest, ProtocolBox_SwitchesListStoresAndAnnouncesOnlyOnChange) {
    int announced = 0;
    QObject context;
    notifications().observe(QStringLiteral("changedServer"), &context, [&] { ++announced; });

    screen->ClickCheckBoxIKEV();
    EXPECT_EQ(announced, 0);
    EXPECT_FALSE(preferences().contains(QStringLiteral("vpn_selected_protocol")));

    screen->ClickCheckBoxOpen();
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    EXPECT_EQ(appState().currentServer, appState().openvpnServerList.at(0));
    EXPECT_EQ(announced, 1);
    EXPECT_TRUE(preferences().contains(QStringLiteral("vpn_selected_protocol")));
    EXPECT_FALSE(screen->CheckBoxIKEV->isChecked());

    screen->ClickCheckBoxOpen();
    EXPECT_EQ(announced, 1);
}

TEST_F(NetworkVCTest, ChangedServerNotification_RefreshesTheShownServer) {
    appState().currentServer = appState().ikev2ServerList.at(1);
    notifications().post(QStringLiteral("changedServer"));
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Tokyo 1"));
    screen->showServer(QStringLiteral("Raw"), QStringLiteral("JP"));
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Raw"));
    screen->didSaveServer();
    EXPECT_EQ(screen->ServerName->text(), QStringLiteral("Tokyo 1"));
}

TEST_F(NetworkVCTest, SupportAndPaymentLinks_OpenInTheBrowser) {
    screen->ClickSupport();
    screen->goToPayment();
    ASSERT_EQ(browser().opened.size(), 2);
    EXPECT_EQ(browser().opened[0], QUrl(supportChatURL()));
    EXPECT_EQ(browser().opened[1], QUrl(appState().apiBaseURL + QStringLiteral("/price")));
}

TEST_F(NetworkVCTest, NoticeBox_FollowsTheNoticeAndItsBadge) {
    EXPECT_FALSE(visible(screen->noticeBox));
    appState().currentNotice = std::make_shared<NoticeModel>(9, "zh", "en", "ko");
    appState().hasUnreadNotice = true;
    loadScreen();
    EXPECT_TRUE(visible(screen->noticeBox));
    EXPECT_TRUE(visible(screen->countBox));
    screen->showNotice();
    EXPECT_FALSE(visible(screen->countBox));
    EXPECT_FALSE(appState().hasUnreadNotice);
    EXPECT_EQ(preferences().integer(QStringLiteral("notice_id")), 9);
}

// A connected client sits idle for hours: the bar's frames must not keep running.
TEST_F(NetworkVCTest, LoadingBar_DrawsFramesOnlyWhileConnectingOnScreen) {
    screen->show();
    screen->showConnecting();
    EXPECT_TRUE(screen->LoadingBar->isDrawingFrames());
    screen->hide();
    EXPECT_FALSE(screen->LoadingBar->isDrawingFrames());
    screen->show();
    EXPECT_TRUE(screen->LoadingBar->isDrawingFrames());

    screen->showConnected();
    EXPECT_FALSE(screen->LoadingBar->isDrawingFrames());
    screen->showConnecting();
    screen->showDisconnected();
    EXPECT_FALSE(screen->LoadingBar->isDrawingFrames());
    EXPECT_FALSE(screen->LoadingBar->isAnimating());
}

// A screen made while a tunnel is up (the menu swapped screens) shows that tunnel, and
// its button ends the protocol that is really up.
TEST_F(NetworkVCTest, ScreenMadeWhileConnected_ShowsItAndItsButtonDisconnectsThatProtocol) {
    const QList<std::pair<QString, QString>> cases = {{"OPENVPN", "stopOpenVPN"},
                                                      {"IKEV2", "disconnectIKEv2"}};
    for (const auto& [protocol, teardown] : cases) {
        appState().selectedProtocol = protocol;
        appState().currentServer =
            makeServer(QStringLiteral("<b>Osaka</b>"), QStringLiteral("10.0.0.9"),
                       QStringLiteral("JP"), protocol);
        appState().isConnected = true;
        tunnel.status = VpnStatus::Connected;
        loadScreen();
        EXPECT_EQ(screen->ServerName->text(), QStringLiteral("<b>Osaka</b>"));
        EXPECT_EQ(screen->ServerName->textFormat(), Qt::PlainText) << "names are not markup";
        EXPECT_TRUE(visible(screen->svConnected));
        EXPECT_FALSE(visible(screen->ConnectComment));
        EXPECT_FALSE(screen->CheckBoxIKEV->isEnabled());
        EXPECT_FALSE(screen->CheckBoxOpen->isEnabled());
        const QSize size(150, 150);
        EXPECT_EQ(screen->NetworkButton->icon().pixmap(size).toImage(),
                  QIcon(imageNamed(QStringLiteral("main_on"))).pixmap(size).toImage());
        tunnel.calls.clear();
        screen->ClickConnect();
        EXPECT_EQ(tunnel.calls, QStringList{teardown}) << protocol.toStdString();
    }
}

// Coming back to the connection screen during an attempt (the menu makes a new one) leaves
// the attempt running: the new screen shows it connecting, then how it ended.
TEST_F(NetworkVCTest, ScreenMadeWhileConnecting_ShowsTheAttemptAndItsOutcome) {
    const QList<std::pair<QString, std::function<void()>>> protocols = {
        {QStringLiteral("IKEV2"), [this] { tunnel.report(VpnStatus::Connected); }},
        {QStringLiteral("OPENVPN"), [this] {
             interfaces.addUpIPv4(QStringLiteral("utun3"));
             tickMain(1);
         }}};
    for (const auto& [protocol, tunnelComesUp] : protocols) {
        SCOPED_TRACE(protocol.toStdString());
        protocol == QLatin1String("IKEV2") ? screen->ClickCheckBoxIKEV()
                                           : screen->ClickCheckBoxOpen();
        appState().isAdminAuthorized = true;
        pressConnectAndWait();
        const QString tried = appState().currentServer->name;
        tunnel.calls.clear();
        loadScreen();
        EXPECT_TRUE(visible(screen->LoadingBar)) << "the new screen shows the attempt";
        EXPECT_FALSE(screen->NetworkButton->isEnabled());
        EXPECT_EQ(screen->ServerName->text(), tried);
        EXPECT_TRUE(appState().failoverTimer->isActive());
        EXPECT_TRUE(tunnel.calls.isEmpty())
            << "nothing stopped: " << tunnel.calls.join(", ").toStdString();

        tunnelComesUp();
        EXPECT_TRUE(appState().isConnected);
        EXPECT_TRUE(visible(screen->svConnected));
        screen->ClickConnect();
        tunnel.report(VpnStatus::Disconnected);
        interfaces.removeAll(QStringLiteral("utun3"));
        ASSERT_FALSE(appState().isConnected);
    }
}

TEST_F(NetworkVCTest, AdminDialog_OnlyOneAtATime) {
    Storyboard storyboard;
    int dialogs = 0;
    QPointer<QWidget> last;
    storyboard.registerController(QStringLiteral("DialogController"), [&] {
        ++dialogs;
        last = new QWidget;
        return last.data();
    });
    services().storyboard = &storyboard;
    screen->presentAdminDialog();
    screen->presentAdminDialog();
    EXPECT_EQ(dialogs, 1) << "a later attempt raises the open dialog";
    last->close();
    screen->presentAdminDialog();
    EXPECT_EQ(dialogs, 2);
    screen.reset();
    services().storyboard = nullptr;
}
