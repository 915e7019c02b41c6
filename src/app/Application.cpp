#include "app/Application.h"

#include "api/ApiClient.h"
#include "api/ApiHosts.h"
#include "app/AppDelegate.h"
#include "app/DesktopController.h"
#include "app/MainWindow.h"
#include "app/QuitSignals.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSession.h"
#include "connection/Reconnector.h"
#include "connection/SystemTunnelControl.h"
#include "core/AppInfo.h"
#include "core/AppState.h"
#include "core/ConnectionObserverList.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "core/Storyboard.h"
#include "desktop/Desktop.h"
#include "keyring/LegacySecrets.h"
#include "killswitch/KillSwitch.h"
#include "platform/DeferredItemStore.h"
#include "platform/DesktopBrowser.h"
#include "platform/FileItemStore.h"
#include "platform/LogindSleepMonitor.h"
#include "platform/MessageBoxAlerts.h"
#include "platform/NetlinkLinkMonitor.h"
#include "platform/NftablesFirewall.h"
#include "platform/NotificationCenter.h"
#include "platform/PrivateRuntimeFolder.h"
#include "platform/ProcessSwanctlRunner.h"
#include "platform/RouteReachability.h"
#include "platform/SecretServiceItemStore.h"
#include "platform/SettingsPreferences.h"
#include "platform/SimulatedVpnService.h"
#include "platform/SingleInstance.h"
#include "platform/StrongSwanVpnService.h"
#include "platform/SudoScriptRunner.h"
#include "platform/SystemHostResolver.h"
#include "platform/SystemInterfaceList.h"
#include "startup/SystemStartupSteps.h"
#include "tunnel/KeychainItems.h"
#include "tunnel/KeychainWrapper.h"
#include "tunnel/Leftovers.h"
#include "tunnel/OpenVPNSession.h"
#include "tunnel/PackagePin.h"
#include "tunnel/PrivilegedScript.h"
#include "tunnel/SharedTunnelTeardown.h"
#include "ui/DialogController.h"
#include "ui/ImageNamed.h"
#include "ui/InitialVC.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/PasswordChangeVC.h"
#include "ui/UserVC.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

Q_LOGGING_CATEGORY(lcApp, "orvel.app")

