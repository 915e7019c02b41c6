#include "ui/InitialVC.h"

#include "api/ApiClient.h"
#include "app/MainWindow.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "startup/StartupRetry.h"
#include "startup/StartupSteps.h"
#include "support/MemoryPreferences.h"
#include "support/RecordingAlerts.h"
#include "support/ServiceFixture.h"
#include "support/SettableReachability.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <QTest>

namespace {
class FakeStartupSteps final : public StartupSteps {
public:
    int countTunnelInterfaces() override {
        calls << QStringLiteral("count");
        return 3;
    }
    void verifyStoredAdmin() override { calls << QStringLiteral("verify"); }
    void removeLegacyFolder() override { calls << QStringLiteral("legacy"); }
    bool isOpenVPNInstalled() override {
        calls << QStringLiteral("installed?");
        return installed;
    }
    void downloadSettingsPackage(std::function<void()> continueWithNetworkCheck,
                                 std::function<void()> failed) override {
        calls << QStringLiteral("download");
        finishDownload = std::move(continueWithNetworkCheck);
        failDownload = std::move(failed);
    }

    bool installed = true;
    QStringList calls;
    std::function<void()> finishDownload;
    std::function<void()> failDownload;
};

class InitialVCTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        services().reachability = &m_reachability;
        services().startupSteps = &steps;
        services().storyboard = &storyboard;
        services().mainWindow = &window;
        storyboard.registerController(QStringLiteral("LoginController"),
                                      [this] { return new ViewController(&storyboard); });
        preferences().setValue(QStringLiteral("set_vpn_conf"), 1);
    }

    void TearDown() override {
        // Screens and their queued work go before the storyboard and window they use.
        window.setContentViewController(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ServiceTest::TearDown();
    }

    InitialVC* start(Storyboard* own) {
        auto* screen = new InitialVC(own);
        window.setContentViewController(screen);
        window.show();
        return screen;
    }
    InitialVC* start() { return start(&storyboard); }

    bool loginShown() const {
        return qobject_cast<ViewController*>(window.contentViewController()) != nullptr;
    }
    bool versionAnswered() {
        return !service().requests(QStringLiteral("/v1/app_osx_version")).isEmpty();
    }
    // The version reply is handled in the same event as its arrival.
    void waitForVersionReply() {
        ASSERT_TRUE(waitUntil([this] { return versionAnswered(); }));
        QTest::qWait(50);
    }

    SettableReachability m_reachability;
    FakeStartupSteps steps;
    Storyboard storyboard;
    MainWindow window;
};
} // namespace

TEST_F(InitialVCTest, ChainRunsStepByStepAndVersion200ShowsTheLoginScreen) {
    testing::internal::CaptureStdout();
    start();
    // Asked at load only to send the session request ahead; the checks come later.
    EXPECT_EQ(steps.calls, QStringList{QStringLiteral("installed?")});
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(steps.calls, QStringList({QStringLiteral("installed?"), QStringLiteral("count"),
                                        QStringLiteral("verify"), QStringLiteral("legacy"),
                                        QStringLiteral("installed?")}));
    EXPECT_EQ(appState().baselineUtunCount, 3);
    EXPECT_NE(out.find("Internet Connected\n"), std::string::npos);
    const QList<LoggedRequest> log = service().requests();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log.at(0).path, QStringLiteral("/v1/app_init_session"));
    EXPECT_EQ(log.at(0).method, QStringLiteral("GET"));
    EXPECT_EQ(log.at(1).path, QStringLiteral("/v1/app_osx_version"));
    EXPECT_EQ(log.at(1).form.value(QStringLiteral("version_code")), QStringLiteral("2.1.0"));
    EXPECT_EQ(log.at(1).form.value(QStringLiteral("csrfmiddlewaretoken")), appState().csrfToken);
    EXPECT_EQ(log.at(1).cookies.value(QStringLiteral("sessionid")), appState().sessionId);
    EXPECT_FALSE(appState().csrfToken.isEmpty());
    EXPECT_FALSE(appState().startupNoticeFlag);
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
}

// Replies on their way hold the window back for a frame; a first start has none.
TEST_F(InitialVCTest, RegularStartHoldsTheWindowBackAFrame_FirstStartDoesNot) {
    window.setContentViewController(new InitialVC(&storyboard));
    window.present();
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(waitUntil([this] { return window.isVisible(); }));

    MainWindow firstStart;
    services().mainWindow = &firstStart;
    steps.installed = false;
    firstStart.setContentViewController(new InitialVC(&storyboard));
    firstStart.present();
    EXPECT_TRUE(firstStart.isVisible());
    firstStart.setContentViewController(nullptr);
    services().mainWindow = &window;
}

