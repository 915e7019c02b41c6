#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

class ClientControl;
class ServerShortcuts;
struct ServerShortcut;

// The tray icon: its picture and tooltip show the tunnel's state, server and protocol;
// its menu connects and disconnects, picks a server (automatic, recent, favourites),
// brings the window back, exports diagnostics and quits.
class TrayIcon final : public QObject {
    Q_OBJECT
public:
    TrayIcon(ClientControl& controller, ServerShortcuts& shortcuts, QObject* parent = nullptr);

    void show();
    QSystemTrayIcon& icon() { return m_icon; }
    QMenu& menu() { return m_menu; }
    // The drawn icon of "disconnected", "connecting" or "connected".
    static QIcon iconForState(const QString& state);

signals:
    void exportDiagnosticsRequested();

private:
    void refresh();
    void rebuildServers();
    void addServerSection(const QString& title, const QList<ServerShortcut>& servers);
    void connectTo(const QString& protocol, const QString& server);
    void toggleConnection();

    ClientControl& m_controller;
    ServerShortcuts& m_shortcuts;
    QSystemTrayIcon m_icon;
    QMenu m_menu;
    QMenu m_servers;
    QAction* m_statusLine = nullptr;
    // Shown while the kill switch blocks traffic outside the VPN.
    QAction* m_blockedLine = nullptr;
    QAction* m_connectAction = nullptr;
};
