#include "app/AppDelegate.h"

#include "core/AppState.h"
#include "core/Services.h"
#include "core/TunnelTeardown.h"
#include "support/RecordingConnectionObserver.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QWidget>

namespace {
// Records the teardown calls; a disconnect may drop the connection at once when asked.
class RecordingTeardown final : public TunnelTeardown {
public:
    void disconnectIKEv2() override {
        calls << QStringLiteral("disconnect");
        if (disconnectEndsConnection)
            appState().isConnected = false;
    }
    void disconnectIKEv2ForTermination(std::function<void(bool)> reply) override {
        calls << QStringLiteral("disconnectForTermination");
        pendingReply = std::move(reply);
    }
    void runOpenVPNStopScript() override {
        calls << QStringLiteral("runStopScript");
        appState().openVPNMayRun = false;
    }
    void restoreDNS() override { calls << QStringLiteral("restoreDNS"); }
    void forgetLeftovers() override { calls << QStringLiteral("forget"); }

    QStringList calls;
    bool disconnectEndsConnection = false;
    std::function<void(bool)> pendingReply;
};

class AppDelegateTest : public OrvelTest {
protected:
    RecordingTeardown teardown;
    AppDelegate delegate{teardown};
};
} // namespace

TEST_F(AppDelegateTest, ShouldTerminate_NotConnected_RestoresTheDNSAndTerminatesNow) {
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::Now);
    EXPECT_EQ(teardown.calls, (QStringList{"restoreDNS"}));
}

TEST_F(AppDelegateTest, ShouldTerminate_ConnectedIKEv2_DisconnectsThenWaitsForTermination) {
    appState().isConnected = true;
    appState().selectedProtocol = QStringLiteral("IKEV2");
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::Later);
    EXPECT_EQ(teardown.calls,
              (QStringList{"restoreDNS", "disconnect", "disconnectForTermination"}));
}

// Connecting counts as much as connected: the OpenVPN may already run.
TEST_F(AppDelegateTest, ShouldTerminate_OpenVPNUpOrComingUp_StopsItThenSavesProfile) {
    for (bool connected : {true, false}) {
        teardown.calls.clear();
        appState().isConnected = connected;
        appState().isConnecting = !connected;
        appState().openVPNMayRun = true;
        appState().selectedProtocol = QStringLiteral("OPENVPN");
        EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::Later);
        EXPECT_EQ(teardown.calls,
                  (QStringList{"runStopScript", "restoreDNS", "disconnectForTermination"}));
    }
}

TEST_F(AppDelegateTest, ShouldTerminate_DisconnectEndsConnectionAtOnce_TerminatesNow) {
    appState().isConnected = true;
    teardown.disconnectEndsConnection = true;
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::Now);
    EXPECT_EQ(teardown.calls, (QStringList{"restoreDNS", "disconnect"}));
}

TEST_F(AppDelegateTest, RequestQuit_WhileConnected_QuitsOnlyWhenTheReplyComes) {
    appState().isConnected = true;
    QSignalSpy approved(&delegate, &AppDelegate::terminateApproved);
    delegate.requestQuit();
    EXPECT_EQ(approved.count(), 0);
    delegate.requestQuit();
    EXPECT_EQ(teardown.calls.count(QStringLiteral("disconnectForTermination")), 1);
    ASSERT_TRUE(teardown.pendingReply);
    teardown.pendingReply(true);
    EXPECT_EQ(approved.count(), 1);
}

TEST_F(AppDelegateTest, RequestQuit_NotConnected_QuitsAtOnce) {
    QSignalSpy approved(&delegate, &AppDelegate::terminateApproved);
    delegate.requestQuit();
    EXPECT_EQ(approved.count(), 1);
}

TEST_F(AppDelegateTest, WillTerminate_TearsDownWhatMayRunAndForgetsTheLeftovers) {
    appState().isConnecting = true;
    delegate.applicationWillTerminate();
    EXPECT_EQ(teardown.calls, (QStringList{"disconnect", "restoreDNS", "forget"}));
    teardown.calls.clear();
    appState().selectedProtocol = QStringLiteral("OPENVPN");
    appState().openVPNMayRun = true;
    delegate.applicationWillTerminate();
    EXPECT_EQ(teardown.calls, (QStringList{"runStopScript", "restoreDNS", "forget"}));
}

// The kill switch's rules go with the process, whatever the tunnel was doing.
TEST_F(AppDelegateTest, WillTerminate_TellsTheConnectionObserverBeforeTheProcessEnds) {
    RecordingConnectionObserver observer;
    services().connectionObserver = &observer;
    delegate.applicationWillTerminate();
    EXPECT_EQ(observer.events, QStringList{QStringLiteral("quitting")});
}

TEST_F(AppDelegateTest, Reopen_ShowsTheLastWindowOnlyWhenHidden) {
    EXPECT_TRUE(delegate.applicationShouldHandleReopen({}, false));
    QWidget first;
    QWidget last;
    EXPECT_TRUE(delegate.applicationShouldHandleReopen({&first, &last}, false));
    EXPECT_TRUE(last.isVisible());
    EXPECT_FALSE(first.isVisible());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen({&first, &last}, true));
    EXPECT_TRUE(last.isVisible());
}
