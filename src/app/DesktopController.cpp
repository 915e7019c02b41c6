#include "app/DesktopController.h"

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "connection/ConnectSequence.h"
#include "connection/ConnectionEvents.h"
#include "connection/ConnectionSession.h"
#include "connection/ConnectionSettings.h"
#include "connection/ConnectionStates.h"
#include "core/AppState.h"
#include "core/ServerData.h"
#include "core/Services.h"
#include "desktop/ServerShortcuts.h"
#include "platform/InterfaceList.h"
#include "platform/Preferences.h"
#include "servers/ServerList.h"
#include "tunnel/TunnelInterfaces.h"
#include "ui/BackgroundConnection.h"
#include "ui/NetworkVC.h"
#include "ui/OrvelController.h"

#include <QLoggingCategory>
#include <QTimer>
#include <sys/socket.h>

Q_LOGGING_CATEGORY(lcClientControl, "orvel.app")

namespace {
const QString kIKEv2 = QStringLiteral("IKEV2");
const QString kOpenVPN = QStringLiteral("OPENVPN");

struct TunnelLink {
    QString name;
    QString address;
    std::optional<quint64> bytesIn;
    std::optional<quint64> bytesOut;
};

// The tunnel's interface (OpenVPN's utunN, charon's ipsec0; none for a simulated one), its
// IPv4 address and the traffic it carried.
TunnelLink tunnelLink(const QString& protocol) {
    const InterfaceList* interfaces = services().interfaces;
    if (!interfaces)
        return {};
    TunnelLink link;
    const QStringList up = listUpIPv4Interfaces(*interfaces);
    for (auto name = up.rbegin(); name != up.rend() && link.name.isEmpty(); ++name) {
        if (protocol == kIKEv2 ? *name == QLatin1String("ipsec0") : utunNames().contains(*name))
            link.name = *name;
    }
    if (link.name.isEmpty())
        return link;
    for (const InterfaceAddress& entry : interfaces->addresses()) {
        if (entry.name != link.name)
            continue;
        if (entry.family == AF_INET && link.address.isEmpty())
            link.address = entry.numericHost;
        if (entry.bytesIn) {
            link.bytesIn = entry.bytesIn;
            link.bytesOut = entry.bytesOut;
        }
    }
    return link;
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

DesktopController::DesktopController(MainWindow& window, AppDelegate& delegate,
                                     ConnectionSession& session, QObject* parent)
    : ClientControl(parent), m_window(window), m_delegate(delegate), m_session(session) {
    ConnectionEvents& events = ConnectionEvents::shared();
    QObject::connect(&events, &ConnectionEvents::connected, this, &DesktopController::onConnected);
    QObject::connect(&events, &ConnectionEvents::connecting, this,
                     &DesktopController::statusChanged);
    QObject::connect(&events, &ConnectionEvents::restored, this, &DesktopController::statusChanged);
    QObject::connect(&events, &ConnectionEvents::disconnected, this,
                     &DesktopController::onDisconnected);
    QObject::connect(&events, &ConnectionEvents::connectRefused, this,
                     [this] { endAttempt(true); });
    QObject::connect(&events, &ConnectionEvents::allServersFailed, this,
                     [this] { endAttempt(true); });
    QObject::connect(&events, &ConnectionEvents::attemptCancelled, this,
                     [this] { endAttempt(true); });
    QObject::connect(&m_window, &MainWindow::contentChanged, this,
                     &DesktopController::statusChanged);
}

DesktopController::~DesktopController() = default;

ClientControl::Status DesktopController::status() const {
    const AppState& state = appState();
    Status status;
    status.signedIn = isSignedIn();
    const bool attemptRunning = state.failoverTimer && state.failoverTimer->isActive();
    status.state = state.isConnected ? QStringLiteral("connected")
                   : (state.isConnecting || attemptRunning || m_attemptPending)
                       ? QStringLiteral("connecting")
                       : QStringLiteral("disconnected");
    if (state.currentServer) {
        status.server = state.currentServer->name;
        status.host = state.currentServer->hostdomain;
    }
    status.protocol =
        state.selectedProtocol == kIKEv2 ? QStringLiteral("ikev2") : QStringLiteral("openvpn");
    if (state.isConnected) {
        const TunnelLink link = tunnelLink(state.selectedProtocol);
        status.interfaceName = link.name;
        status.address = link.address;
        status.bytesIn = link.bytesIn;
        status.bytesOut = link.bytesOut;
        status.connectedSince = m_connectedSince;
    }
    return status;
}

bool DesktopController::isSignedIn() const {
    return qobject_cast<OrvelController*>(m_window.contentViewController()) != nullptr;
}

void DesktopController::showWindow() {
    m_delegate.applicationShouldHandleReopen({&m_window}, m_window.isVisible());
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
}

void DesktopController::toggleWindow() {
    if (m_window.isVisible() && !m_window.isMinimized())
        m_window.hide();
    else
        showWindow();
}

bool DesktopController::isWindowInFront() const {
    return m_window.isVisible() && m_window.isActiveWindow() && !m_window.isMinimized();
}

void DesktopController::quit() {
    m_delegate.requestQuit();
}

QString DesktopController::connect(const QString& protocol, const std::optional<QString>& server) {
    if (!isSignedIn())
        return QStringLiteral("not signed in");
    QString refused;
    const std::optional<Target> target = resolve(protocol, server, &refused);
    if (!target)
        return refused;
    const Status now = status();
    if (now.state == QLatin1String("connecting"))
        return QStringLiteral("a connection attempt is in progress");
    if (now.state == QLatin1String("disconnected")) {
        start(*target, server.has_value() || !protocol.isEmpty());
        return {};
    }
    if (statusMatches(now, protocol, server))
        return {};
    // Another server or protocol while connected: down first, then up to the pick.
    m_next = target;
    m_attemptPending = true;
    m_driving = true;
    pressConnect();
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

std::optional<DesktopController::Target>
DesktopController::resolve(const QString& protocol, const std::optional<QString>& server,
                           QString* refused) const {
    const AppState& state = appState();
    Target target;
    if (protocol.isEmpty())
        target.protocol = state.selectedProtocol;
    else if (protocol == QLatin1String("ikev2"))
        target.protocol = kIKEv2;
    else if (protocol == QLatin1String("openvpn"))
        target.protocol = kOpenVPN;
    else {
        *refused = QStringLiteral("unknown protocol ") + protocol;
        return std::nullopt;
    }
    if (server)
        target.server = findServer(target.protocol, *server);
    else if (target.protocol != state.selectedProtocol)
        target.server = findServer(target.protocol, QString());
    if (!target.server && (server || target.protocol != state.selectedProtocol)) {
        *refused = QStringLiteral("unknown server ") + server.value_or(QString());
        return std::nullopt;
    }
    return target;
}

void DesktopController::start(const Target& target, bool chosen) {
    m_before.reset();
    if (chosen) {
        m_before = Selection{appState().selectedProtocol, appState().currentServer};
        choose(target);
    }
    m_attemptPending = true;
    m_driving = true;
    // The administrator dialog opens over the window: bring it forward for it.
    if (target.protocol != kIKEv2 && !appState().isAdminAuthorized)
        showWindow();
    pressConnect();
    emit statusChanged();
}

void DesktopController::choose(const Target& target) {
    AppState& state = appState();
    state.selectedProtocol = target.protocol;
    if (target.server)
        state.currentServer = target.server;
    if (NetworkVC* screen = shownConnectionScreen()) {
        screen->setProtocolBoxes(state.selectedProtocol == kIKEv2,
                                 state.selectedProtocol == kOpenVPN);
        screen->refreshServerDisplay();
    } else if (m_background) {
        m_background->showCurrentServer();
    }
}

void DesktopController::restoreSelection() {
    if (!m_before)
        return;
    const Selection before = *std::exchange(m_before, std::nullopt);
    choose({before.protocol, before.server});
    appState().currentServer = before.server;
}

void DesktopController::pressConnect() {
    connectSequence().ClickConnect();
}

QString DesktopController::disconnect() {
    if (!isSignedIn())
        return QStringLiteral("not signed in");
    const QString state = status().state;
    if (state == QLatin1String("connecting"))
        return cancel();
    m_next.reset();
    if (state == QLatin1String("connected"))
        pressConnect();
    return {};
}

QString DesktopController::cancel() {
    if (!isSignedIn())
        return QStringLiteral("not signed in");
    if (status().state != QLatin1String("connecting"))
        return QStringLiteral("no connection attempt to cancel");
    m_next.reset();
    states().cancelAttempt();
    return {};
}

QString DesktopController::reconnect() {
    if (!isSignedIn())
        return QStringLiteral("not signed in");
    const Status now = status();
    if (now.state == QLatin1String("connecting"))
        return QStringLiteral("a connection attempt is in progress");
    if (now.state == QLatin1String("disconnected"))
        return connect(QString(), std::nullopt);
    m_next = Target{appState().selectedProtocol, appState().currentServer};
    m_attemptPending = true;
    m_driving = true;
    pressConnect();
    emit statusChanged();
    return {};
}

// The connection screen only when it is the one in the window.
NetworkVC* DesktopController::shownConnectionScreen() const {
    auto* shell = qobject_cast<OrvelController*>(m_window.contentViewController());
    auto* screen = shell ? qobject_cast<NetworkVC*>(shell->splitViewItems().value(1)) : nullptr;
    if (screen)
        screen->loadViewIfNeeded();
    return screen;
}

// With no connection screen in the window, the attempt is shown on none: the background
// view takes its place until the menu brings a screen back.
ConnectionStates& DesktopController::states() {
    ConnectionStates& states = m_session.states();
    if (!shownConnectionScreen()) {
        if (!m_background)
            m_background = std::make_unique<BackgroundConnection>(m_window);
        m_background->showCurrentServer();
        states.attachView(m_background.get(), m_background.get());
        m_session.followSystemStatus();
    }
    return states;
}

ConnectSequence& DesktopController::connectSequence() {
    states();
    return m_session.connectSequence();
}

void DesktopController::onConnected() {
    m_connectedSince = QDateTime::currentDateTimeUtc();
    m_before.reset();
    endAttempt(false);
}

void DesktopController::onDisconnected() {
    m_connectedSince = {};
    if (m_next) {
        const Target next = *std::exchange(m_next, std::nullopt);
        // After the screens have taken the disconnected state in.
        QTimer::singleShot(0, this, [this, next] { start(next, true); });
    }
    emit statusChanged();
}

void DesktopController::endAttempt(bool failed) {
    m_attemptPending = false;
    if (failed)
        restoreSelection();
    // The alert that follows the event is still the caller's.
    QTimer::singleShot(0, this, [this] { m_driving = m_attemptPending; });
    emit statusChanged();
}
