#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class ApiReply;
class ConnectionStates;
class ServerData;
class TunnelControl;

// Supervises every connection attempt with the one-second failoverTimer: detects the
// tunnel, and when a stage runs out moves to the stable servers and reports the ones
// that failed. The timer keeps this object alive, so an attempt goes on being watched
// after the screen that started it has been replaced.
class Failover final : public QObject, public std::enable_shared_from_this<Failover> {
    Q_OBJECT
public:
    enum class Stage { Main, EM1, EM2 };

    Failover(std::shared_ptr<ConnectionStates> states, TunnelControl& tunnel);

    // A new repeating one-second timer with the stage's handler becomes failoverTimer.
    void startStage(Stage stage);

    void checkConnectMainServer();
    void checkConnectEM1();
    void checkConnectEM2();

    // Writes the working files and launches, or asks for the administrator first.
    void startOpenVPN(const QString& config);
    // The supervision waits for the user: the countdown stands still while the dialog is
    // open and starts afresh when it is answered; a dialog closed without an answer ends
    // the attempt as the user's cancel.
    void askForAdministrator();

    // The attempt on `servers` starts once the watchers of the connection allow it (the
    // kill switch's rules are in place); a refusal ends it, with its reason shown.
    void startAttempt(const QList<std::shared_ptr<ServerData>>& servers,
                      std::function<void()> start);

    void requestStableServer();
    void reportFailedServer(const QString& name, const QString& address);

    // "macOS " and the operating system's own name and version.
    static QString deviceDescription();
    // More interfaces named utunN are up than before this run's first tunnel.
    static bool tunnelInterfaceAppeared();

private:
    void tick(Stage stage);
    void expireMainServer();
    void expireEM1();
    void expireEM2();
    void handleStableServers(const ApiReply& reply);
    void tryFirstStableServer(bool openvpnAttempt);
    void refuseAttempt(const QString& reason);
    void endStage();
    void disconnectAttempt();
    void onAdministratorAnswered(bool accepted);
    // The user is told of a failover that gave up, unless the client reconnects by itself.
    void alertUnlessReconnecting(const char* key);

    std::shared_ptr<ConnectionStates> m_states;
    TunnelControl& m_tunnel;
    bool m_waitingForAdministrator = false;
};