TEST_F(InitialVCTest, TitleIsTheAppTitleDirectlyFollowedByTheVersion) {
    service().scenario().versionResult = QStringLiteral("777");
    InitialVC* screen = start();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("OrvelVPN v2.1.0"));
    EXPECT_EQ(screen->lbVersion->text(), QStringLiteral("ORVEL VPN v2.1.0"));
    EXPECT_EQ(screen->companyName->text(), QStringLiteral("OrvelVPN\nLinux version"));
    EXPECT_EQ(screen->size(), QSize(350, 500));
    EXPECT_EQ(screen->progressbar->geometry(), QRect(100, 200, 150, 23));
}

TEST_F(InitialVCTest, MissingProgramDownloadsThePackageAndChecksTheNetworkOnlyAfterwards) {
    steps.installed = false;
    InitialVC* screen = start();
    ASSERT_TRUE(waitUntil([this] { return steps.calls.contains(QStringLiteral("download")); }));
    QTest::qWait(50);
    EXPECT_NE(screen->checkStatus->text(), QStringLiteral("check Network..."));
    EXPECT_TRUE(service().requests().isEmpty());

    steps.finishDownload();
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
}

TEST_F(InitialVCTest, NoSettingsPreferenceDownloadsEvenWithTheProgramPresent) {
    preferences().remove(QStringLiteral("set_vpn_conf"));
    start();
    EXPECT_TRUE(waitUntil([this] { return steps.calls.contains(QStringLiteral("download")); }));
}

TEST_F(InitialVCTest, WithoutStartupStepsThePackageCountsAsInstalled) {
    services().startupSteps = nullptr;
    start();
    EXPECT_TRUE(waitUntil([this] { return loginShown(); }));
}

TEST_F(InitialVCTest, UnreachableNetwork_AlertsOnceSaysWhyAndGoesOnWhenARouteAppears) {
    m_reachability.setReachable(false);
    InitialVC* screen = start();
    const QString waiting = localized(QStringLiteral("STARTUP_WAIT_NETWORK"));
    ASSERT_TRUE(waitUntil([&] { return screen->checkStatus->text() == waiting; }));
    EXPECT_NE(screen->progressbar->maximum(), 0) << "the busy animation ends while waiting";
    EXPECT_TRUE(m_reachability.isWatching());

    QTest::qWait(StartupRetry::kFirstPauseMs + 200); // one retry after the pause, still no route
    EXPECT_EQ(alerts().confirmTexts, QStringList({localized(QStringLiteral("NETWORKNOTCONNECT"))}));
    EXPECT_TRUE(service().requests().isEmpty());
    EXPECT_EQ(screen->checkStatus->text(), waiting);

    EXPECT_TRUE(alerts().closedTexts.isEmpty());

    m_reachability.setReachable(true);
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
    EXPECT_FALSE(m_reachability.isWatching());
    EXPECT_EQ(alerts().closedTexts, QStringList({localized(QStringLiteral("NETWORKNOTCONNECT"))}))
        << "the alert goes when the network is back";
}

TEST_F(InitialVCTest, FailedPackageDownload_SaysSoAndTriesAgainWhenARouteAppears) {
    steps.installed = false;
    InitialVC* screen = start();
    ASSERT_TRUE(waitUntil([this] { return static_cast<bool>(steps.failDownload); }));
    steps.failDownload();
    const QString waiting = localized(QStringLiteral("STARTUP_WAIT_PACKAGE"));
    ASSERT_TRUE(waitUntil([&] { return screen->checkStatus->text() == waiting; }));
    EXPECT_EQ(steps.calls.count(QStringLiteral("download")), 1);

    m_reachability.setReachable(true);
    EXPECT_EQ(steps.calls.count(QStringLiteral("download")), 2);
    steps.finishDownload();
    EXPECT_TRUE(waitUntil([this] { return loginShown(); }));
}

// The bar rests only while the chain waits: a download or a request that takes its time
// keeps it moving, however long.
TEST_F(InitialVCTest, Bar_MovesWhileAStepIsUnderWay_WaitsOnlyBetweenTries) {
    steps.installed = false;
    service().setFault(QStringLiteral("/v1/app_osx_version"),
                       Fault{Fault::Kind::Delay, 400, {}, 1});
    InitialVC* screen = start();
    ASSERT_TRUE(waitUntil([this] { return static_cast<bool>(steps.failDownload); }));
    EXPECT_FALSE(screen->showsWaitingLook()) << "downloading";
    steps.failDownload();
    EXPECT_TRUE(screen->showsWaitingLook()) << "waiting to try the download again";
    m_reachability.setReachable(true);
    EXPECT_FALSE(screen->showsWaitingLook()) << "downloading again";
    steps.finishDownload();
    ASSERT_TRUE(waitUntil([&] { return screen->checkStatus->text() == "Check Version..."; }));
    EXPECT_FALSE(screen->showsWaitingLook()) << "the version check in flight";
    EXPECT_TRUE(waitUntil([this] { return loginShown(); }));
}

