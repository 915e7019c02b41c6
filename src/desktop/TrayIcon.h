#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

class ClientControl;
class ServerShortcuts;
struct ServerShortcut;

// The tray icon: its picture and tooltip show the tunnel's state, server, protocol, time
// connected and address; its menu connects, cancels an attempt and disconnects, picks a
// server (automatic, recent, favourites; a pick while connected switches), brings the
// window back, exports diagnostics and quits. Everything in the menu is a plain entry, so
// that hosts which draw it over D-Bus (StatusNotifierItem) show it alike, and it is made
// anew whenever what it shows changes, not only when a host asks for it.
class TrayIcon final : public QObject {
    Q_OBJECT
public:
    TrayIcon(ClientControl& controller, ServerShortcuts& shortcuts, QObject* parent = nullptr);

    void show();
    QSystemTrayIcon& icon() { return m_icon; }
    QMenu& menu() { return m_menu; }
    QMenu& serversMenu() { return m_servers; }
    // The drawn icon of "disconnected", "connecting" or "connected".
    static QIcon iconForState(const QString& state);

signals:
    void exportDiagnosticsRequested();
    // A menu action the client refused, with its reason.
    void refused(const QString& reason);

private:
    void refresh();
    QString tooltip() const;
    void rebuildServers();
    void addServerSection(const QString& title, const QList<ServerShortcut>& servers);
    void connectTo(const QString& protocol, const QString& server);
    void pressConnectAction();

    ClientControl& m_controller;
    ServerShortcuts& m_shortcuts;
    QSystemTrayIcon m_icon;
    QMenu m_menu;
    QMenu m_servers;
    QAction* m_statusLine = nullptr;
    // Shown while the kill switch blocks traffic outside the VPN.
    QAction* m_blockedLine = nullptr;
    // Connect, Cancel or Disconnect, by state.
    QAction* m_connectAction = nullptr;
    // Keeps the time connected in the tooltip current.
    QTimer m_clock;
};