namespace {

// charon behind IKEv2; the simulated service only when asked for (the demo's choice).
// Without a charon answering, a connect is refused like any refused start, so the
// screen never says "Connected" without a tunnel.
std::unique_ptr<SystemVpnService> makeVpnService(const QString& choice, ItemStore& items,
                                                 ProcessSwanctlRunner& swanctl) {
    if (choice == QLatin1String("simulated")) {
        qCInfo(lcApp) << "IKEv2 runs on the simulated VPN service, as asked";
        return std::make_unique<SimulatedVpnService>();
    }
    StrongSwanVpnService::Settings settings = StrongSwanVpnService::Settings::fromEnvironment();
    if (!StrongSwanVpnService::viciReachable(settings.viciSocket))
        qCInfo(lcApp) << "no charon answers on" << settings.viciSocket
                      << "- IKEv2 connects will fail until strongSwan runs";
    return std::make_unique<StrongSwanVpnService>(items, swanctl, std::move(settings));
}

// The keyring when a Secret Service answers on the session bus, taking over what the
// file store held; the private files otherwise. orvel-osascript chooses the same way, so
// it reads the items the client wrote. The choice is made beside the first window; like
// the runner, the store is never released.
ItemStore& processItemStore() {
    static auto* store = new DeferredItemStore([]() -> std::unique_ptr<ItemStore> {
        if (!SecretServiceItemStore::answers()) {
            qCInfo(lcApp) << "no Secret Service answers: secrets are kept in private files";
            return std::make_unique<FileItemStore>();
        }
        auto keyring = std::make_unique<SecretServiceItemStore>();
        FileItemStore files;
        LegacySecrets::moveItems(files, *keyring);
        return keyring;
    });
    return *store;
}

// Jobs on detached threads (the DNS reset, the OpenVPN launch) hold the runner and may
// still be inside it when the window and the parts are gone at quit: it is never released.
SudoScriptRunner& processScriptRunner() {
    static auto* runner = new SudoScriptRunner(PasswordItems(
        processItemStore(), QString::fromLatin1(KeychainWrapper::kDefaultServiceName)));
    return *runner;
}

// Secrets older versions kept in preferences and files move to the item store.
void moveLegacySecrets(Preferences& preferences) {
    LegacySecrets::movePreferences(preferences, KeychainWrapper::shared());
    LegacySecrets::clearWorkingFolder(workingFolder());
    LegacySecrets::removeSwanctlFolder(
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

// The administrator of this run once known, otherwise the stored one: a table a crashed
// run left is cleared before the start-up has checked the stored administrator.
NftablesFirewall makeFirewall(const Preferences& preferences) {
    return NftablesFirewall(
        [&preferences](const QString& command) -> std::optional<QString> {
            const QString known = appState().adminUserName;
            const QString user =
                known.isEmpty() ? preferences.string(QStringLiteral("username")).value_or(QString())
                                : known;
            if (user.isEmpty())
                return std::nullopt;
            return makeItemPrivilegedScript(command, user, kAdminPasswordItem);
        },
        [](const QString& statement) { return processScriptRunner().run(statement); },
        privateRuntimeFolder());
}

// The package address and its checksum come from the launch options when given.
SettingsPackageInstaller::Options packageOptions(const LaunchOptions& launch) {
    SettingsPackageInstaller::Options options;
    if (!launch.packageUrl.isEmpty())
        options.packageUrl = launch.packageUrl;
    PackagePin::setLaunchOption(launch.packageSha256);
    options.packageSha256 = PackagePin::pinnedSha256();
    return options;
}

} // namespace

struct Application::Parts {
    explicit Parts(const LaunchOptions& options)
        : preferences(options.preferencesFile.isEmpty() ? SettingsPreferences::defaultFilePath()
                                                        : options.preferencesFile),
          startupSteps(packageOptions(options)) {}

    SettingsPreferences preferences;
    NotificationCenter notifications;
    RouteReachability reachability;
    MessageBoxAlerts alerts;
    DesktopBrowser browser;
    ApiClient api;
    SystemInterfaceList interfaces;
    NetlinkLinkMonitor linkMonitor;
    LogindSleepMonitor sleepMonitor;
    SystemStartupSteps startupSteps;
    ProcessSwanctlRunner swanctl{
        QProcess::splitCommand(qEnvironmentVariable("ORVEL_SWANCTL_WRAPPER"))};
    std::unique_ptr<SystemVpnService> vpnService;
    // Quit and sign-out write the stop statement first: a tunnel that was never stopped
    // before has no disconnect.scpt, and OpenVPN would outlive the client.
    SharedTunnelTeardown teardown{&stopOpenVPN};
    Storyboard storyboard;
    MainWindow window;
    AppDelegate delegate{teardown};
    SingleInstance instance{SingleInstance::defaultSocketPath()};
    QuitSignals quitSignals;
    SystemHostResolver hostResolver;
    NftablesFirewall firewall{makeFirewall(preferences)};
    KillSwitch killSwitch{{firewall, hostResolver, preferences}, workingFolder()};
    ConnectionSession connection{SystemTunnelControl::shared(), &linkMonitor, &sleepMonitor};
    ConnectionObserverList connectionObservers{{&killSwitch, &connection.reconnector()}};
    DesktopController control{window, delegate, connection};
};

namespace {
// The demo may press connect once by itself, over OpenVPN when ORVEL_DEMO_PROTOCOL says
// so; the product never does. The press is logged for the connect benchmark.
void pressConnectOnceForDemo(NetworkVC* screen) {
    static bool pressed = false;
    if (pressed || qEnvironmentVariable("ORVEL_DEMO_AUTOCONNECT") != QLatin1String("1"))
        return;
    pressed = true;
    QTimer::singleShot(1500, screen, [screen] {
        if (qEnvironmentVariable("ORVEL_DEMO_PROTOCOL") == QLatin1String("OPENVPN"))
            screen->ClickCheckBoxOpen();
        qCInfo(lcApp) << "demo: connect pressed";
        screen->ClickConnect();
    });
}

void registerMainScreens(Storyboard& storyboard, ConnectionSession& connection) {
    storyboard.registerController(QStringLiteral("OrvelController"),
                                  [] { return new OrvelController; });
    storyboard.registerController(QStringLiteral("NetworkVC"), [&connection] {
        auto* screen = new NetworkVC(connection);
        pressConnectOnceForDemo(screen);
        return screen;
    });
    storyboard.registerController(QStringLiteral("UserVC"), [] { return new UserVC; });
    storyboard.registerController(QStringLiteral("PasswordChangeVC"),
                                  [] { return new PasswordChangeVC; });
}
} // namespace

Application::Application(QApplication& app, LaunchOptions options)
    : m_parts(std::make_unique<Parts>(options)) {
    app.setQuitOnLastWindowClosed(false);
    app.setApplicationName(QStringLiteral("OrvelVPN"));
    // The desktop finds the entry (and with it the name and icon) by this; the window's
    // icon comes from the theme, and from the client itself where the theme has none.
    app.setDesktopFileName(QStringLiteral("orvelvpn"));
    app.setWindowIcon(QIcon::fromTheme(QStringLiteral("orvelvpn"),
                                       QIcon(imageNamed(QStringLiteral("app_icon")))));
    if (!options.language.isEmpty())
        LocalizeStrings::shared().setLanguage(options.language);
    m_options = std::move(options);
}

Application::~Application() = default;

bool Application::configure(QString* error) {
    if (!m_options.apiHosts.isEmpty() && !overrideApiHostTable(m_options.apiHosts)) {
        *error = QStringLiteral("--api-hosts needs exactly five https addresses");
        return false;
    }
    if (!m_options.caFile.isEmpty() && !m_parts->api.addTrustedCaFile(m_options.caFile)) {
        *error = QStringLiteral("no certificate could be read from ") + m_options.caFile;
        return false;
    }
    Services& wired = services();
    wired.preferences = &m_parts->preferences;
    wired.notifications = &m_parts->notifications;
    wired.reachability = &m_parts->reachability;
    wired.alerts = &m_parts->alerts;
    wired.browser = &m_parts->browser;
    wired.api = &m_parts->api;
    wired.itemStore = &processItemStore();
    moveLegacySecrets(m_parts->preferences);
    m_parts->vpnService =
        makeVpnService(m_options.vpnService, processItemStore(), m_parts->swanctl);
    wired.vpnService = m_parts->vpnService.get();
    wired.teardown = &m_parts->teardown;
    wired.scriptRunner = &processScriptRunner();
    wired.interfaces = &m_parts->interfaces;
    wired.startupSteps = &m_parts->startupSteps;
    wired.connectionObserver = &m_parts->connectionObservers;
    wired.storyboard = &m_parts->storyboard;
    Storyboard* storyboard = &m_parts->storyboard;
    DesktopController* control = &m_parts->control;
    storyboard->registerController(QStringLiteral("LoginController"), [storyboard, control] {
        auto* login = new ViewController(storyboard);
        QObject::connect(login, &ViewController::signedInAutomatically, control,
                         &DesktopController::connectAtStart);
        return login;
    });
    storyboard->registerController(QStringLiteral("DialogController"),
                                   [] { return new DialogController; });
    registerMainScreens(*storyboard, m_parts->connection);
    wired.mainWindow = &m_parts->window;
    m_parts->alerts.setWindow(&m_parts->window, QStringLiteral("OrvelVPN"));
    qCInfo(lcApp) << "API hosts" << apiHostTable();
    return true;
}

bool Application::claimInstance() {
    return m_parts->instance.claim();
}

void Application::wireQuitAndReopen(QApplication& app) {
    AppDelegate& delegate = m_parts->delegate;
    MainWindow& window = m_parts->window;
    window.setDelegate(&delegate);
    // exit(), not quit(): Qt's quit closes the windows first, and the window only hides.
    QObject::connect(&delegate, &AppDelegate::terminateApproved, &app,
                     [] { QCoreApplication::exit(0); });
    m_parts->quitSignals.watchApplication(&app);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    // A quit takes the tunnel down on purpose: no drop to announce, and an attempt underway
    // goes no further while the teardown runs (no next stage, no late answer acted on, no
    // dialog left open).
    QObject::connect(&delegate, &AppDelegate::quitRequested, &delegate, [] {
        ConnectionEvents& events = ConnectionEvents::shared();
        events.expectDisconnect();
        events.cancelAttempt();
        appState().stopFailoverTimer();
    });
    QObject::connect(&m_parts->quitSignals, &QuitSignals::quitRequested, &delegate,
                     &AppDelegate::requestQuit);
    QObject::connect(&m_parts->instance, &SingleInstance::reopenRequested, &delegate,
                     [&delegate, &window] {
                         delegate.applicationShouldHandleReopen({&window}, window.isVisible());
                     });
}

void Application::start() {
    // Before anything else, the tunnel count of the start-up included: what a run that
    // crashed left behind (its OpenVPN, its DNS override) is cleared.
    Leftovers::clearAfterCrash(workingFolder(), processScriptRunner(), m_parts->preferences);
    m_parts->killSwitch.offerLeftTable();
    m_parts->window.setWindowTitle(localized(QStringLiteral("APPTITLE")));
    m_parts->window.setContentViewController(new InitialVC(&m_parts->storyboard));
}

void Application::show(bool hidden) {
    if (!hidden)
        m_parts->window.present();
}

DesktopHost Application::desktopHost() {
    Parts& parts = *m_parts;
    return {parts.control,    parts.window, parts.instance,  parts.preferences,
            parts.storyboard, parts.alerts, parts.killSwitch};
}

MainWindow& Application::window() {
    return m_parts->window;
}