TEST_F(InitialVCTest, WholeRoundOfFailedHosts_SaysTheServiceIsNotReachableThenGoesOn) {
    service().setFault(QStringLiteral("/v1/app_init_session"), Fault{Fault::Kind::Html, 0, {}, 6});
    const QPointer<InitialVC> screen = start();
    const QString waiting = localized(QStringLiteral("STARTUP_WAIT_SERVICE"));
    ASSERT_TRUE(waitUntil([&] { return screen && screen->checkStatus->text() == waiting; }));
    EXPECT_NE(screen->progressbar->maximum(), 0);
    EXPECT_TRUE(waitUntil([this] { return loginShown(); }, 5000));
}

TEST_F(InitialVCTest, Version300FirstEncounterAlertsStoresTheVersionAndStays) {
    service().scenario().versionResult = QStringLiteral("300");
    service().scenario().versionCode = QStringLiteral("3.0.0");
    InitialVC* screen = start();
    waitForVersionReply();
    EXPECT_EQ(alerts().confirmTexts, QStringList({localized(QStringLiteral("CHECKNETWORK"))}));
    EXPECT_EQ(preferences().string(QStringLiteral("VERSION_CODE")), QStringLiteral("3.0.0"));
    EXPECT_TRUE(appState().startupNoticeFlag);
    EXPECT_EQ(window.contentViewController(), screen);
}

TEST_F(InitialVCTest, Version300SecondEncounterGoesOnToTheLoginScreen) {
    service().scenario().versionResult = QStringLiteral("300");
    service().scenario().versionCode = QStringLiteral("3.0.0");
    preferences().setValue(QStringLiteral("VERSION_CODE"), QStringLiteral("3.0.0"));
    // The login screen comes from the shared storyboard here, not the screen's own.
    start(nullptr);
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    EXPECT_TRUE(appState().startupNoticeFlag);
}

TEST_F(InitialVCTest, Version400SignsOut) {
    service().scenario().versionResult = QStringLiteral("400");
    preferences().setValue(QStringLiteral("isChecked"), 1);
    preferences().setValue(QStringLiteral("email"), QStringLiteral("someone@orvel.test"));
    start();
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
    EXPECT_EQ(preferences().integer(QStringLiteral("isChecked")), 0);
    EXPECT_EQ(preferences().string(QStringLiteral("email")), QString());
}

TEST_F(InitialVCTest, UnknownVersionResultLeavesTheScreen) {
    service().scenario().versionResult = QStringLiteral("777");
    InitialVC* screen = start();
    waitForVersionReply();
    EXPECT_EQ(window.contentViewController(), screen);
    EXPECT_TRUE(alerts().confirmTexts.isEmpty());
    EXPECT_EQ(screen->checkStatus->text(), QStringLiteral("Check Version..."));
}

TEST_F(InitialVCTest, Version200WithoutOwnStoryboardLogsReturnAndStays) {
    testing::internal::CaptureStdout();
    InitialVC* screen = start(nullptr);
    waitForVersionReply();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("return\n"), std::string::npos);
    EXPECT_EQ(window.contentViewController(), screen);
}

TEST_F(InitialVCTest, TwoFailedInitSessionRepliesSendTheThirdToAlternateHost2) {
    service().setFault(QStringLiteral("/v1/app_init_session"),
                       Fault{Fault::Kind::Drop, 0, {0, 1}, -1});
    start();
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }));
    EXPECT_EQ(hostsVisited(QStringLiteral("/v1/app_init_session")), QList<int>({0, 1, 2}));
    EXPECT_EQ(appState().apiHostIndex, 2);
}

// After a whole round of failed hosts, the first host answers again and the others stay
// down: the next round must try it.
TEST_F(InitialVCTest, EveryRoundOfRetries_BeginsAtTheFirstHost) {
    const QString path = QStringLiteral("/v1/app_init_session");
    service().setFault(path, Fault{Fault::Kind::Drop, 0, {}, 5});
    start();
    ASSERT_TRUE(waitUntil([&] { return service().requests(path).size() >= 5; }));
    service().setFault(path, Fault{Fault::Kind::Drop, 0, {1, 2, 3, 4}, -1});
    ASSERT_TRUE(waitUntil([this] { return loginShown(); }, 5000));
    EXPECT_EQ(hostsVisited(path), QList<int>({0, 1, 2, 3, 4, 0}));
}

TEST_F(InitialVCTest, MissingSessionTokensAreCarriedOnAsNull) {
    service().setFault(QStringLiteral("/v1/app_init_session"),
                       Fault{Fault::Kind::Http500Json, 0, {}, -1});
    start();
    waitForVersionReply();
    EXPECT_EQ(appState().csrfToken, QStringLiteral("null"));
    EXPECT_EQ(appState().sessionId, QStringLiteral("null"));
    const LoggedRequest version = service().requests(QStringLiteral("/v1/app_osx_version")).first();
    EXPECT_EQ(version.form.value(QStringLiteral("csrfmiddlewaretoken")), QStringLiteral("null"));
}
