// Journey: failover for real. The smart match is a dead OpenVPN server; the stable list
// holds a dead IKEv2 server and then a live OpenVPN server. The client gives up on each
// dead one after its ticks, reports the failed stable server and connects to the live one.
#include "JourneySupport.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "ui/DialogController.h"
#include "ui/NetworkButton.h"
#include "ui/NetworkVC.h"
#include "ui/ViewController.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

namespace {

class JourneyFailoverTest : public JourneyTest {
protected:
    void SetUp() override {
        prepareWorld({true, true, true});
        if (IsSkipped() || HasFatalFailure())
            return;
        Scenario& scenario = service().scenario();
        // An address of the server's link where nobody answers.
        dead = ovpnServerAddress().section(QLatin1Char('.'), 0, 2) + QStringLiteral(".9");
        QString deadConfig = ovpnConfig(kOvpnPort);
        deadConfig.replace(ovpnServerAddress(), dead);
        scenario.smartMatch[QStringLiteral("OPENVPN")] = {QStringLiteral("Dead OVPN"), dead,
                                                          QStringLiteral("US"), deadConfig};
        const ScenarioServer deadIke{QStringLiteral("IKEV2"),
                                     QStringLiteral("Dead IKE"),
                                     QStringLiteral("10.251.0.99"),
                                     QStringLiteral("10.251.0.99"),
                                     QStringLiteral("DE"),
                                     QString(),
                                     QStringLiteral("EM"),
                                     QString(),
                                     true,
                                     true};
        scenario.stableServers = {deadIke, scenario.stableServers.first()};
    }

    QString dead;
};

void expectTableFields(const LoggedRequest& request, const QString& name, const QString& address,
                       const QString& protocol) {
    const auto& form = request.form;
    EXPECT_EQ(form.size(), 8) << QStringList(form.keys()).join(',').toStdString();
    EXPECT_FALSE(form.value(QStringLiteral("csrfmiddlewaretoken")).isEmpty());
    EXPECT_EQ(form.value(QStringLiteral("telecom")), QStringLiteral("EM"));
    EXPECT_EQ(form.value(QStringLiteral("server_name")), name);
    EXPECT_EQ(form.value(QStringLiteral("server_ip")), address);
    EXPECT_EQ(form.value(QStringLiteral("platform")), QStringLiteral("macOS"));
    EXPECT_TRUE(form.value(QStringLiteral("device")).startsWith(QStringLiteral("macOS ")));
    EXPECT_FALSE(form.value(QStringLiteral("app_version")).isEmpty());
    EXPECT_EQ(form.value(QStringLiteral("protocol")), protocol);
}

TEST_F(JourneyFailoverTest, DeadSmartMatchAndDeadStable_ReportedThenConnectsToTheLiveOne) {
    startClient();
    ViewController* login = waitForScreen<ViewController>();
    ASSERT_TRUE(login);
    signInThroughScreen(login, false);
    NetworkVC* network = waitForNetworkScreen();
    ASSERT_TRUE(network);
    QTest::mouseClick(network->CheckBoxOpen, Qt::LeftButton, {},
                      QPoint(8, network->CheckBoxOpen->height() / 2));

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(network->NetworkButton, Qt::LeftButton);
    DialogController* dialog = waitForAdminDialog();
    ASSERT_TRUE(dialog);
    answerAdminDialog(dialog, e2e::kAdminPassword);

    ASSERT_TRUE(waitUntil(
        [&] { return !service().requests(QStringLiteral("/v1/app_stable_server")).isEmpty(); },
        20000))
        << "the main stage never gave up";
    EXPECT_FALSE(appState().isConnected);
    std::printf("failover: stable servers asked after %lld ms\n",
                static_cast<long long>(clock.elapsed()));
    ASSERT_TRUE(waitUntil([] { return appState().isConnected; }, 30000))
        << "never connected to the live stable server";
    std::printf("failover: connected to the live server after %lld ms\n",
                static_cast<long long>(clock.elapsed()));

    ASSERT_TRUE(appState().currentServer);
    EXPECT_EQ(appState().currentServer->name, QStringLiteral("Tokyo OVPN"));
    EXPECT_EQ(appState().selectedProtocol, QStringLiteral("OPENVPN"));
    EXPECT_TRUE(utun0Up());
    EXPECT_EQ(pingTunnelPeer(), 0);

    const QList<LoggedRequest> stable = service().requests(QStringLiteral("/v1/app_stable_server"));
    ASSERT_EQ(stable.size(), 1);
    expectTableFields(stable.first(), QStringLiteral("Dead OVPN"), dead, QStringLiteral("OPENVPN"));
    const QList<LoggedRequest> reports =
        service().requests(QStringLiteral("/v1/app_report_failed_server"));
    ASSERT_EQ(reports.size(), 1);
    expectTableFields(reports.first(), QStringLiteral("Dead IKE"), QStringLiteral("10.251.0.99"),
                      QStringLiteral("IKEV2"));
    EXPECT_TRUE(alerts().confirmTexts.isEmpty()) << alerts().confirmTexts.join('|').toStdString();
}

} // namespace
