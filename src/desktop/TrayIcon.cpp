#include "desktop/TrayIcon.h"

#include "core/AppState.h"
#include "core/ConfirmAlert.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "desktop/ClientControl.h"
#include "desktop/ServerShortcuts.h"
#include "platform/NotificationCenter.h"
#include "ui/ImageNamed.h"

namespace {
template <typename Handler>
QAction* addEntry(QMenu& menu, const QString& text, const char* name, QObject* context,
                  Handler handler) {
    auto* action = new QAction(text, &menu);
    action->setObjectName(QLatin1String(name));
    QObject::connect(action, &QAction::triggered, context, handler);
    menu.addAction(action);
    return action;
}

QString protocolTitle(const QString& protocol) {
    return protocol == QLatin1String("ikev2") ? QStringLiteral("IKEv2") : QStringLiteral("OpenVPN");
}

QString stateText(const QString& state) {
    if (state == QLatin1String("connected"))
        return localized(QStringLiteral("TRAY_CONNECTED"));
    if (state == QLatin1String("connecting"))
        return localized(QStringLiteral("TRAY_CONNECTING"));
    return localized(QStringLiteral("TRAY_DISCONNECTED"));
}
} // namespace

TrayIcon::TrayIcon(ClientControl& controller, ServerShortcuts& shortcuts, QObject* parent)
    : QObject(parent), m_controller(controller), m_shortcuts(shortcuts) {
    m_statusLine = addEntry(m_menu, QString(), "status", this, [] {});
    m_statusLine->setEnabled(false);
    m_blockedLine =
        addEntry(m_menu, localized(QStringLiteral("KILLSWITCH_BLOCKING")), "blocked", this, [] {});
    m_blockedLine->setEnabled(false);
    m_menu.addSeparator();
    m_connectAction = addEntry(m_menu, QString(), "connect", this, [this] { toggleConnection(); });
    m_servers.setTitle(localized(QStringLiteral("TRAY_SERVERS")));
    m_menu.addMenu(&m_servers)->setObjectName(QStringLiteral("servers"));
    m_menu.addSeparator();
    addEntry(m_menu, localized(QStringLiteral("TRAY_SHOW")), "show", this,
             [this] { m_controller.showWindow(); });
    addEntry(m_menu, localized(QStringLiteral("EXPORT_DIAGNOSTICS")), "export", this,
             [this] { emit exportDiagnosticsRequested(); });
    m_menu.addSeparator();
    addEntry(m_menu, localized(QStringLiteral("TRAY_QUIT")), "quit", this,
             [this] { m_controller.quit(); });
    m_icon.setContextMenu(&m_menu);

    // Signing in and out changes what the menu offers without a tunnel event.
    connect(&m_menu, &QMenu::aboutToShow, this, &TrayIcon::refresh);
    connect(&m_servers, &QMenu::aboutToShow, this, &TrayIcon::rebuildServers);
    // A tray host may keep the submenu as it was last sent: a star in the list is sent anew.
    connect(&m_shortcuts, &ServerShortcuts::favouritesChanged, this, &TrayIcon::rebuildServers);
    connect(&m_controller, &ClientControl::statusChanged, this, &TrayIcon::refresh);
    if (NotificationCenter* notifications = services().notifications)
        notifications->observe(QStringLiteral("trafficBlockedChanged"), this,
                               [this] { refresh(); });
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    m_controller.showWindow();
            });
    refresh();
    rebuildServers();
}

void TrayIcon::show() {
    m_icon.show();
}

QIcon TrayIcon::iconForState(const QString& state) {
    // One drawing per size: scaled pictures blur at the small tray sizes.
    // Loaded as PNGs: a file added by name makes Qt load every image plugin to probe it.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48})
        icon.addPixmap(imageNamed(QStringLiteral("tray_%1_%2").arg(state).arg(size)));
    return icon;
}

void TrayIcon::refresh() {
    const ClientControl::Status status = m_controller.status();
    m_icon.setIcon(iconForState(status.state));
    QString statusLine = stateText(status.state);
    QString tooltip = QStringLiteral("OrvelVPN — ") + statusLine;
    if (status.signedIn && !status.server.isEmpty()) {
        if (status.state != QLatin1String("disconnected"))
            statusLine += QStringLiteral(" — ") + status.server;
        tooltip += QLatin1Char('\n') + localized(QStringLiteral("TRAY_SERVER")).arg(status.server);
    }
    tooltip += QLatin1Char('\n') +
               localized(QStringLiteral("TRAY_PROTOCOL")).arg(protocolTitle(status.protocol));
    const bool blocked = appState().trafficBlocked;
    if (blocked)
        tooltip += QLatin1Char('\n') + m_blockedLine->text();
    m_blockedLine->setVisible(blocked);
    m_statusLine->setText(statusLine);
    m_icon.setToolTip(tooltip);

    const bool connected = status.state == QLatin1String("connected");
    const bool idle = status.state == QLatin1String("disconnected");
    m_connectAction->setText(
        localized(connected ? QStringLiteral("TRAY_DISCONNECT") : QStringLiteral("TRAY_CONNECT")));
    m_connectAction->setEnabled(status.signedIn && (connected || idle));
    // Like the protocol boxes: no other server while a tunnel is being built or is up.
    m_servers.setEnabled(status.signedIn && idle);
}

void TrayIcon::rebuildServers() {
    m_servers.clear();
    const QString protocol = appState().selectedProtocol;
    addEntry(m_servers, localized(QStringLiteral("AUTO_MATCHING")), "automatic", this,
             [this, protocol] { connectTo(protocol, QString()); });
    addServerSection(localized(QStringLiteral("TRAY_RECENT")), m_shortcuts.recent());
    addServerSection(localized(QStringLiteral("TRAY_FAVOURITES")), m_shortcuts.favourites());
}

void TrayIcon::addServerSection(const QString& title, const QList<ServerShortcut>& servers) {
    if (servers.isEmpty())
        return;
    m_servers.addSection(title);
    for (const ServerShortcut& server : servers) {
        const QString protocol = server.protocol.toLower();
        addEntry(m_servers,
                 server.name + QStringLiteral(" (") + protocolTitle(protocol) + QLatin1Char(')'),
                 "server", this, [this, server] { connectTo(server.protocol, server.hostdomain); });
    }
}

void TrayIcon::connectTo(const QString& protocol, const QString& server) {
    const QString refused = m_controller.connect(protocol.toLower(), server);
    if (!refused.isEmpty())
        showConfirmAlert(refused);
}

void TrayIcon::toggleConnection() {
    const bool connected = m_controller.status().state == QLatin1String("connected");
    const QString refused =
        connected ? m_controller.disconnect() : m_controller.connect(QString(), std::nullopt);
    if (!refused.isEmpty())
        showConfirmAlert(refused);
}
