#include "ConnectionFixture.h"

#include "api/ApiClient.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionStates.h"
#include "connection/Failover.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "tunnel/OpenVPNSession.h"

void ConnectionTest::SetUp() {
    ServiceTest::SetUp();
    signIn();
    services().scriptRunner = &scripts;
    services().interfaces = &interfaces;
    AppState& state = appState();
    state.ikev2ServerList = {makeServer(localized(QStringLiteral("AUTO_MATCHING")), QString(),
                                        QStringLiteral("KR"), QStringLiteral("IKEV2")),
                             makeServer(QStringLiteral("Tokyo 1"), QStringLiteral("127.0.1.2"),
                                        QStringLiteral("JP"), QStringLiteral("IKEV2"))};
    state.openvpnServerList = {makeServer(localized(QStringLiteral("AUTO_MATCHING")), QString(),
                                          QStringLiteral("KR"), QStringLiteral("OPENVPN"))};
    loadScreen();
}

void ConnectionTest::TearDown() {
    waitForDnsJobs();
    screen.reset();
    // The supervision timer keeps its logic alive; drop it before the doubles go.
    resetAppState();
    session.reset();
    ServiceTest::TearDown();
}

void ConnectionTest::loadScreen() {
    waitForDnsJobs();
    screen = std::make_unique<NetworkVC>(*session);
    screen->loadViewIfNeeded();
}

void ConnectionTest::pressConnectAndWait() {
    screen->ClickConnect();
    ASSERT_TRUE(waitUntil([this] { return !screen->connectSequence().isCheckOutstanding(); }));
}

void ConnectionTest::connectOverOpenVPN() {
    screen->ClickCheckBoxOpen();
    appState().isAdminAuthorized = true;
    pressConnectAndWait();
    interfaces.addUpIPv4(QStringLiteral("utun3"));
    linkMonitor.announce();
}

void ConnectionTest::tickMain(int n) {
    for (int i = 0; i < n; ++i)
        screen->checkConnectMainServer();
}

void ConnectionTest::tickEM1(int n) {
    for (int i = 0; i < n; ++i)
        screen->checkConnectEM1();
}

void ConnectionTest::tickEM2(int n) {
    for (int i = 0; i < n; ++i)
        screen->checkConnectEM2();
}

void ConnectionTest::waitForDnsJobs() {
    if (!screen)
        return;
    if (auto job = screen->states().workItem())
        job->waitForFinished(5000);
}

QList<QMap<QString, QString>> ConnectionTest::formsOf(const char* path) {
    QList<QMap<QString, QString>> forms;
    for (const LoggedRequest& request : service().requests(QLatin1String(path)))
        forms << request.form;
    return forms;
}
