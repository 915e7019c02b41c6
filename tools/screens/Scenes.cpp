#include "Scenes.h"

#include "SceneWorld.h"
#include "api/ViewController.h"
#include "app/AppState.h"
#include "app/InitialVC.h"
#include "connection/AccountNotices.h"
#include "connection/NetworkVC.h"
#include "servers/TableViewController.h"
#include "ui/CustomAlertView.h"
#include "ui/MenuVC.h"
#include "ui/OrvelController.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
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
    if (!list || !spinUntil([list] { return list->myTableView->rowCount() > 1; }))
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
