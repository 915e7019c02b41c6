#pragma once

#include "desktop/ClientControl.h"

#include <memory>

class AppDelegate;
class BackgroundConnection;
class ConnectSequence;
class ConnectionSession;
class ConnectionStates;
class MainWindow;
class NetworkVC;
class ServerData;

// What the tray and the command line do to the client: the connection screen's own
// operations when that screen is in the window, the same logic without a screen when
// another one is; never a change of the screen the user looks at.
class DesktopController final : public ClientControl {
    Q_OBJECT
public:
    // `session` is the run's connection logic, which every connection screen shows.
    DesktopController(MainWindow& window, AppDelegate& delegate, ConnectionSession& session,
                      QObject* parent = nullptr);
    ~DesktopController() override;

    Status status() const override;
    bool isSignedIn() const override;
    void showWindow() override;
    void toggleWindow() override;
    void quit() override;
    QString connect(const QString& protocol, const std::optional<QString>& server) override;
    QString disconnect() override;
    QString cancel() override;
    QString reconnect() override;
    bool isWindowInFront() const override;
    bool isDrivingAttempt() const override { return m_driving; }

    // "Connect when the client starts": after the automatic sign-in, to the server and
    // protocol used last (automatic matching when that server is gone from the list).
    void connectAtStart();

private:
    // What a connect asks for: a protocol and, when named, one server of its list.
    struct Target {
        QString protocol; // "IKEV2" or "OPENVPN"
        std::shared_ptr<ServerData> server;
    };
    struct Selection {
        QString protocol;
        std::shared_ptr<ServerData> server;
    };

    NetworkVC* shownConnectionScreen() const;
    ConnectionStates& states();
    ConnectSequence& connectSequence();
    std::optional<Target> resolve(const QString& protocol, const std::optional<QString>& server,
                                  QString* refused) const;
    void start(const Target& target, bool chosen);
    void choose(const Target& target);
    void pressConnect();
    void restoreSelection();
    void onConnected();
    void onDisconnected();
    void endAttempt(bool failed);

    MainWindow& m_window;
    AppDelegate& m_delegate;
    ConnectionSession& m_session;
    std::unique_ptr<BackgroundConnection> m_background;
    QDateTime m_connectedSince;
    // From a connect press until the attempt connects or gives up: the service's answer
    // and a failover step between stages are not visible in the shared flags.
    bool m_attemptPending = false;
    bool m_driving = false;
    // The choice before a connect to a named server or protocol; put back when the
    // attempt fails, so a script leaves no other selection behind.
    std::optional<Selection> m_before;
    // Where to go once the tunnel is down (switching servers, reconnecting).
    std::optional<Target> m_next;
};
