#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class ServerData;

// Whether an attempt may start: `proceed` once what must come first is in place, or
// `refuse` with the text the user is shown. At most one of them is called, at once or
// later on the main thread; neither when a newer attempt or the user's leaving took the
// attempt's place.
struct AttemptGate {
    std::function<void()> proceed;
    std::function<void(const QString& reason)> refuse;
};

// What the connection code tells the features built on it (the kill switch) about the
// user's tunnel, on the main thread.
class ConnectionObserver {
public:
    virtual ~ConnectionObserver() = default;

    // A tunnel is about to be brought up to one of `servers`: the server of the connect
    // sequence, or the stable servers the failover will try. Nothing of it may leave
    // before `gate` says so.
    virtual void attemptStarting(const QList<std::shared_ptr<ServerData>>& servers,
                                 AttemptGate gate) = 0;
    virtual void tunnelConnected() = 0;
    // The user ended the connection: a disconnect or a sign-out.
    virtual void userDisconnected() = 0;
    // The process ends: whatever must be undone is undone before this returns.
    virtual void quitting() = 0;
};
