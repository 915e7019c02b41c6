#include "app/DesktopController.h"

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSettings.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "desktop/ServerShortcuts.h"
#include "platform/Preferences.h"
#include "servers/SelectionStore.h"
#include "servers/ServerList.h"
#include "tunnel/TunnelInterfaces.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcClientControl, "orvel.app")

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");
const QString kOpenVPN = QStringLiteral("OPENVPN");

// The tunnel's interface: OpenVPN's utunN, charon's ipsec0; none for a simulated one.
QString tunnelInterface(const QString& protocol) {
    const InterfaceList* interfaces = services().interfaces;
    if (!interfaces)
        return {};
    const QStringList up = listUpIPv4Interfaces(*interfaces);
    for (auto name = up.rbegin(); name != up.rend(); ++name) {
        const bool ours =
            protocol == kIKEv2 ? *name == QLatin1String("ipsec0") : utunNames().contains(*name);
        if (ours)
            return *name;
    }
    return {};
}

std::shared_ptr<ServerData> findServer(const QString& protocol, const QString& wanted) {
    const ServerList& list = serverListForProtocol(protocol);
    if (wanted.isEmpty())
        return list.value(0);
    for (qsizetype i = 1; i < list.size(); ++i) {
        const auto& server = list.at(i);
        if (server->hostdomain.compare(wanted, Qt::CaseInsensitive) == 0 ||
            server->name.compare(wanted, Qt::CaseInsensitive) == 0)
            return server;
    }
    return nullptr;
}
} // namespace

DesktopController::DesktopController(MainWindow& window, AppDelegate& delegate, QObject* parent)
    : ClientControl(parent), m_window(window), m_delegate(delegate) {
    ConnectionEvents& events = ConnectionEvents::shared();
    QObject::connect(&events, &ConnectionEvents::connected, this, &DesktopController::onConnected);
    QObject::connect(&events, &ConnectionEvents::connecting, this,
                     &DesktopController::statusChanged);
    QObject::connect(&events, &ConnectionEvents::restored, this, &DesktopController::statusChanged);
    QObject::connect(&events, &ConnectionEvents::disconnected, this, [this] {
        m_connectedSince = {};
        emit statusChanged();
    });
    QObject::connect(&events, &ConnectionEvents::connectRefused, this,
                     &DesktopController::endAttempt);
    QObject::connect(&events, &ConnectionEvents::allServersFailed, this,
                     &DesktopController::endAttempt);
}

DesktopController::Status DesktopController::status() const {
    const AppState& state = appState();
    Status status;
    status.signedIn = isSignedIn();
    const bool attemptRunning = state.failoverTimer && state.failoverTimer->isActive();
    status.state = state.isConnected ? QStringLiteral("connected")
                   : (state.isConnecting || attemptRunning || m_attemptPending)
                       ? QStringLiteral("connecting")
                       : QStringLiteral("disconnected");
    if (state.currentServer)
        status.server = state.currentServer->name;
    status.protocol =
        state.selectedProtocol == kIKEv2 ? QStringLiteral("ikev2") : QStringLiteral("openvpn");
    if (state.isConnected) {
        status.interfaceName = tunnelInterface(state.selectedProtocol);
        status.connectedSince = m_connectedSince;
    }
    return status;
}

bool DesktopController::isSignedIn() const {
    return qobject_cast<OrvelController*>(m_window.contentViewController()) != nullptr;
}

void DesktopController::showWindow() {
    m_delegate.applicationShouldHandleReopen({&m_window}, m_window.isVisible());
    m_window.raise();
    m_window.activateWindow();
}

bool DesktopController::isWindowInFront() const {
    return m_window.isVisible() && m_window.isActiveWindow() && !m_window.isMinimized();
}

void DesktopController::quit() {
    m_delegate.requestQuit();
}

QString DesktopController::connect(const QString& protocol, const std::optional<QString>& server) {
    NetworkVC* screen = connectionScreen();
    if (!screen)
        return QStringLiteral("not signed in");
    const Status now = status();
    if (now.state != QLatin1String("disconnected")) {
        if (protocol.isEmpty() && !server && now.state == QLatin1String("connected"))
            return {};
        return now.state == QLatin1String("connected")
                   ? QStringLiteral("already connected; disconnect first")
                   : QStringLiteral("a connection attempt is in progress");
    }
    if (QString refused = chooseServer(*screen, protocol, server); !refused.isEmpty())
        return refused;
    const AppState& state = appState();
    // The administrator dialog opens over the window: bring it forward for it.
    if (state.selectedProtocol != kIKEv2 && !state.isAdminAuthorized)
        showWindow();
    m_attemptPending = true;
    screen->ClickConnect();
    emit statusChanged();
    return {};
}

void DesktopController::connectAtStart() {
    Preferences* preferences = services().preferences;
    if (!preferences || !ConnectionSettings(*preferences).connectAtStart())
        return;
    const QList<ServerShortcut> recent = ServerShortcuts(*preferences).recent();
    const QString protocol = recent.isEmpty() ? QString() : recent.first().protocol.toLower();
    QString refused = connect(
        protocol, recent.isEmpty() ? std::nullopt : std::optional(recent.first().hostdomain));
    if (refused.startsWith(QLatin1String("unknown server")))
        refused = connect(protocol, QString());
    if (!refused.isEmpty())
        qCInfo(lcClientControl) << "no connect at start:" << refused;
}

QString DesktopController::chooseServer(NetworkVC& screen, const QString& protocol,
                                        const std::optional<QString>& server) {
    if (protocol == QLatin1String("ikev2"))
        screen.ClickCheckBoxIKEV();
    else if (protocol == QLatin1String("openvpn"))
        screen.ClickCheckBoxOpen();
    else if (!protocol.isEmpty())
        return QStringLiteral("unknown protocol ") + protocol;
    if (!server)
        return {};
    const std::shared_ptr<ServerData> record = findServer(appState().selectedProtocol, *server);
    if (!record)
        return QStringLiteral("unknown server ") + *server;
    saveSelection(record);
    return {};
}

QString DesktopController::disconnect() {
    NetworkVC* screen = connectionScreen();
    if (!screen)
        return QStringLiteral("not signed in");
    const Status now = status();
    if (now.state == QLatin1String("connecting"))
        return QStringLiteral("a connection attempt is in progress");
    if (now.state == QLatin1String("connected"))
        screen->ClickConnect();
    return {};
}

// The connection screen, brought into the content pane the way the menu's VPN button
// does when another screen is shown there.
NetworkVC* DesktopController::connectionScreen() {
    auto* shell = qobject_cast<OrvelController*>(m_window.contentViewController());
    if (!shell)
        return nullptr;
    auto* screen = qobject_cast<NetworkVC*>(shell->splitViewItems().value(1));
    if (!screen && shell->menu()) {
        shell->menu()->clickMenu(shell->menu()->NetworkBtn);
        screen = qobject_cast<NetworkVC*>(shell->splitViewItems().value(1));
    }
    if (screen)
        screen->loadViewIfNeeded();
    return screen;
}

void DesktopController::onConnected() {
    m_attemptPending = false;
    m_connectedSince = QDateTime::currentDateTime();
    emit statusChanged();
}

void DesktopController::endAttempt() {
    m_attemptPending = false;
    emit statusChanged();
}
