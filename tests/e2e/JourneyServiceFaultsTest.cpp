// Journey: the service misbehaves. Hosts that drop connections or answer HTML pages
// are left for the next host; a session the service no longer knows ends in the login
// screen.
#include "JourneySupport.h"
#include "core/AppState.h"
#include "platform/Preferences.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"
#include "ui/ViewController.h"

#include <QPointer>
#include <QTest>

namespace {

QList<int> hostsOf(const QList<LoggedRequest>& requests) {
    QList<int> hosts;
    for (const LoggedRequest& request : requests) {
        if (hosts.isEmpty() || hosts.last() != request.hostIndex)
            hosts << request.hostIndex;
    }
    return hosts;
}

class JourneyServiceFaultsTest : public JourneyTest {
protected:
    void SetUp() override { prepareWorld({}); }

    // Sessions are per host at the real service; here any host knows every session.
    void allowCrossHostSessions() { service().scenario().enforceSession = false; }

    NetworkVC* signedIn(bool remember) {
        startClient();
        ViewController* login = waitForScreen<ViewController>();
        if (!login)
            return nullptr;
        signInThroughScreen(login, remember);
        return waitForNetworkScreen();
    }
};

TEST_F(JourneyServiceFaultsTest, DefaultHostDropsEveryConnection_SignsInThroughTheNext) {
    allowCrossHostSessions();
    service().setFault(QStringLiteral("*"), Fault{Fault::Kind::Drop, 0, {0}, -1});

    ASSERT_TRUE(signedIn(false));
    const QList<int> initHosts =
        hostsOf(service().requests(QStringLiteral("/v1/app_init_session")));
    ASSERT_FALSE(initHosts.isEmpty());
    EXPECT_EQ(initHosts.first(), 0);
    for (const QString& path :
         {QStringLiteral("/v1/app_session_key"), QStringLiteral("/v1/app_new_server_list")}) {
        const QList<LoggedRequest> requests = service().requests(path);
        ASSERT_FALSE(requests.isEmpty()) << path.toStdString();
        EXPECT_NE(requests.last().hostIndex, 0) << path.toStdString();
    }
    EXPECT_NE(appState().apiHostIndex, 0);
    EXPECT_TRUE(alerts().confirmTexts.isEmpty()) << alerts().confirmTexts.join('|').toStdString();
}

TEST_F(JourneyServiceFaultsTest, HtmlErrorPages_AreLeftForTheNextHostWithoutAnAlert) {
    allowCrossHostSessions();
    service().setFault(QStringLiteral("/v1/app_session_key"), Fault{Fault::Kind::Html, 0, {0}, -1});
    service().setFault(QStringLiteral("/v1/app_new_server_list"),
                       Fault{Fault::Kind::Html, 0, {1}, -1});

    NetworkVC* network = signedIn(false);
    ASSERT_TRUE(network);
    EXPECT_EQ(hostsOf(service().requests(QStringLiteral("/v1/app_session_key"))),
              (QList<int>{0, 1}));
    EXPECT_EQ(hostsOf(service().requests(QStringLiteral("/v1/app_new_server_list"))),
              (QList<int>{1, 2}));
    EXPECT_FALSE(appState().openvpnServerList.isEmpty());
    EXPECT_TRUE(alerts().confirmTexts.isEmpty()) << alerts().confirmTexts.join('|').toStdString();
}

TEST_F(JourneyServiceFaultsTest, SessionInvalidOnTheServerList_BackToLoginAndForgotten) {
    service().scenario().resultOverrides[QStringLiteral("/v1/app_new_server_list")] =
        QStringLiteral("400");
    startClient();
    ViewController* login = waitForScreen<ViewController>();
    ASSERT_TRUE(login);
    const QPointer<ViewController> first(login);
    signInThroughScreen(login, true);

    // signOut puts a new login screen in place of the first one.
    ASSERT_TRUE(waitUntil([&] { return !first && qobject_cast<ViewController*>(content()); }))
        << "the login screen did not come back";
    EXPECT_EQ(service().requests(QStringLiteral("/v1/app_new_server_list")).size(), 1);
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_EQ(clientPreferences().string(QStringLiteral("email")), QString());
    EXPECT_FALSE(KeychainWrapper::shared().contains(kAccountPasswordItem));
}

TEST_F(JourneyServiceFaultsTest, SessionInvalidOnTheCheck_BackToLoginAndNoTunnel) {
    NetworkVC* network = signedIn(true);
    ASSERT_TRUE(network);
    service().scenario().resultOverrides[QStringLiteral("/v1/app_new_check_server")] =
        QStringLiteral("400");

    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    ASSERT_TRUE(waitForScreen<ViewController>()) << "the login screen did not come back";
    EXPECT_EQ(service().requests(QStringLiteral("/v1/app_new_check_server")).size(), 1);
    EXPECT_FALSE(appState().isConnected);
    EXPECT_FALSE(appState().isConnecting);
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("isChecked")), 0);
}

} // namespace
