// The supervision waits for the user: while the administrator dialog a connect needs is
// open, the countdown stands still; a dialog closed without an answer, and a cancel, end
// the attempt as the user's own disconnect, and answers still on their way start nothing.
#include "ConnectionFixture.h"
#include "api/ApiClient.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionStates.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "support/RecordingAlerts.h"
#include "support/RecordingConnectionObserver.h"

#include <QDialog>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class AdminPromptTest : public ConnectionTest {
protected:
    void SetUp() override {
        ConnectionTest::SetUp();
        storyboard.registerController(QStringLiteral("DialogController"), [this] {
            dialog = new QDialog;
            return dialog.data();
        });
        services().storyboard = &storyboard;
        services().connectionObserver = &observer;
    }
    void TearDown() override {
        delete dialog.data();
        services().storyboard = nullptr;
        services().connectionObserver = nullptr;
        ConnectionTest::TearDown();
    }
    // OpenVPN without a known administrator: the permission opens the dialog.
    void connectAndGetAsked() {
        screen->ClickCheckBoxOpen();
        pressConnectAndWait();
        ASSERT_TRUE(dialog && dialog->isVisible());
    }
    qsizetype stableRequests() {
        return service().requests(QLatin1String(ApiPath::stableServer)).size();
    }

    Storyboard storyboard;
    QPointer<QDialog> dialog;
    RecordingConnectionObserver observer;
    QSignalSpy drops{&ConnectionEvents::shared(), &ConnectionEvents::unexpectedDrop};
};

TEST_F(AdminPromptTest, DialogOpen_TicksDoNotCountAndTheAnswerStartsTheCountdown) {
    connectAndGetAsked();
    tickMain(25);
    EXPECT_EQ(appState().failoverCountdown, 10);
    EXPECT_TRUE(appState().failoverTimer->isActive());

    appState().pendingOpenVPNInstall = true; // as the real dialog leaves it
    dialog->accept();
    tickMain(1);
    EXPECT_EQ(tunnel.calls.last(), QStringLiteral("installAndLaunchOpenVPN"));
    tickMain(8);
    EXPECT_TRUE(appState().failoverTimer->isActive()) << "ten ticks from the answer";
    tickMain(1);
    EXPECT_TRUE(waitUntil([&] { return stableRequests() == 1; }, 5000));
}

// Closed without an answer, or gone with its screen.
TEST_F(AdminPromptTest, DialogNotAnswered_EndsTheAttemptAsTheUsersCancel) {
    for (const bool closeIt : {true, false}) {
        connectAndGetAsked();
        QSignalSpy cancelled(&ConnectionEvents::shared(), &ConnectionEvents::attemptCancelled);
        if (closeIt)
            dialog->reject();
        else
            delete dialog.data();
        EXPECT_EQ(cancelled.count(), 1);
        EXPECT_FALSE(appState().failoverTimer->isActive()) << "no stage follows";
        EXPECT_FALSE(appState().isConnecting);
    }
    EXPECT_TRUE(alerts().confirmTexts.isEmpty()) << "no stale alert after the cancel";
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(observer.events.contains(QStringLiteral("userDisconnected")));
}

// A cancel while the service is still to answer the check or the stable-server request:
// the late answer starts no tunnel, and a new press is not taken for the old one.
TEST_F(AdminPromptTest, CancelBeforeTheAnswer_DropsItAndANewPressGoesThrough) {
    for (const char* path : {ApiPath::newCheckServer, ApiPath::stableServer}) {
        service().setFault(QLatin1String(path), Fault{Fault::Kind::Delay, 1000, {}, -1});
        tunnel.calls.clear();
        screen->ClickConnect();
        if (QLatin1String(path) == QLatin1String(ApiPath::stableServer)) {
            ASSERT_TRUE(waitUntil([&] { return !tunnel.calls.isEmpty(); }));
            tickMain(10);
        }
        ASSERT_TRUE(waitUntil([&] { return !service().requests(QLatin1String(path)).isEmpty(); }));
        const qsizetype callsBefore = tunnel.calls.size();
        screen->states().cancelAttempt();
        QTest::qWait(1500);
        EXPECT_EQ(tunnel.calls.mid(callsBefore), QStringList{QStringLiteral("disconnectIKEv2")})
            << path << ": the cancel's own teardown, and nothing started after it";
        EXPECT_FALSE(screen->connectSequence().isCheckOutstanding()) << path;
        EXPECT_FALSE(appState().isConnecting) << path;
        service().clearFaults();
        service().clearRequests();
    }
}
