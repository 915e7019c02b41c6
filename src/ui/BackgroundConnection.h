#pragma once

#include "connection/ConnectionView.h"
#include "platform/SystemVpnService.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class ConnectSequence;
class ConnectionStates;
class Failover;
class TunnelControl;

// The connection logic without a screen, for the tray and the command line while another
// screen fills the window (they never swap the user's screen): nothing is drawn, the
// administrator dialog opens over the window, and the server name the connect sequence
// reads is the one the connection screen would show.
class BackgroundConnection final : public QObject, public ConnectionView {
    Q_OBJECT
public:
    // `screenless` tells whether no connection screen is there to follow the IKEv2 status
    // events itself.
    BackgroundConnection(TunnelControl& tunnel, QWidget& window, std::function<bool()> screenless);
    ~BackgroundConnection() override;

    ConnectionStates& states() { return *m_states; }
    ConnectSequence& connectSequence() { return *m_connect; }
    // The server a press would ask for, as the screen would show it after a pick.
    void showCurrentServer();

    void renderDisconnected(bool showAutoMatching) override;
    void renderConnecting() override;
    void renderConnected() override;
    void showServer(const QString& name, const QString& country) override;
    void showFailoverMessage(const QString&) override {}
    void hideFailoverMessage() override {}
    void setProtocolBoxes(bool, bool) override {}
    void restartLoadingAnimation() override {}
    void presentAdminDialog() override;
    QString shownServerName() const override { return m_shownName; }

private:
    void applyVPNStatus(VpnStatus status);

    QWidget& m_window;
    std::function<bool()> m_screenless;
    QString m_shownName;
    std::shared_ptr<ConnectionStates> m_states;
    std::shared_ptr<Failover> m_failover;
    std::shared_ptr<ConnectSequence> m_connect;
};
