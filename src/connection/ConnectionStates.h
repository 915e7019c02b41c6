#pragma once

#include "platform/SystemVpnService.h"

#include <QPointer>
#include <QString>
#include <memory>

class ConnectionView;
class TunnelControl;
class QObject;
class WorkItem;

// The three states of the connection screen on the shared values (flags, countdown,
// supervision timer, DNS), with the widget part handed to the screen while it exists.
class ConnectionStates {
public:
    ConnectionStates(TunnelControl& tunnel);

    // `viewObject` is the QObject behind `view`; when it goes away the view is dropped.
    void attachView(QObject* viewObject, ConnectionView* view);
    ConnectionView* view() const;

    void showDisconnected();
    void showConnecting();
    void showConnected();
    // The user ends the attempt before it connected (cancel, quit): torn down as a
    // disconnect would, announced as no drop, and the answers still on their way dropped.
    void cancelAttempt();
    // OpenVPN restarts inside its own process: the connecting look while the tunnel is
    // still ours, and the connected look back without announcing a new connection.
    void showReasserting();
    void showRestored();
    // Until the tunnel is back or gone; a sign-out meanwhile ends it too.
    bool isReasserting() const;
    // Statuses 1-3; the other values only touch widgets and stay with the screen.
    void applyStateForStatus(VpnStatus status);

    // Both network services back to their own DNS, on a background thread.
    void resetDNS();
    std::shared_ptr<WorkItem> workItem() const { return m_workItem; }

    bool isAutoServer = true;

private:
    void endAttempt();

    TunnelControl& m_tunnel;
    QPointer<QObject> m_viewObject;
    ConnectionView* m_view = nullptr;
    bool m_reasserting = false;
    // The last DNS reset job; a new one replaces it without cancelling it.
    std::shared_ptr<WorkItem> m_workItem;
};
