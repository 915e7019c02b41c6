#include "startup/StartupChain.h"

#include "api/ApiClient.h"
#include "api/ApiHosts.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/ContentWindow.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "platform/Preferences.h"
#include "platform/Reachability.h"
#include "startup/StartupSteps.h"
#include "startup/StartupView.h"
#include "tunnel/SignOut.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcStartup, "orvel.startup")

namespace {
// One refresh of a 60 Hz display: a window shown this much later looks no different.
constexpr int kOneFrameMs = 16;

// A missing token is carried on as the text of the JSON literal; the service then
// refuses it like any stale token, which later calls handle.
QString sessionToken(const ApiReply& reply, const char* key) {
    if (!reply.has(key) || reply.json().at(key).is_null())
        return QStringLiteral("null");
    return reply.text(key);
}

ApiFields versionCheckFields() {
    return {{QStringLiteral("version_code"), appShortVersion()}};
}
} // namespace

StartupChain::StartupChain(StartupView& view, Storyboard* storyboard, QObject* parent)
    : QObject(parent), m_view(view), m_storyboard(storyboard) {
    cookie_url = cookieDomainOf(appState().apiBaseURL);
    sendAhead();
    if (ApiClient* api = services().api)
        connect(api, &ApiClient::requestFailed, this, &StartupChain::requestFailed);
    QTimer::singleShot(0, this, &StartupChain::runStartupChecks);
}

// On a regular start the session request and the version check are the chain's first
// exchanges with the service: they go out now, one after the other as the chain would
// send them, and their round trips overlap building the screens. When they are back
// within a frame, the start-up screen would be gone before it could be seen: the window
// waits that frame for the login screen.
void StartupChain::sendAhead() {
    ApiClient* api = services().api;
    if (!api || !packageReady() || !networkReachable())
        return;
    if (ContentWindow* window = services().mainWindow)
        window->holdBackFirstShow(kOneFrameMs);
    api->sendAhead(
        QLatin1String(ApiPath::initSession), [domain = cookie_url](const ApiReply& reply) {
            const QString csrfToken = sessionToken(reply, "csrftoken");
            return std::optional(ApiClient::FollowUp{
                QString::fromLatin1(ApiPath::osxVersion), versionCheckFields(), csrfToken,
                sessionCookies(domain, csrfToken, sessionToken(reply, "sessionid"))});
        });
}

// The package path may come back from a worker thread; the view is only touched on the
// main thread.
void StartupChain::queueStatusText(const QString& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { m_view.setStatusText(text); }, Qt::QueuedConnection);
}

void StartupChain::queueWorkingLook() {
    QMetaObject::invokeMethod(
        this, [this] { m_view.showWorkingLook(); }, Qt::QueuedConnection);
}

void StartupChain::runStartupChecks() {
    StartupSteps* steps = services().startupSteps;
    if (!steps) {
        qCInfo(lcStartup) << "no start-up steps wired; the package counts as installed";
        checkNetwork();
        return;
    }
    appState().baselineUtunCount = steps->countTunnelInterfaces();
    steps->verifyStoredAdmin();
    steps->removeLegacyFolder();
    if (packageReady()) {
        checkNetwork();
        return;
    }
    downloadPackage();
}

bool StartupChain::packageReady() const {
    StartupSteps* steps = services().startupSteps;
    const Preferences* preferences = services().preferences;
    return steps && steps->isOpenVPNInstalled() && preferences &&
           preferences->contains(QStringLiteral("set_vpn_conf"));
}

bool StartupChain::networkReachable() const {
    const Reachability* reachability = services().reachability;
    return !reachability || reachability->isReachable();
}

void StartupChain::downloadPackage() {
    m_view.showWorkingLook();
    QPointer self(this);
    services().startupSteps->downloadSettingsPackage(
        [self] {
            if (self)
                self->checkNetwork();
        },
        [self] {
            if (!self)
                return;
            self->showWaiting("STARTUP_WAIT_PACKAGE");
            self->m_retry.schedule([chain = self.data()] { chain->downloadPackage(); });
        });
}

