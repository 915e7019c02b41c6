#pragma once

#include "desktop/ClientControl.h"

class AppDelegate;
class MainWindow;
class NetworkVC;

// What the tray and the command line do to the client: the window's own buttons (the
// connect button, the protocol boxes, the server pick, quit) pressed on its screens.
class DesktopController final : public ClientControl {
    Q_OBJECT
public:
    DesktopController(MainWindow& window, AppDelegate& delegate, QObject* parent = nullptr);

    Status status() const override;
    bool isSignedIn() const override;
    void showWindow() override;
    void quit() override;
    QString connect(const QString& protocol, const std::optional<QString>& server) override;
    QString disconnect() override;
    bool isWindowInFront() const override;

    // "Connect when the client starts": after the automatic sign-in, to the server and
    // protocol used last (automatic matching when that server is gone from the list).
    void connectAtStart();

private:
    NetworkVC* connectionScreen();
    QString chooseServer(NetworkVC& screen, const QString& protocol,
                         const std::optional<QString>& server);
    void onConnected();
    void endAttempt();

    MainWindow& m_window;
    AppDelegate& m_delegate;
    QDateTime m_connectedSince;
    // From a connect press until the attempt connects or gives up: the service's answer
    // and a failover step between stages are not visible in the shared flags.
    bool m_attemptPending = false;
};
