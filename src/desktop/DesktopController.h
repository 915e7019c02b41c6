#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

class AppDelegate;
class MainWindow;
class NetworkVC;
class ServerShortcuts;

// What the tray and the command line do to the client: the operations of the window's
// own buttons (the connect button, the protocol boxes, the server pick, quit), reached
// while the window may be hidden. Answers are "" on success, else a one-line reason.
class DesktopController final : public QObject {
    Q_OBJECT
public:
    struct Status {
        QString state; // "disconnected", "connecting" or "connected"
        bool signedIn = false;
        QString server;
        QString protocol; // "ikev2" or "openvpn"
        QString interfaceName;
        QDateTime connectedSince; // invalid unless connected
    };

    DesktopController(MainWindow& window, AppDelegate& delegate, ServerShortcuts& shortcuts,
                      QObject* parent = nullptr);

    Status status() const;
    bool isSignedIn() const;
    void showWindow();
    void quit();
    // `protocol` "ikev2"/"openvpn" or "" for the ticked one; `server` a name or host of
    // that protocol's list, "" for automatic matching, nothing for the one shown.
    QString connect(const QString& protocol, const std::optional<QString>& server);
    QString disconnect();

signals:
    // State, server or protocol may have changed.
    void statusChanged();

private:
    NetworkVC* connectionScreen();
    QString chooseServer(NetworkVC& screen, const QString& protocol,
                         const std::optional<QString>& server);
    void onConnected();
    void endAttempt();

    MainWindow& m_window;
    AppDelegate& m_delegate;
    ServerShortcuts& m_shortcuts;
    QDateTime m_connectedSince;
    // From a connect press until the attempt connects or gives up: the service's answer
    // and a failover step between stages are not visible in the shared flags.
    bool m_attemptPending = false;
};
