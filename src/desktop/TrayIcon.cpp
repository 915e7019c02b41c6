#include "desktop/TrayIcon.h"

#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "core/Services.h"
#include "desktop/ClientControl.h"
#include "desktop/ServerShortcuts.h"
#include "platform/NotificationCenter.h"
#include "ui/ImageNamed.h"

namespace {
constexpr int kClockMs = 30000;

template <typename Handler>
QAction* addEntry(QMenu& menu, const QString& text, const char* name, QObject* context,
                  Handler handler) {
    auto* action = new QAction(text, &menu);
    action->setObjectName(QLatin1String(name));
    QObject::connect(action, &QAction::triggered, context, handler);
    menu.addAction(action);
    return action;
}

// A line that only tells: hosts over D-Bus drop the title of a Qt section, not a disabled entry.
QAction* addHeading(QMenu& menu, const QString& text, const char* name) {
    auto* heading = new QAction(text, &menu);
    heading->setObjectName(QLatin1String(name));
    heading->setEnabled(false);
    menu.addAction(heading);
    return heading;
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

QString durationText(qint64 seconds) {
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return localized(QStringLiteral("TRAY_DURATION_MINUTES")).arg(minutes);
    return localized(QStringLiteral("TRAY_DURATION_HOURS"))
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

TrayIcon::TrayIcon(ClientControl& controller, ServerShortcuts& shortcuts, QObject* parent)
    : QObject(parent), m_controller(controller), m_shortcuts(shortcuts) {
    m_statusLine = addHeading(m_menu, QString(), "status");
    m_blockedLine = addHeading(m_menu, localized(QStringLiteral("KILLSWITCH_BLOCKING")), "blocked");
    m_menu.addSeparator();
    m_connectAction =
        addEntry(m_menu, QString(), "connect", this, [this] { pressConnectAction(); });
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
    connect(&m_controller, &ClientControl::statusChanged, this, &TrayIcon::refresh);
    connect(&m_shortcuts, &ServerShortcuts::favouritesChanged, this, &TrayIcon::rebuildServers);
    connect(&m_shortcuts, &ServerShortcuts::recentChanged, this, &TrayIcon::rebuildServers);
    if (NotificationCenter* notifications = services().notifications)
        notifications->observe(QStringLiteral("trafficBlockedChanged"), this,
                               [this] { refresh(); });
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger)
                    m_controller.toggleWindow();
            });
    m_clock.setInterval(kClockMs);
    connect(&m_clock, &QTimer::timeout, this, [this] { m_icon.setToolTip(tooltip()); });
    refresh();
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
    if (status.signedIn && !status.server.isEmpty() &&
        status.state != QLatin1String("disconnected"))
        statusLine += QStringLiteral(" — ") + status.server;
    m_blockedLine->setVisible(appState().trafficBlocked);
    m_statusLine->setText(statusLine);
    m_icon.setToolTip(tooltip());

    const bool connected = status.state == QLatin1String("connected");
    const bool connecting = status.state == QLatin1String("connecting");
    m_connectAction->setText(localized(connected    ? QStringLiteral("TRAY_DISCONNECT")
                                       : connecting ? QStringLiteral("TRAY_CANCEL")
                                                    : QStringLiteral("TRAY_CONNECT")));
    m_connectAction->setEnabled(status.signedIn);
    // A pick while connected switches; while a tunnel is being built, nothing else starts.
    m_servers.setEnabled(status.signedIn && !connecting);
    if (connected)
        m_clock.start();
    else
        m_clock.stop();
    rebuildServers();
}

QString TrayIcon::tooltip() const {
    const ClientControl::Status status = m_controller.status();
    QStringList lines{QStringLiteral("OrvelVPN — ") + stateText(status.state)};
    if (status.signedIn && !status.server.isEmpty())
        lines << localized(QStringLiteral("TRAY_SERVER")).arg(status.server);
    lines << localized(QStringLiteral("TRAY_PROTOCOL")).arg(protocolTitle(status.protocol));
    if (status.connectedSince.isValid())
        lines << localized(QStringLiteral("TRAY_CONNECTED_FOR"))
                     .arg(durationText(
                         status.connectedSince.secsTo(QDateTime::currentDateTimeUtc())));
    if (!status.address.isEmpty())
        lines << localized(QStringLiteral("TRAY_ADDRESS")).arg(status.address);
    if (appState().trafficBlocked)
        lines << m_blockedLine->text();
    return lines.join(QLatin1Char('\n'));
}

void TrayIcon::rebuildServers() {
    // Later, not at once: the entry that was just chosen may still be in its own signal.
    for (QAction* action : m_servers.actions()) {
        m_servers.removeAction(action);
        action->deleteLater();
    }
    const QString protocol = appState().selectedProtocol;
    addEntry(m_servers, localized(QStringLiteral("AUTO_MATCHING")), "automatic", this,
             [this, protocol] { connectTo(protocol, QString()); });
    addServerSection(localized(QStringLiteral("TRAY_RECENT")), m_shortcuts.recent());
    addServerSection(localized(QStringLiteral("TRAY_FAVOURITES")), m_shortcuts.favourites());
}

void TrayIcon::addServerSection(const QString& title, const QList<ServerShortcut>& servers) {
    if (servers.isEmpty())
        return;
    m_servers.addSeparator();
    addHeading(m_servers, title, "heading");
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
        emit this->refused(refused);
}

void TrayIcon::pressConnectAction() {
    const QString state = m_controller.status().state;
    const QString refused = state == QLatin1String("connected") ? m_controller.disconnect()
                            : state == QLatin1String("connecting")
                                ? m_controller.cancel()
                                : m_controller.connect(QString(), std::nullopt);
    if (!refused.isEmpty())
        emit this->refused(refused);
}
