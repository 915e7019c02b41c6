#include "SceneWorld.h"

#include "api/ApiHosts.h"
#include "connection/SystemTunnelControl.h"
#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "servers/ServerList.h"
#include "tunnel/VPNManager.h"
#include "ui/DialogController.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/PasswordChangeVC.h"
#include "ui/UserVC.h"
#include "ui/ViewController.h"

#include <QCoreApplication>
#include <QTest>

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

SceneWorld::SceneWorld(const QString& stateDir)
    : m_connection(SystemTunnelControl::shared(), nullptr, nullptr) {
    resetAppState();
    LocalizeStrings::shared().setLanguage(QStringLiteral("en"));
    TestService::Options options;
    options.stateDir = stateDir;
    if (!m_service.start(options)) {
        m_error = QStringLiteral("test service: ") + m_service.errorString();
        return;
    }
    if (!overrideApiHostTable(m_service.baseUrls()) ||
        !m_api.addTrustedCaFile(m_service.caFile())) {
        m_error = QStringLiteral("the client cannot be pointed at the test service");
        return;
    }
    Services& wired = services();
    wired.api = &m_api;
    wired.preferences = &m_preferences;
    wired.notifications = &m_notifications;
    wired.alerts = &m_alerts;
    wired.browser = &m_browser;
    wired.itemStore = &m_items;
    wired.interfaces = &m_interfaces;
    wired.vpnService = &m_vpn;
    wired.storyboard = &m_storyboard;
    wired.mainWindow = &m_window;
    VPNManager::resetShared(new VPNManager(m_vpn, m_items, m_preferences));
    m_storyboard.registerController(QStringLiteral("LoginController"),
                                    [this] { return new ViewController(&m_storyboard); });
    m_storyboard.registerController(QStringLiteral("OrvelController"),
                                    [] { return new OrvelController; });
    m_storyboard.registerController(QStringLiteral("NetworkVC"),
                                    [this] { return new NetworkVC(m_connection); });
    m_storyboard.registerController(QStringLiteral("UserVC"), [] { return new UserVC; });
    m_storyboard.registerController(QStringLiteral("PasswordChangeVC"),
                                    [] { return new PasswordChangeVC; });
    m_storyboard.registerController(QStringLiteral("DialogController"),
                                    [] { return new DialogController; });
    m_window.setWindowTitle(localized(QStringLiteral("APPTITLE")));
    m_window.move(40, 40);
}

SceneWorld::~SceneWorld() {
    m_window.setContentViewController(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    resetAppState();
    VPNManager::resetShared();
    services() = Services{};
}

bool SceneWorld::openSession() {
    bool done = false;
    m_api.send(QString::fromLatin1(ApiPath::initSession), {}, [&](const ApiReply& reply) {
        appState().csrfToken = reply.text("csrftoken");
        appState().sessionId = reply.text("sessionid");
        done = true;
    });
    if (!spinUntil([&] { return done; }))
        return false;
    setSessionCookies(m_api.cookieJar(), cookieDomainOf(appState().apiBaseURL));
    return true;
}

bool SceneWorld::signIn() {
    if (!openSession())
        return false;
    const ScenarioAccount& account = m_service.scenario().accounts.first();
    bool signedIn = false;
    m_api.send(
        QString::fromLatin1(ApiPath::sessionKey),
        [&] {
            return ApiFields{{QStringLiteral("login_email"), account.email},
                             {QStringLiteral("login_password"), account.password},
                             {QStringLiteral("app_version"), QStringLiteral("2.1.0")},
                             {QStringLiteral("device_type"), QStringLiteral("MacOS")},
                             {QStringLiteral("device_uuid"), QStringLiteral("SCREENS")}};
        },
        [&](const ApiReply& reply) {
            signedIn = reply.text("result") == QLatin1String("200");
            if (!signedIn)
                m_error = QStringLiteral("sign-in refused: ") + reply.text("result");
        });
    return spinUntil([&] { return signedIn || !m_error.isEmpty(); }) && signedIn &&
           fillServerLists();
}

bool SceneWorld::fillServerLists() {
    bool done = false;
    ServerListRequest request;
    request.onRebuilt = [&done] { done = true; };
    getServerList(request);
    return spinUntil([&done] { return done; });
}

NetworkVC* SceneWorld::showShell() {
    m_shell = new OrvelController;
    m_window.setContentViewController(m_shell);
    m_window.setContentSize(350, 500);
    m_window.show();
    spinUntil([] { return !appState().userEmail.isEmpty(); });
    return qobject_cast<NetworkVC*>(m_shell->splitViewItems().value(1));
}

void SceneWorld::useMessageBoxes() {
    services().alerts = &m_messageBoxes;
}

void SceneWorld::showContent(QWidget* screen) {
    m_window.setContentViewController(screen);
    m_window.show();
}
