// Journey: the first start on a clean home, sign-in with automatic login remembered,
// and the next start signing in by itself.
#include "JourneySupport.h"
#include "platform/Preferences.h"
#include "ui/NetworkVC.h"
#include "ui/ViewController.h"

#include <QCheckBox>
#include <QFileInfo>

namespace {

const QString kPackagePath = QStringLiteral("/users/client/api/app/mac/files/settings.zip");

QStringList pathsOf(const QList<LoggedRequest>& requests) {
    QStringList paths;
    for (const LoggedRequest& request : requests) {
        if (paths.isEmpty() || paths.last() != request.path)
            paths << request.path;
    }
    return paths;
}

class JourneyFirstStartTest : public JourneyTest {
protected:
    void SetUp() override { prepareWorld({}); }
};

TEST_F(JourneyFirstStartTest, CleanHome_PackageSignInRemembered_NextStartSignsInByItself) {
    startClient();
    ViewController* login = waitForScreen<ViewController>();
    ASSERT_TRUE(login) << "the start-up chain did not reach the login screen";

    EXPECT_TRUE(QFileInfo(vpnHome() + QStringLiteral("openvpn")).isExecutable());
    EXPECT_TRUE(QFileInfo(vpnHome() + QStringLiteral("Cellar")).isDir());
    EXPECT_TRUE(QFileInfo(vpnHome() + QStringLiteral("opt")).isDir());
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("set_vpn_conf")), 1);
    EXPECT_EQ(service().requests(kPackagePath).size(), 1);
    EXPECT_EQ(pathsOf(service().requests()),
              (QStringList{kPackagePath, QStringLiteral("/v1/app_init_session"),
                           QStringLiteral("/v1/app_osx_version")}));
    EXPECT_NE(login->autoLoginCheckBox->checkState(), Qt::Checked);

    signInThroughScreen(login, true);
    ASSERT_TRUE(waitForNetworkScreen()) << "no connection screen after signing in";
    EXPECT_EQ(clientPreferences().integer(QStringLiteral("isChecked")), 1);
    EXPECT_EQ(clientPreferences().string(QStringLiteral("email")),
              service().scenario().accounts.first().email);
    EXPECT_FALSE(appState().ikev2ServerList.isEmpty());
    EXPECT_FALSE(appState().openvpnServerList.isEmpty());

    stopClient();
    service().clearRequests();
    startClient();
    NetworkVC* network = waitForNetworkScreen();
    ASSERT_TRUE(network) << "the second start did not sign in by itself";
    EXPECT_TRUE(service().requests(kPackagePath).isEmpty()) << "the package came again";
    const QList<LoggedRequest> signIns = service().requests(QStringLiteral("/v1/app_session_key"));
    ASSERT_EQ(signIns.size(), 1);
    EXPECT_EQ(signIns.first().form.value(QStringLiteral("login_email")),
              service().scenario().accounts.first().email);
    EXPECT_FALSE(network->ServerName->text().isEmpty());
}

} // namespace