void StartupChain::checkNetwork() {
    queueStatusText(QStringLiteral("check Network..."));
    if (!networkReachable()) {
        showWaiting("STARTUP_WAIT_NETWORK");
        m_retry.schedule([this] { checkNetwork(); });
        // Once per run; the step above comes back by itself, even while the alert is up.
        if (!std::exchange(m_networkAlertShown, true))
            showConfirmAlert(localized(QStringLiteral("NETWORKNOTCONNECT")));
        return;
    }
    logLine(QStringLiteral("Internet Connected"));
    // The alert told of a network that is back: it goes by itself and frees the screen.
    if (m_networkAlertShown)
        closeConfirmAlert(localized(QStringLiteral("NETWORKNOTCONNECT")));
    initSession();
}

void StartupChain::showWaiting(const char* key) {
    if (qstrcmp(m_waitingFor, key) != 0)
        qCInfo(lcStartup) << "waiting:" << key;
    m_waitingFor = key;
    queueStatusText(localized(QLatin1String(key)));
    m_view.showWaitingLook();
}

// The client resends by itself, pausing once a whole round of hosts has failed; from then
// on the line says why nothing seems to happen.
void StartupChain::requestFailed(const QString& path) {
    if (path != QLatin1String(ApiPath::initSession) && path != QLatin1String(ApiPath::osxVersion))
        return;
    // Told before the client moves on to the next host.
    m_roundOfHostsFailed = appState().apiHostIndex == apiHostTable().size() - 1;
    if (services().api->currentBackoffMs() == 0)
        return;
    showWaiting(networkReachable() ? "STARTUP_WAIT_SERVICE" : "STARTUP_WAIT_NETWORK");
}

void StartupChain::initSession() {
    queueStatusText(QStringLiteral("Session Checking..."));
    queueWorkingLook();
    QPointer self(this);
    services().api->send(
        QLatin1String(ApiPath::initSession), {},
        [self](const ApiReply& reply) {
            AppState& state = appState();
            state.csrfToken = sessionToken(reply, "csrftoken");
            state.sessionId = sessionToken(reply, "sessionid");
            if (self)
                self->checkVersion();
        },
        [self] {
            if (self)
                self->retryFromFirstHostAfterARound(&StartupChain::initSession);
        });
}

void StartupChain::checkVersion() {
    m_view.setStatusText(QStringLiteral("Check Version..."));
    m_view.showWorkingLook();
    ApiClient* api = services().api;
    setSessionCookies(api->cookieJar(), cookie_url);
    QPointer self(this);
    api->send(
        QLatin1String(ApiPath::osxVersion), &versionCheckFields,
        [self](const ApiReply& reply) {
            if (self)
                self->handleVersionReply(reply.text("result"), reply.text("version_code"));
        },
        [self] {
            if (self)
                self->retryFromFirstHostAfterARound(&StartupChain::checkVersion);
        });
}

// The host table alone would go on with hosts 2 to 5 for good: a service whose first host
// comes back while the others stay down would never be reached from this screen.
void StartupChain::retryFromFirstHostAfterARound(void (StartupChain::*step)()) {
    if (std::exchange(m_roundOfHostsFailed, false)) {
        appState().apiHostIndex = 0;
        selectApiBaseURL();
    }
    (this->*step)();
}

void StartupChain::handleVersionReply(const QString& result, const QString& versionCode) {
    AppState& state = appState();
    if (result == QLatin1String("200")) {
        state.startupNoticeFlag = false;
        m_view.goToLogin(m_storyboard);
    } else if (result == QLatin1String("300")) {
        state.startupNoticeFlag = true;
        Preferences* preferences = services().preferences;
        const auto seen = preferences ? preferences->string(QStringLiteral("VERSION_CODE"))
                                      : std::optional<QString>();
        if (seen && *seen == versionCode) {
            m_view.goToLogin(services().storyboard);
            return;
        }
        showConfirmAlert(localized(QStringLiteral("CHECKNETWORK")));
        if (preferences)
            preferences->setValue(QStringLiteral("VERSION_CODE"), versionCode);
    } else if (result == QLatin1String("400")) {
        signOut();
    } else {
        qCInfo(lcStartup) << "version check answered" << result << "- staying on this screen";
    }
}
