#pragma once

#include <QList>
#include <memory>

class ServerData;

// What the connection code tells the features built on it (the kill switch) about the
// user's tunnel, on the main thread.
class ConnectionObserver {
public:
    virtual ~ConnectionObserver() = default;

    // A tunnel is about to be brought up to one of `servers`: the server of the connect
    // sequence, or the stable servers the failover will try.
    virtual void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers) = 0;
    virtual void tunnelConnected() = 0;
    // The user ended the connection: a disconnect or a sign-out.
    virtual void userDisconnected() = 0;
    // The process ends: whatever must be undone is undone before this returns.
    virtual void quitting() = 0;
};
