#include "ui/InitialVC.h"

#include "api/ApiClient.h"
#include "api/ApiHosts.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/ContentWindow.h"
#include "core/Diagnostics.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "platform/Preferences.h"
#include "platform/Reachability.h"
#include "startup/StartupSteps.h"
#include "tunnel/SignOut.h"
#include "ui/ViewController.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QTimer>

Q_LOGGING_CATEGORY(lcStartup, "orvel.startup")

namespace {
constexpr int kWidth = 350;
constexpr int kHeight = 500;
// One refresh of a 60 Hz display: a window shown this much later looks no different.
constexpr int kOneFrameMs = 16;
// A regular start is over long before this; the busy bar repaints some 30 times a second,
// and every repaint wakes several threads.
constexpr int kBusyAnimationMs = 3000;
constexpr int kSlowStepMs = 500;
constexpr int kSlowSteps = 6;
// Then the bar rests; the status line says what the screen waits for.
constexpr int kSlowStepsBeforeRest = 20;

QLabel* makeLabel(QWidget* parent, const QRect& frame, int pointSize) {
    auto* label = new QLabel(parent);
    label->setGeometry(frame);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    return label;
}

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

InitialVC::InitialVC(Storyboard* storyboard, QWidget* parent)
    : QWidget(parent), m_storyboard(storyboard) {
    viewDidLoad();
}

void InitialVC::viewDidLoad() {
    cookie_url = cookieDomainOf(appState().apiBaseURL);
    // On a regular start the session request and the version check are the chain's
    // first exchanges with the service: they go out now, one after the other as the chain
    // would send them, and their round trips overlap building the screens. When they are
    // back within a frame, this screen would be gone before it could be seen: the window
    // waits that frame for the login screen.
    ApiClient* api = services().api;
    if (api && packageReady() && networkReachable()) {
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
    setObjectName(QStringLiteral("InitialVC"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("#InitialVC { background: white; }"));

    companyName = makeLabel(this, QRect(0, 90, kWidth, 80), 22);
    companyName->setText(QStringLiteral("OrvelVPN\nMac version"));
    companyName->setStyleSheet(QStringLiteral("color: gray;"));
    setFixedSize(kWidth, kHeight);

    checkStatus = makeLabel(this, QRect(0, 240, kWidth, 30), 16);
    checkStatus->setStyleSheet(QStringLiteral("color: rgb(46, 28, 126);"));

    // A busy bar (range 0..0) is Qt's spinning indicator.
    progressbar = new QProgressBar(this);
    progressbar->setRange(0, 0);
    progressbar->setTextVisible(false);
    progressbar->setGeometry(100, 200, 150, 23);

    lbVersion = makeLabel(this, QRect(0, 440, kWidth, 24), 12);
    lbVersion->setStyleSheet(QStringLiteral("color: gray;"));

    connect(&m_barSteps, &QTimer::timeout, this, [this] {
        if (progressbar)
            progressbar->setValue((progressbar->value() + 1) % (kSlowSteps + 1));
        if (--m_barStepsLeft == 0)
            m_barSteps.stop();
    });
    QTimer::singleShot(kBusyAnimationMs, this, &InitialVC::slowProgressBar);
    if (ApiClient* api = services().api)
        connect(api, &ApiClient::requestFailed, this, &InitialVC::requestFailed);

    QTimer::singleShot(0, this, &InitialVC::runStartupChecks);
}

void InitialVC::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_appeared) {
        m_appeared = true;
        viewDidAppear();
    }
}

void InitialVC::viewDidAppear() {
    window()->setWindowTitle(localized(QStringLiteral("APPTITLE")) + appShortVersion());
    lbVersion->setText(QStringLiteral("ORVEL VPN v") + appShortVersion());
    if (auto* mainWindow = dynamic_cast<ContentWindow*>(window())) {
        mainWindow->setResizable(true);
        mainWindow->setContentSize(kWidth, kHeight);
        mainWindow->setResizable(false);
    }
}

void InitialVC::setStatusText(const QString& text) {
    if (checkStatus)
        checkStatus->setText(text);
}

// The package path may come back from a worker thread; the label is only touched on
// the main thread.
void InitialVC::queueStatusText(const QString& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { setStatusText(text); }, Qt::QueuedConnection);
}

void InitialVC::runStartupChecks() {
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

bool InitialVC::packageReady() const {
    StartupSteps* steps = services().startupSteps;
    const Preferences* preferences = services().preferences;
    return steps && steps->isOpenVPNInstalled() && preferences &&
           preferences->contains(QStringLiteral("set_vpn_conf"));
}

bool InitialVC::networkReachable() const {
    const Reachability* reachability = services().reachability;
    return !reachability || reachability->isReachable();
}

void InitialVC::downloadPackage() {
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
            self->m_retry.schedule([screen = self.data()] { screen->downloadPackage(); });
        });
}

void InitialVC::checkNetwork() {
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
    initSession();
}

void InitialVC::showWaiting(const char* key) {
    if (qstrcmp(m_waitingFor, key) != 0)
        qCInfo(lcStartup) << "waiting:" << key;
    m_waitingFor = key;
    queueStatusText(localized(QLatin1String(key)));
    slowProgressBar();
}

// The client resends by itself, pausing once a whole round of hosts has failed; from then
// on the line says why nothing seems to happen.
void InitialVC::requestFailed(const QString& path) {
    if (path != QLatin1String(ApiPath::initSession) && path != QLatin1String(ApiPath::osxVersion))
        return;
    if (services().api->currentBackoffMs() == 0)
        return;
    showWaiting(networkReachable() ? "STARTUP_WAIT_SERVICE" : "STARTUP_WAIT_NETWORK");
}

void InitialVC::slowProgressBar() {
    if (!progressbar || m_barStepsLeft >= 0)
        return;
    m_barStepsLeft = kSlowStepsBeforeRest;
    progressbar->setRange(0, kSlowSteps);
    progressbar->setValue(0);
    m_barSteps.start(kSlowStepMs);
}

void InitialVC::initSession() {
    queueStatusText(QStringLiteral("Session Checking..."));
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
                self->initSession();
        });
}

void InitialVC::checkVersion() {
    setStatusText(QStringLiteral("Check Version..."));
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
                self->checkVersion();
        });
}

void InitialVC::handleVersionReply(const QString& result, const QString& versionCode) {
    AppState& state = appState();
    if (result == QLatin1String("200")) {
        state.startupNoticeFlag = false;
        goToLogin(m_storyboard);
    } else if (result == QLatin1String("300")) {
        state.startupNoticeFlag = true;
        Preferences* preferences = services().preferences;
        const auto seen = preferences ? preferences->string(QStringLiteral("VERSION_CODE"))
                                      : std::optional<QString>();
        if (seen && *seen == versionCode) {
            goToLogin(services().storyboard);
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

void InitialVC::goToLogin(Storyboard* storyboard) {
    ContentWindow* window = services().mainWindow;
    if (!window)
        return;
    if (!storyboard) {
        logLine(QStringLiteral("return"));
        return;
    }
    QWidget* controller = storyboard->instantiateController(QStringLiteral("LoginController"));
    auto* login = qobject_cast<ViewController*>(controller);
    if (!login) {
        delete controller;
        return;
    }
    m_barSteps.stop();
    window->setContentViewController(login);
    if (progressbar)
        progressbar->deleteLater();
}
