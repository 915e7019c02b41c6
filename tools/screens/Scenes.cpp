#include "Scenes.h"

#include "SceneWorld.h"
#include "StatusNotifierHost.h"
#include "app/AppDelegate.h"
#include "app/DesktopController.h"
#include "connection/AccountNotices.h"
#include "connection/ConnectionSettings.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/TunnelTeardown.h"
#include "desktop/Autostart.h"
#include "desktop/DesktopSettings.h"
#include "desktop/ServerShortcuts.h"
#include "desktop/SettingsCatalog.h"
#include "desktop/SettingsVC.h"
#include "desktop/TrayIcon.h"
#include "platform/FreedesktopNotifications.h"
#include "support/MemoryPreferences.h"
#include "ui/CustomAlertView.h"
#include "ui/InitialVC.h"
#include "ui/MenuVC.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"
#include "ui/TableViewController.h"
#include "ui/ViewController.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <map>

namespace {
const QString kNotReached = QStringLiteral("the screen did not come up");

QString startup(SceneWorld& world, const std::function<void()>& hold) {
    // The version answer is held back so the checks stay on screen.
    world.service().setFault(QStringLiteral("/v1/app_osx_version"),
                             Fault{Fault::Kind::Delay, 60000, {}, -1});
    world.showContent(new InitialVC(&world.storyboard()));
    if (!spinUntil([&] {
            return !world.service().requests(QStringLiteral("/v1/app_osx_version")).isEmpty();
        }))
        return kNotReached;
    hold();
    return {};
}

QString login(SceneWorld& world, const std::function<void()>& hold) {
    if (!world.openSession())
        return kNotReached;
    world.showContent(new ViewController(&world.storyboard()));
    hold();
    return {};
}

QString loginAlert(SceneWorld& world, const std::function<void()>& hold) {
    if (!world.openSession())
        return kNotReached;
    auto* screen = new ViewController(&world.storyboard());
    world.showContent(screen);
    screen->idField->setText(world.service().scenario().accounts.first().email);
    screen->pwField->setText(QStringLiteral("wrong-password"));
    screen->ClickLogin();
    if (!spinUntil([&] { return screen->findChild<CustomAlertView*>() != nullptr; }))
        return kNotReached;
    hold();
    return {};
}

// The signed-in shell scenes: `act` moves it to the state the scene shows.
Scene shellScene(std::function<bool(SceneWorld&, NetworkVC*)> act) {
    return [act = std::move(act)](SceneWorld& world, const std::function<void()>& hold) {
        if (!world.signIn())
            return world.error().isEmpty() ? kNotReached : world.error();
        NetworkVC* screen = world.showShell();
        if (!screen || !act(world, screen))
            return kNotReached;
        hold();
        return QString();
    };
}

bool stayDisconnected(SceneWorld&, NetworkVC*) {
    return true;
}

bool connecting(SceneWorld& world, NetworkVC* screen) {
    world.vpn().setConnectDelay(60000);
    screen->ClickConnect();
    return spinUntil([] { return appState().isConnecting; });
}

bool connected(SceneWorld&, NetworkVC* screen) {
    screen->ClickConnect();
    return spinUntil([] { return appState().isConnected; });
}

bool serverList(SceneWorld&, NetworkVC* screen) {
    screen->performServerSelection();
    auto* list = screen->findChild<TableViewController*>();
    if (!list || !spinUntil([list] { return list->myTableView->model()->rowCount() > 1; }))
        return false;
    list->myTableView->selectRow(2);
    return true;
}

bool userScreen(SceneWorld& world, NetworkVC*) {
    world.shell()->menu()->clickMenu(world.shell()->menu()->UserBtn);
    return true;
}

bool passwordScreen(SceneWorld& world, NetworkVC*) {
    world.shell()->menu()->clickMenu(world.shell()->menu()->ChangeBtn);
    return true;
}

bool adminDialog(SceneWorld&, NetworkVC* screen) {
    screen->presentAdminDialog();
    return true;
}

// The expiry alert is modal: the screenshot is taken from inside its own loop.
QString expiryAlert(SceneWorld& world, const std::function<void()>& hold) {
    if (!world.signIn())
        return world.error().isEmpty() ? kNotReached : world.error();
    world.showShell();
    world.useMessageBoxes();
    QTimer::singleShot(300, &world.window(), [hold] {
        hold();
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    auto notices = std::make_shared<AccountNotices>();
    notices->runExpiryCheck();
    return {};
}

// The desktop layer's pieces over the scene's client; they go with the window, before
// the application.
struct DesktopScene : QObject {
    class NoTeardown final : public TunnelTeardown {
    public:
        void disconnectIKEv2() override {}
        void disconnectIKEv2ForTermination(std::function<void(bool)> reply) override {
            reply(true);
        }
        void runOpenVPNStopScript() override {}
        void restoreDNS() override {}
        void forgetLeftovers() override {}
    };

    explicit DesktopScene(SceneWorld& world)
        : QObject(&world.window()),
          autostart(QDir::tempPath() + QStringLiteral("/orvel-screens-config"),
                    QStringLiteral("/usr/bin/orvelvpn")),
          controller(world.window(), delegate, world.connection()) {}

    MemoryPreferences preferences;
    NoTeardown teardown;
    AppDelegate delegate{teardown};
    ServerShortcuts shortcuts{preferences};
    DesktopSettings settings{preferences};
    ConnectionSettings connectionSettings{preferences};
    Autostart autostart;
    DesktopController controller;
    SettingsCatalog catalog;
};

bool settingsScreen(SceneWorld& world, NetworkVC*) {
    auto* desktop = new DesktopScene(world);
    desktop->settings.setStartHidden(true);
    addDesktopSettings(desktop->catalog, desktop->settings, desktop->autostart);
    addConnectionSettings(desktop->catalog, desktop->connectionSettings);
    world.storyboard().registerController(QStringLiteral("SettingsVC"),
                                          [desktop] { return new SettingsVC(desktop->catalog); });
    world.shell()->menu()->clickMenu(world.shell()->menu()->SettingsBtn);
    return true;
}

// The tray's menu as it opens from the icon, its servers submenu open with automatic
// matching, recent servers and a favourite.
bool trayMenu(SceneWorld& world, NetworkVC*) {
    auto* desktop = new DesktopScene(world);
    const auto& list = appState().ikev2ServerList;
    for (qsizetype i = 1; i < std::min<qsizetype>(list.size(), 4); ++i)
        desktop->shortcuts.recordUsed(
            {QStringLiteral("IKEV2"), list.at(i)->hostdomain, list.at(i)->name});
    if (list.size() > 2)
        desktop->shortcuts.toggleFavourite(
            {QStringLiteral("IKEV2"), list.at(2)->hostdomain, list.at(2)->name});
    auto* tray = new TrayIcon(desktop->controller, desktop->shortcuts, desktop);
    tray->menu().popup(world.window().geometry().topRight() + QPoint(20, 10));
    QTimer::singleShot(200, tray, [tray] {
        for (QAction* action : tray->menu().actions()) {
            if (action->objectName() == QLatin1String("servers"))
                tray->menu().setActiveAction(action);
        }
        QTest::keyClick(&tray->menu(), Qt::Key_Right);
    });
    return true;
}

// A notification from the client as the desktop's daemon shows it, with its actions
// (scripts/screenshots runs this scene with dunst on a private bus).
bool notification(SceneWorld& world, NetworkVC* screen) {
    if (!connected(world, screen))
        return false;
    auto* notifications = new FreedesktopNotifications(&world.window());
    notifications->notify({QStringLiteral("Subscription ends soon"),
                           QStringLiteral("Your subscription expires in 3 days. Renew now?"),
                           QString(),
                           DesktopNotification::Urgency::Normal,
                           QStringLiteral("account"),
                           {{QStringLiteral("renew"), QStringLiteral("Renew")},
                            {QStringLiteral("default"), QStringLiteral("Open")}}});
    return true;
}

// The tray's menu over StatusNotifierItem, drawn by a host from what dbusmenu sends it
// (scripts/screenshots runs this scene on a private bus): connected, with its headings.
bool trayMenuOverSni(SceneWorld& world, NetworkVC* screen) {
    auto* host = new StatusNotifierHost(&world.window());
    if (!host->listen() || !connected(world, screen))
        return false;
    auto* desktop = new DesktopScene(world);
    const auto& list = appState().ikev2ServerList;
    for (qsizetype i = 1; i < std::min<qsizetype>(list.size(), 4); ++i)
        desktop->shortcuts.recordUsed(
            {QStringLiteral("IKEV2"), list.at(i)->hostdomain, list.at(i)->name});
    auto* tray = new TrayIcon(desktop->controller, desktop->shortcuts, desktop);
    tray->show();
    if (!spinUntil([host] { return !host->items().isEmpty(); }))
        return false;
    QMenu* menu = host->readMenu();
    if (!menu)
        return false;
    menu->popup(world.window().geometry().topRight() + QPoint(20, 10));
    QTimer::singleShot(200, menu, [menu] {
        for (QAction* action : menu->actions()) {
            if (action->menu())
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Right);
    });
    return true;
}

const std::map<QString, Scene>& scenes() {
    static const std::map<QString, Scene> table{
        {QStringLiteral("startup"), startup},
        {QStringLiteral("login"), login},
        {QStringLiteral("login-alert"), loginAlert},
        {QStringLiteral("disconnected"), shellScene(stayDisconnected)},
        {QStringLiteral("connecting"), shellScene(connecting)},
        {QStringLiteral("connected"), shellScene(connected)},
        {QStringLiteral("server-list"), shellScene(serverList)},
        {QStringLiteral("user"), shellScene(userScreen)},
        {QStringLiteral("password-change"), shellScene(passwordScreen)},
        {QStringLiteral("admin-dialog"), shellScene(adminDialog)},
        {QStringLiteral("expiry-alert"), expiryAlert},
        {QStringLiteral("settings"), shellScene(settingsScreen)},
        {QStringLiteral("tray-menu"), shellScene(trayMenu)},
        {QStringLiteral("notification"), shellScene(notification)},
        {QStringLiteral("tray-menu-sni"), shellScene(trayMenuOverSni)},
    };
    return table;
}
} // namespace

Scene sceneNamed(const QString& name) {
    const auto found = scenes().find(name);
    return found == scenes().end() ? Scene() : found->second;
}

QStringList sceneNames() {
    QStringList names;
    for (const auto& [name, scene] : scenes())
        names << name;
    return names;
}
